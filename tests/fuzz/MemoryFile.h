#pragma once

#include <QByteArray>
#include <QString>

#include <sys/mman.h>
#include <unistd.h>

// One fuzz input as a regular file that lives in memory, named by a path the
// program's readers open like any other file.
class MemoryFile
{
public:
    MemoryFile(const uint8_t* data, size_t size) : m_nFd(::memfd_create("fuzz-input", MFD_CLOEXEC))
    {
        for (size_t done = 0; m_nFd >= 0 && done < size;) {
            const ssize_t n = ::write(m_nFd, data + done, size - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
    }
    ~MemoryFile()
    {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool IsOpen() const { return m_nFd >= 0; }
    QString Path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_nFd); }

private:
    int m_nFd;
};
