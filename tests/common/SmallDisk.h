#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#if defined(Q_OS_LINUX)
#include <sys/mount.h>
#endif

// A folder on a file system of its own with room for a few bytes only, as a
// disk that fills up: a tmpfs mounted for the test's lifetime. Mounting needs
// root; IsMounted() is false where it is refused, and the test skips.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes)
    {
#if defined(Q_OS_LINUX)
        const QByteArray options = "size=" + QByteArray::number(bytes);
        m_bMounted = m_dir.isValid()
                     && ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData())
                            == 0;
#else
        Q_UNUSED(bytes);
#endif
    }
    ~SmallDisk()
    {
#if defined(Q_OS_LINUX)
        if (m_bMounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool IsMounted() const { return m_bMounted; }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }
    QStringList Entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    // Fills the disk up to all but about spare bytes.
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
    QTemporaryDir m_dir;
    bool m_bMounted = false;
};
