#include "DataTable.h"
#include "FailingStep.h"
#include "ImagePixels.h"
#include "platform/CAtomicFile.h"
#include "platform/CImage.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QDir>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <sys/sysmacros.h>
#endif

namespace {

#if defined(Q_OS_UNIX)
// Caps the size of files this process writes while alive, as a nearly full
// disk would; writes past it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
};
#endif

} // namespace

class TestAtomicFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
#if defined(Q_OS_UNIX)
    // A disk that fills up while a file is replaced: the write fails, the old
    // file keeps its bytes and no temporary file is left, for every format
    // written and for files smaller and larger than any write buffer.
    void writeFailureKeepsOldFile_data()
    {
        Columns<QByteArray, int, int>({"format", "width", "height"});
        for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
            QTest::newRow(format + " small") << format << 48 << 36;
            QTest::newRow(format + " large") << format << 640 << 480;
        }
    }
    void writeFailureKeepsOldFile()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QTemporaryDir dir;
        const QString path = dir.filePath("keep." + QString::fromLatin1(format));
        auto first = TestImages::Pattern(width, height);
        auto second = TestImages::Pattern(width, height);
        FillAll(*second, 0x123456);
        if (first->Save(path) != 0) {
            // Only formats that cannot hold this size refuse it, and then say so.
            QVERIFY2(CImage::LastError().contains("cannot hold"), qPrintable(CImage::LastError()));
            QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
            return;
        }
        const QByteArray old = ReadAll(path);
        QVERIFY(!old.isEmpty());
        const QByteArray next = Encoded(second->ToQImage(), format.constData());
        QVERIFY(next.size() > 1);
        {
            FileSizeLimit limit(rlim_t(next.size() / 2));
            QVERIFY(second->Save(path) < 0);
        }
        QCOMPARE(CImage::LastError(), QStringLiteral("File too large"));
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
        {
            FileSizeLimit limit(1);
            QVERIFY(CImage::SaveQImage(second->ToQImage(), path) < 0);
        }
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
#endif

    // Each step of a replacement is checked: a failure before the rename keeps
    // the old file, after it the new one is in place; no temporary file stays.
    void atomicStepFails_data()
    {
        Columns<int, bool>({"step", "replaced"});
        QTest::newRow("open") << int(CAtomicFile::EStep::Open) << false;
        QTest::newRow("write") << int(CAtomicFile::EStep::Write) << false;
        QTest::newRow("fsync") << int(CAtomicFile::EStep::Sync) << false;
        QTest::newRow("close") << int(CAtomicFile::EStep::Close) << false;
        QTest::newRow("rename") << int(CAtomicFile::EStep::Rename) << false;
        QTest::newRow("folder sync") << int(CAtomicFile::EStep::FolderSync) << true;
    }
    void atomicStepFails()
    {
        QFETCH(int, step);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.png");
        QVERIFY(WriteAll(path, "old"));
        int result;
        {
            FailingStep failing(CAtomicFile::EStep(step), EIO);
            result = TestImages::Pattern(4, 4)->Save(path);
        }
        QCOMPARE(result, int(CImage::kWriteFailed));
        QCOMPARE(CImage::LastError(), CAtomicFile::ErrorText(EIO));
        QCOMPARE(ReadAll(path) == "old", !replaced);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.png"});
    }

#if defined(Q_OS_UNIX)
    // The folder renamed away while its file is written: the write fails and
    // its temporary is removed from the folder where it now is.
    void folderRenamedMidWrite()
    {
        QTemporaryDir dir;
        static QString s_from, s_to;
        s_from = dir.filePath("out");
        s_to = dir.filePath("moved");
        QVERIFY(QDir().mkpath(s_from));
        CAtomicFile::SetFaultHook([](CAtomicFile::EStep at) {
            return at == CAtomicFile::EStep::Sync && !QDir().rename(s_from, s_to) ? EIO : 0;
        });
        const int result = TestImages::Pattern(4, 4)->Save(s_from + "/f.png");
        CAtomicFile::SetFaultHook(nullptr);
        QCOMPARE(result, int(CImage::kWriteFailed));
        QCOMPARE(CImage::LastError(), CAtomicFile::ErrorText(ENOENT));
        QCOMPARE(QDir(s_to).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The first write into a folder removes what a killed run left there: its
    // own temporaries, old, unlocked and of this user; nothing else.
    void staleTemporariesRemoved_data()
    {
        Columns<QString, int, bool, bool, bool>({"name", "ageSeconds", "otherUser", "locked", "removed"});
        const int old = CAtomicFile::kStaleSeconds + 60;
        QTest::newRow("left by a killed run") << ".qtmp0123abcd" << old << false << false << true;
        QTest::newRow("fresh") << ".qtmp0123abcd" << 60 << false << false << false;
        QTest::newRow("held by a live writer") << ".qtmp0123abcd" << old << false << true << false;
        QTest::newRow("another user's") << ".qtmp0123abcd" << old << true << false << false;
        QTest::newRow("seven digits") << ".qtmp0123abc" << old << false << false << false;
        QTest::newRow("upper-case digits") << ".qtmp0123ABCD" << old << false << false << false;
        QTest::newRow("no dot") << "qtmp0123abcd" << old << false << false << false;
    }
    void staleTemporariesRemoved()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, otherUser);
        QFETCH(bool, locked);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString left = dir.filePath(name);
        QVERIFY(WriteAll(left, "half a video"));
        const QByteArray native = QFile::encodeName(left);
        if (otherUser && (::geteuid() != 0 || ::chown(native.constData(), 65534, 65534) != 0))
            QSKIP("files of another user can only be made as root");
        const struct timeval times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        QCOMPARE(::utimes(native.constData(), times), 0);
        const int held = locked ? ::open(native.constData(), O_RDONLY | O_CLOEXEC) : -1;
        if (locked)
            QCOMPARE(::flock(held, LOCK_EX), 0);
        QCOMPARE(TestImages::Pattern(4, 4)->Save(dir.filePath("f.png")), 0);
        if (held >= 0)
            ::close(held);
        QCOMPARE(QFile::exists(left), !removed);
        QVERIFY(QFile::exists(dir.filePath("f.png")));
    }
