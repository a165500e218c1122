#include "platform/CSignalCleanup.h"

#include <QtGlobal>

#include <atomic>
#include <csignal>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

// A slot is free, being filled, or live; the handler reads only live slots,
// so it never sees a half-written path.
enum : int
{
    kFree = 0,
    kBusy = 1,
    kLive = 2
};

std::atomic<int> s_aFileState[CSignalCleanup::kSlots];
char s_aFiles[CSignalCleanup::kSlots][CSignalCleanup::kMaxPathBytes];
std::atomic<int64_t> s_aProcesses[CSignalCleanup::kSlots];

#if defined(Q_OS_UNIX)
// Only async-signal-safe calls: unlink, kill, _exit.
extern "C" void OnEndSignal(int signal)
{
    for (int i = 0; i < CSignalCleanup::kSlots; ++i) {
        if (const int64_t pid = s_aProcesses[i].load(); pid > 0)
            ::kill(pid_t(pid), SIGTERM);
        if (s_aFileState[i].load() == kLive)
            ::unlink(s_aFiles[i]);
    }
    ::_exit(128 + signal);
}
#endif

} // namespace

void CSignalCleanup::Install()
{
#if defined(Q_OS_UNIX)
    struct sigaction action{};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

int CSignalCleanup::AddFile(const QByteArray& path)
{
    if (path.size() >= kMaxPathBytes)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!s_aFileState[i].compare_exchange_strong(expected, kBusy))
            continue;
        std::memcpy(s_aFiles[i], path.constData(), size_t(path.size()));
        s_aFiles[i][path.size()] = '\0';
        s_aFileState[i].store(kLive);
        return i;
    }
    return -1;
}

void CSignalCleanup::RemoveFile(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    s_aFileState[slot].store(kFree);
}

int CSignalCleanup::AddProcess(int64_t pid)
{
    if (pid <= 0)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int64_t expected = 0;
        if (s_aProcesses[i].compare_exchange_strong(expected, pid))
            return i;
    }
    return -1;
}

void CSignalCleanup::RemoveProcess(int slot)
{
    if (slot >= 0 && slot < kSlots)
        s_aProcesses[slot].store(0);
}
