#pragma once

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

#if defined(Q_OS_LINUX)
#include <sys/mount.h>
#endif

// A disk that fills up: a tmpfs of the given size mounted over a temporary
// folder for the test's lifetime. Mounting needs root; where it is refused
// IsMounted() is false and the test skips.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes)
    {
#if defined(Q_OS_LINUX)
        m_bMounted = m_dir.isValid()
                     && ::mount("tmpfs", Name().constData(), "tmpfs", 0, ("size=" + QByteArray::number(bytes)).constData())
                            == 0;
#else
        Q_UNUSED(bytes);
#endif
    }
    ~SmallDisk()
    {
#if defined(Q_OS_LINUX)
        if (m_bMounted)
            ::umount2(Name().constData(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool IsMounted() const { return m_bMounted; }
    QString Path() const { return m_dir.path(); }
    // Fills the disk with a file "filler" up to all but about spare bytes.
    bool LeaveFree(qint64 spare) const
    {
        QFile filler(m_dir.filePath("filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        return filler.resize(std::max<qint64>(0, filler.size() - spare));
    }

private:
    QByteArray Name() const { return QFile::encodeName(m_dir.path()); }

    QTemporaryDir m_dir;
    bool m_bMounted = false;
};
