#pragma once

#include <QByteArray>

#include <cstdint>

// Leaves nothing behind when the process is told to end: once installed, a
// SIGINT, SIGTERM or SIGHUP removes the registered temporary files, ends the
// registered helper programs and exits with 128 + the signal's number.
// Registration is safe from any thread and costs nothing until a signal
// comes; without Install the registry is never read.
class CSignalCleanup
{
public:
    // Files and programs held at once; more are not cleaned up on a signal.
    static constexpr int kSlots = 256;
    // Longest path kept, in bytes.
    static constexpr int kMaxPathBytes = 4096;

    // Installs the handlers (where the system has these signals).
    static void Install();

    // Returns the file's slot, or -1 when none is free or the path is too long.
    static int AddFile(const QByteArray& path);
    static void RemoveFile(int slot);
    // Returns the program's slot, or -1 when none is free.
    static int AddProcess(int64_t pid);
    static void RemoveProcess(int slot);
};
