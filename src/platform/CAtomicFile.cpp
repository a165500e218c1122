#include "platform/CAtomicFile.h"

#include "platform/CSignalCleanup.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(Q_OS_WIN)
#include <algorithm>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

std::atomic<CAtomicFile::FaultHook> s_faultHook{nullptr};

// Temporary names: a dot, "qtmp" and eight hex digits, whatever the final name.
constexpr int kNameAttempts = 100;
constexpr char kTemporaryPrefix[] = ".qtmp";
constexpr int kTemporaryDigits = 8;

bool IsTemporaryName(const char* name)
{
    const size_t prefix = sizeof(kTemporaryPrefix) - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0 || std::strlen(name) != prefix + kTemporaryDigits)
        return false;
    for (const char* c = name + prefix; *c; ++c)
        if (!((*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'f')))
            return false;
    return true;
}

// What lies under a name; kError with errno set when that cannot be told.
enum class EKind
{
    kNone,
    kRegular,
    kFolder,
    kOther,
    kError
};

#if defined(Q_OS_WIN)
// Windows cannot rename a folder that holds an open file, so paths serve.
void CloseFolder(int) {}
int OpenNew(int, const QByteArray&, const QString& path)
{
    int fd = -1;
    const int error = _wsopen_s(&fd, reinterpret_cast<const wchar_t*>(path.utf16()),
                                _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                                _S_IREAD | _S_IWRITE);
    if (error != 0)
        errno = error;
    return error == 0 ? fd : -1;
}
long long WriteSome(int fd, const char* data, size_t size)
{
    return _write(fd, data, unsigned(std::min<size_t>(size, 1u << 30)));
}
int SyncFile(int fd)
{
    return _commit(fd);
}
int CloseFile(int fd)
{
    return _close(fd);
}
int SetMode(int, unsigned)
{
    return 0;
}
void RemoveTemporary(int, const QByteArray&, const QString& path)
{
    QFile::remove(path);
}
int RenameOver(int, const QByteArray&, const QString& from, const QString& to)
{
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(from.utf16()), reinterpret_cast<const wchar_t*>(to.utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = EACCES;
    return -1;
}
// MOVEFILE_WRITE_THROUGH already waits for the rename to reach the disk.
int SyncFolder(const QString&)
{
    return 0;
}
EKind KindOf(const QString& path, unsigned& mode)
{
    struct _stat64 st{};
    if (_wstat64(reinterpret_cast<const wchar_t*>(path.utf16()), &st) != 0)
        return errno == ENOENT ? EKind::kNone : EKind::kError;
    mode = unsigned(st.st_mode) & 0777;
    const unsigned type = unsigned(st.st_mode) & _S_IFMT;
    return type == _S_IFDIR ? EKind::kFolder : type == _S_IFREG ? EKind::kRegular : EKind::kOther;
}
#else
int OpenFolder(const QString& folder)
{
    return ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}
void CloseFolder(int fd)
{
    if (fd >= 0)
        ::close(fd);
}
// Removes the temporaries a killed run left in the folder, once per folder
// and process: names of this class only, regular files of this user that
// nobody holds locked and that were not touched for kStaleSeconds.
void SweepStale(int folderFd, const QString& path)
{
    struct stat folder{};
    if (::fstat(folderFd, &folder) != 0)
        return;
    {
        // By name and inode: a folder made anew under an old name, or a new
        // one on a reused inode, is another folder.
        static std::mutex s_mutex;
        static std::set<std::pair<QString, std::pair<dev_t, ino_t>>> s_swept;
        const std::lock_guard<std::mutex> lock(s_mutex);
        if (!s_swept.insert({path, {folder.st_dev, folder.st_ino}}).second)
            return;
    }
    const int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    const time_t now = ::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st{};
        // Looked at before it is opened: opening a device or pipe can have effects.
        if (!IsTemporaryName(entry->d_name) || ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || now - st.st_mtime < CAtomicFile::kStaleSeconds)
            continue;
        const int fd = ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held{};
        // A live writer holds its temporary locked; the lock dies with its process.
        if (::fstat(fd, &held) == 0 && held.st_ino == st.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(folderFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}
int OpenNew(int folderFd, const QByteArray& name, const QString&)
{
    const int fd = ::openat(folderFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // Marks the temporary as held for as long as this process has it open.
    if (fd >= 0)
        ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}
void RemoveTemporary(int folderFd, const QByteArray& name, const QString&)
{
    ::unlinkat(folderFd, name.constData(), 0);
}
long long WriteSome(int fd, const char* data, size_t size)
{
    return ::write(fd, data, size);
}
int SyncFile(int fd)
{
    return ::fsync(fd);
}
int CloseFile(int fd)
{
    return ::close(fd);
}
int SetMode(int fd, unsigned mode)
{
    return ::fchmod(fd, mode_t(mode));
}
int RenameOver(int folderFd, const QByteArray& name, const QString&, const QString& to)
{
    return ::renameat(folderFd, name.constData(), AT_FDCWD, QFile::encodeName(to).constData());
}
int SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}
EKind KindOf(const QString& path, unsigned& mode)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? EKind::kNone : EKind::kError;
    mode = unsigned(st.st_mode) & 07777;
    return S_ISDIR(st.st_mode) ? EKind::kFolder : S_ISREG(st.st_mode) ? EKind::kRegular : EKind::kOther;
}
#endif

} // namespace

void CAtomicFile::SetFaultHook(FaultHook hook)
{
    s_faultHook.store(hook);
}

int CAtomicFile::Injected(EStep step)
{
    const FaultHook hook = s_faultHook.load();
    return hook ? hook(step) : 0;
}

QString CAtomicFile::ErrorText(int error)
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char* text = strerrordesc_np(error))
        return QString::fromLatin1(text);