#endif

    // Names up to the file system's 255 bytes are created and replaced.
    void longNamesReplaced_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("249") << 249;
        QTest::newRow("250") << 250;
        QTest::newRow("255") << 255;
    }
    void longNamesReplaced()
    {
        QFETCH(int, length);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString(length - 4, QLatin1Char('n')) + ".png");
        auto first = TestImages::Pattern(9, 7);
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0xABCDEF);
        QVERIFY2(first->Save(path) == 0, qPrintable(CImage::LastError()));
        QVERIFY2(second->Save(path) == 0, qPrintable(CImage::LastError()));
        CImage back;
        QCOMPARE(back.Load(path), 0);
        QVERIFY(TestImages::SamePixels(back, *second));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

#if defined(Q_OS_UNIX)
    // The file at the end of a chain of links is replaced and keeps its
    // permissions; the links stay. Devices and pipes are never replaced.
    void replacesWhatNamesLeadTo_data()
    {
        QTest::addColumn<QStringList>("links"); // each a link to the next, the last to real.png
        QTest::addColumn<int>("kind");          // what real.png is: S_IFREG, S_IFIFO or S_IFCHR
        QTest::addColumn<int>("mode");
        QTest::newRow("link") << QStringList{"link.png"} << int(S_IFREG) << 0644;
        QTest::newRow("chain of links") << QStringList{"a.png", "b.png", "c.png"} << int(S_IFREG) << 0640;
        QTest::newRow("read-only file") << QStringList() << int(S_IFREG) << 0444;
        QTest::newRow("pipe") << QStringList() << int(S_IFIFO) << 0644;
        QTest::newRow("link to a device") << QStringList{"null.png"} << int(S_IFCHR) << 0666;
    }
    void replacesWhatNamesLeadTo()
    {
        QFETCH(QStringList, links);
        QFETCH(int, kind);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString real = dir.filePath("real.png");
        if (kind == S_IFREG)
            QCOMPARE(TestImages::Pattern(9, 7)->Save(real), 0);
        else if (::mknod(QFile::encodeName(real).constData(), mode_t(kind) | 0644, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node or pipe here");
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), mode_t(mode)), 0);
        QString name = real;
        for (qsizetype i = links.size() - 1; i >= 0; --i) {
            QVERIFY(QFile::link(QFileInfo(name).fileName(), dir.filePath(links[i])));
            name = dir.filePath(links[i]);
        }
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0x010203);
        QCOMPARE(second->Save(name) == 0, kind == S_IFREG);
        struct stat after{};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &after), 0);
        QCOMPARE(int(after.st_mode), kind | mode);
        for (const QString& link : links)
            QVERIFY(QFileInfo(dir.filePath(link)).isSymLink());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(),
                 links.size() + 1);
        if (kind != S_IFREG)
            return;
        CImage back;
        QCOMPARE(back.Load(real), 0);
        QVERIFY(TestImages::SamePixels(back, *second));
    }
#endif

#if defined(Q_OS_UNIX)
    // What replacing by rename does, as the README says: a hard link keeps the
    // old contents, the writer owns the new file, the mode stays.
    void replacementByRename()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.png"), other = dir.filePath("hard.png");
        QCOMPARE(TestImages::Pattern(9, 7)->Save(path), 0);
        const QByteArray old = ReadAll(path);
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0x010203);
        QCOMPARE(second->Save(path), 0);
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0444);
        QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(ReadAll(other), old);
        QVERIFY(ReadAll(path) != old);
    }
#endif

    void failedSaveLeavesNothing()
    {
        // A folder stands where the file should go: the write fails, the folder
        // stays as it was and no partial file is left beside it.
        QTemporaryDir dir;
        const QString path = dir.filePath("taken.png");
        QVERIFY(QDir().mkpath(path));
        auto img = TestImages::Pattern(4, 4);
        QVERIFY(img->Save(path) < 0);
        QVERIFY(!CImage::LastError().isEmpty());
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "tst_atomic_file.moc"
