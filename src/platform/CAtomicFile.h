#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file with new contents so that a failure never costs the old
// file. Begin picks a short temporary name in the final file's folder (so
// names of any allowed length work); the data is written there, by Write or
// by another program; Commit forces it to the disk, renames it over the final
// name and forces the folder to the disk, so the new name survives a power
// loss. Every step is checked; a failure before the rename removes the
// temporary file and leaves the old file as it was. Symbolic links stay
// links: the file at the end of the chain is replaced, with its permissions.
// Anything but a regular file or nothing under the name is refused.
// The temporary file is registered with CSignalCleanup while it exists and
// is reached through its open folder, so it is removed even when the folder
// is renamed meanwhile. On POSIX systems a live temporary is locked
// (flock), and the first Begin in a folder removes the temporaries of
// killed runs there: this class's names only, regular files of this user,
// unlocked and untouched for kStaleSeconds.
class CAtomicFile
{
public:
    // The checked steps, in order, for the fault seam.
    enum class EStep
    {
        Open,
        Write,
        Sync,
        Close,
        Rename,
        FolderSync
    };
    // For tests: called before each step; a non-zero result makes the step
    // fail with that error number. Null (the default) injects nothing.
    using FaultHook = int (*)(EStep step);
    static void SetFaultHook(FaultHook hook);

    CAtomicFile() = default;
    // An uncommitted replacement is abandoned.
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Starts replacing path; false with the reason when it cannot be.
    bool Begin(const QString& path);
    // Appends to the temporary file.
    bool Write(const QByteArray& data);
    // Makes the new contents the file's; false when any step fails. After a
    // failed folder sync the new contents are in place but may not survive a
    // power loss.
    bool Commit();
    // Removes the temporary file; the old file stays.
    void Abandon();

    // The temporary file, for a program that writes it itself.
    const QString& TemporaryPath() const { return m_strTemporary; }
    // Why the last call failed, in English, e.g. "No space left on device".
    const QString& ErrorString() const { return m_strError; }
    // The error number of the last failure; 0 when it was not the system's.
    int Errno() const { return m_nErrno; }

    // Begin, Write and Commit in one; on failure sets error to the reason.
    static bool Replace(const QString& path, const QByteArray& data, QString& error);

    // The system's text for an error number, in English whatever the locale.
    static QString ErrorText(int error);

    // Links followed in a chain before it counts as a loop.
    static constexpr int kMaxLinks = 40;
    // How long a temporary nobody holds must have stood before it counts as
    // left by a killed run.
    static constexpr int kStaleSeconds = 3600;

private:
    bool Fail(int error);
    bool Fail(int error, const QString& reason);
    // The hook's error for step, else 0.
    static int Injected(EStep step);

    QString m_strFinal;
    QString m_strTemporary;
    QByteArray m_aTemporaryName; // its name in the folder
    int m_nFolderFd = -1;        // the folder, open while the temporary exists
    QString m_strError;
    int m_nErrno = 0;
    int m_nFd = -1;
    int m_nCleanupSlot = -1;
    unsigned m_nOldMode = 0; // permissions of the file replaced
    bool m_bHadFile = false;
};