#endif
    return QString::fromLocal8Bit(std::strerror(error));
}

CAtomicFile::~CAtomicFile()
{
    Abandon();
}

bool CAtomicFile::Fail(int error)
{
    return Fail(error, ErrorText(error));
}

bool CAtomicFile::Fail(int error, const QString& reason)
{
    Abandon();
    m_nErrno = error;
    m_strError = reason;
    return false;
}

void CAtomicFile::Abandon()
{
    if (m_nFd >= 0)
        CloseFile(m_nFd);
    m_nFd = -1;
    if (!m_strTemporary.isEmpty())
        RemoveTemporary(m_nFolderFd, m_aTemporaryName, m_strTemporary);
    m_strTemporary.clear();
    m_aTemporaryName.clear();
    CloseFolder(m_nFolderFd);
    m_nFolderFd = -1;
    CSignalCleanup::RemoveFile(m_nCleanupSlot);
    m_nCleanupSlot = -1;
}

bool CAtomicFile::Begin(const QString& path)
{
    Abandon();
    m_strError.clear();
    m_nErrno = 0;
    if (path.isEmpty())
        return Fail(ENOENT, QStringLiteral("no file name"));
    // Follow the whole chain of links: the last one's target is replaced.
    m_strFinal = path;
    for (int hops = 0; QFileInfo(m_strFinal).isSymLink(); ++hops) {
        if (hops == kMaxLinks)
            return Fail(ELOOP);
        m_strFinal = QFileInfo(m_strFinal).symLinkTarget();
    }
    const QFileInfo info(m_strFinal);
    const QString folder = info.absolutePath();
    const EKind kind = KindOf(m_strFinal, m_nOldMode);
    if (kind == EKind::kError)
        return Fail(errno);
    if (kind == EKind::kFolder)
        return Fail(EISDIR, QStringLiteral("a folder has that name"));
    // A device, pipe or socket must never be swapped for a file.
    if (kind == EKind::kOther)
        return Fail(EINVAL, QStringLiteral("it is not a regular file (a device, pipe or socket has that name)"));
    if (!QFileInfo(folder).isDir())
        return Fail(ENOENT);
    m_bHadFile = kind == EKind::kRegular;

    if (const int error = Injected(EStep::Open))
        return Fail(error);
#if !defined(Q_OS_WIN)
    m_nFolderFd = OpenFolder(folder);
    if (m_nFolderFd < 0)
        return Fail(errno);
    SweepStale(m_nFolderFd, folder);
#endif
    for (int attempt = 0; attempt < kNameAttempts && m_nFd < 0; ++attempt) {
        const QString name = QStringLiteral("%1%2").arg(QLatin1String(kTemporaryPrefix)).arg(
            QRandomGenerator::global()->generate(), kTemporaryDigits, 16, QLatin1Char('0'));
        const QString path = folder + QLatin1Char('/') + name;
        m_nFd = OpenNew(m_nFolderFd, QFile::encodeName(name), path);
        if (m_nFd >= 0) {
            m_strTemporary = path;
            m_aTemporaryName = QFile::encodeName(name);
        } else if (errno != EEXIST) {
            return Fail(errno);
        }
    }
    if (m_nFd < 0)
        return Fail(EEXIST);
    m_nCleanupSlot = CSignalCleanup::AddFile(QFile::encodeName(m_strTemporary));
    return true;
}

bool CAtomicFile::Write(const QByteArray& data)
{
    if (m_nFd < 0)
        return Fail(EBADF, QStringLiteral("the file is not open"));
    if (const int error = Injected(EStep::Write))
        return Fail(error);
    const char* p = data.constData();
    size_t left = size_t(data.size());
    while (left > 0) {
        const long long n = WriteSome(m_nFd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : ENOSPC);
        p += n;
        left -= size_t(n);
    }
    return true;
}

bool CAtomicFile::Commit()
{
    if (m_nFd < 0)
        return Fail(EBADF, QStringLiteral("the file is not open"));
    // The replacement keeps the permissions of the file it replaces.
    if (m_bHadFile && SetMode(m_nFd, m_nOldMode) != 0)
        return Fail(errno);
    if (const int error = Injected(EStep::Sync))
        return Fail(error);
    if (SyncFile(m_nFd) != 0)
        return Fail(errno);
    const int fd = m_nFd;
    m_nFd = -1;
    if (const int error = Injected(EStep::Close)) {
        CloseFile(fd);
        return Fail(error);
    }
    if (CloseFile(fd) != 0)
        return Fail(errno);
    if (const int error = Injected(EStep::Rename))
        return Fail(error);
    if (RenameOver(m_nFolderFd, m_aTemporaryName, m_strTemporary, m_strFinal) != 0)
        return Fail(errno);
    m_strTemporary.clear();
    Abandon();
    // The rename lives in the folder: without this a power loss may undo it.
    const QString folder = QFileInfo(m_strFinal).absolutePath();
    if (const int error = Injected(EStep::FolderSync))
        return Fail(error);
    if (SyncFolder(folder) != 0)
        return Fail(errno);
    return true;
}

bool CAtomicFile::Replace(const QString& path, const QByteArray& data, QString& error)
{
    CAtomicFile file;
    if (file.Begin(path) && file.Write(data) && file.Commit())
        return true;
    error = file.ErrorString();
    return false;
}
