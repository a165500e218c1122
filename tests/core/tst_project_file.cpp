#include "DataTable.h"
#include "document/CProjectFile.h"
#include "FailingStep.h"
#include "FolderTest.h"
#include "HandlePairs.h"
#include "platform/CAtomicFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <limits>

Q_DECLARE_METATYPE(CMorphTiming)

namespace {

CTimingCurve Curve(const char* text)
{
    return *CTimingCurve::Parse(QString::fromLatin1(text));
}

CMorphTiming Timing(const char* shape, const char* color, int holdStart, int holdEnd, int count, double fps)
{
    CMorphTiming timing;
    timing.m_shape = Curve(shape);
    timing.m_color = Curve(color);
    timing.m_nHoldStart = holdStart;
    timing.m_nHoldEnd = holdEnd;
    timing.m_nCount = count;
    timing.m_dFps = fps;
    return timing;
}

// The lines of a project after its header and picture lines.
const QByteArray kHead = "quillarend-project 1\nsource a.png\ntarget b.png\n";

} // namespace

class TestProjectFile : public FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(WriteAll(file("a.png"), "a"));
        QVERIFY(WriteAll(file("b.png"), "b"));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("写真 1")));
        QVERIFY(WriteAll(file("写真 1/元 .jpg"), "c"));
    }

    // What is saved reads back the same: pictures, pairs, curves, holds, count and rate.
    void roundTrip_data()
    {
        Columns<QString, QString, CMorphTiming>({"source", "target", "timing"});
        QTest::newRow("defaults") << "a.png" << "b.png" << CMorphTiming();
        QTest::newRow("eased with holds") << "a.png" << "b.png" << Timing("in-out", "out", 2, 99999, 99999, 29.97);
        QTest::newRow("Bézier, slow rate") << "b.png" << "a.png"
                                          << Timing("bezier:0.1,0.7,0.30000000000000004,1", "in", 0, 3, 2, 0.001);
        QTest::newRow("spaces and Japanese") << "写真 1/元 .jpg" << "a.png" << Timing("linear", "in", 1, 0, 5, 1000);
    }
    void roundTrip()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(CMorphTiming, timing);
        const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
        CProjectFile project;
        project.m_strSourcePath = file(source);
        project.m_strTargetPath = file(target);
        project.m_aHandles = HandleArray({Pair(1, 2, 3, 4), Pair(lo, hi, -1, 0), Pair(1, 2, 3, 4)});
        project.m_timing = timing;
        const QString path = file("round.quillarend");
        QString error;
        QVERIFY2(project.Save(path, error), qPrintable(error));
        CProjectFile read;
        QVERIFY2(CProjectFile::Load(path, read, error), qPrintable(error));
        QCOMPARE(read.m_strSourcePath, project.m_strSourcePath);
        QCOMPARE(read.m_strTargetPath, project.m_strTargetPath);
        QVERIFY(read.m_aHandles == project.m_aHandles);
        QVERIFY(read.m_timing == timing);
        QVERIFY(ReadAll(path).contains("\nsource " + source.toUtf8() + "\n"));
    }

    // Hand-written files: what is accepted, and what is refused with FILE:LINE and why.
    void handWritten_data()
    {
        Columns<QByteArray, int, QString>({"content", "pairs", "error"});
        QTest::newRow("comments, blank lines, CRLF, byte-order mark")
            << QByteArray("\xEF\xBB\xBF# made by hand\r\nquillarend-project 1\r\n\r\nsource a.png\r\ntarget b.png\r\n"
                          "  # two pairs\r\nframes\t7\r\npairs 2\r\n1 2 3 4\r\n# between\r\n5,6,7,8\r\n")
            << 2 << "";
        QTest::newRow("no timing lines, no pairs") << kHead + "pairs 0\n" << 0 << "";
        QTest::newRow("empty file") << QByteArray() << 0
                                    << ": not a Quillarend project: the first line must be \"quillarend-project VERSION\"";
        QTest::newRow("a pairs file") << QByteArray("1 2 3 4\n") << 0
                                      << ":1: not a Quillarend project: the first line must be "
                                         "\"quillarend-project VERSION\"";
        QTest::newRow("newer version") << QByteArray("quillarend-project 2\nsource a.png\n") << 0
                                       << ":1: format version 2 is newer than this program reads (1); "
                                          "open it with a newer Quillarend";
        QTest::newRow("frames 1") << kHead + "frames 1\n" << 0 << ":4: frames must be a whole number from 2 to 99999, not \"1\"";
        QTest::newRow("frames 100000") << kHead + "frames 100000\n" << 0
                                       << ":4: frames must be a whole number from 2 to 99999, not \"100000\"";
        QTest::newRow("frames 2.5") << kHead + "frames 2.5\n" << 0 << ":4: frames must be a whole number from 2 to 99999, not \"2.5\"";
        QTest::newRow("hold-start -1") << kHead + "hold-start -1\n" << 0
                                       << ":4: hold-start must be a whole number from 0 to 99999, not \"-1\"";
        QTest::newRow("hold-end 100000") << kHead + "hold-end 100000\n" << 0
                                         << ":4: hold-end must be a whole number from 0 to 99999, not \"100000\"";
        QTest::newRow("fps 0") << kHead + "fps 0\n" << 0 << ":4: fps must be a number from 0.001 to 1000, not \"0\"";
        QTest::newRow("fps 1001") << kHead + "fps 1001\n" << 0 << ":4: fps must be a number from 0.001 to 1000, not \"1001\"";
        QTest::newRow("fps nan") << kHead + "fps nan\n" << 0 << ":4: fps must be a number from 0.001 to 1000, not \"nan\"";
        QTest::newRow("unknown curve") << kHead + "shape fast\n" << 0
                                       << ":4: shape must be linear, in, out, in-out or bezier:X1,Y1,X2,Y2 (each 0 ... 1), "
                                          "not \"fast\"";
        QTest::newRow("Bézier outside") << kHead + "color bezier:0,0,1.5,1\n" << 0
                                        << ":4: color must be linear, in, out, in-out or bezier:X1,Y1,X2,Y2 (each 0 ... "
                                           "1), not \"bezier:0,0,1.5,1\"";
        QTest::newRow("unknown entry") << kHead + "speed 3\n" << 0 << ":4: unknown entry \"speed\"";
        QTest::newRow("twice") << kHead + "fps 3\nfps 4\n" << 0 << ":5: \"fps\" is given a second time";
        QTest::newRow("no file name") << QByteArray("quillarend-project 1\nsource\n") << 0
                                      << ":2: source needs the picture's file name";
        QTest::newRow("bad pair") << kHead + "pairs 2\n1 2 3 4\n1 2 3\n" << 0
                                  << ":6: expected four integers \"sx sy tx ty\" (pair 2 of 2)";
        QTest::newRow("cut short") << kHead + "pairs 3\n1 2 3 4\n" << 0
                                   << ": ends after 1 of the 3 pairs that line 4 announces; is it cut short?";
        QTest::newRow("one pair more") << kHead + "pairs 1\n1 2 3 4\n5 6 7 8\n" << 0
                                       << ":6: more pairs than the 1 that line 4 announces";
        QTest::newRow("too many pairs") << kHead + "pairs 1000001\n" << 0
                                        << ":4: pairs must be a whole number from 0 to 1000000, not \"1000001\"";
        QTest::newRow("no target") << QByteArray("quillarend-project 1\nsource a.png\npairs 0\n") << 0
                                   << ": has no \"target\" line";
        QTest::newRow("no pairs line") << kHead << 0 << ": has no \"pairs\" line";
        QTest::newRow("line too long") << kHead + "source " + QByteArray(CProjectFile::kMaxLineBytes, 'x') + "\n" << 0
                                       << ":4: line longer than 65536 bytes";
    }
    void handWritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, pairs);
        QFETCH(QString, error);
        const QString path = file("hand.quillarend");
        QVERIFY(WriteAll(path, content));
        CProjectFile project;
        project.m_aHandles = HandleArray({Pair(9, 9)});
        QString message;
        QCOMPARE(CProjectFile::Load(path, project, message), error.isEmpty());
        if (error.isEmpty()) {
            QCOMPARE(project.m_aHandles.GetSize(), pairs);
            QCOMPARE(project.m_strTargetPath, file("b.png"));
        } else {
            QCOMPARE(message, path + error);
            QCOMPARE(project.m_aHandles.GetSize(), 1); // unchanged
        }
    }

    // A picture that is not there is refused on its own line, whatever came after it.
    void missingPicture_data()
    {
        Columns<QString, QString>({"name", "reason"});
        QTest::newRow("missing") << "none.png" << "does not exist";
        QTest::newRow("a folder") << "folder" << "is a folder";
    }
    void missingPicture()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString path = file("missing.quillarend");
        QVERIFY(WriteAll(path, "quillarend-project 1\nsource a.png\n\ntarget " + name.toUtf8() + "\npairs 0\n"));
        CProjectFile project;
        QString error;
        QVERIFY(!CProjectFile::Load(path, project, error));
        QCOMPARE(error, path + ":4: the target picture " + QDir::toNativeSeparators(file(name)) + ' ' + reason);
    }

    // Pictures are named relative to the project's folder while they share a
    // folder below the root with it, else absolutely.
    void storedPaths_data()
    {
        Columns<QString, QString, QString>({"project", "picture", "stored"});
        QTest::newRow("same folder") << "/home/u/m/p.quillarend" << "/home/u/m/a.png" << "a.png";
        QTest::newRow("below") << "/home/u/m/p.quillarend" << "/home/u/m/pics/a.png" << "pics/a.png";
        QTest::newRow("beside") << "/home/u/m/p.quillarend" << "/home/u/pics/a.png" << "../pics/a.png";
        QTest::newRow("shared below the root") << "/home/u/m/p.quillarend" << "/home/v/a.png" << "../../v/a.png";
        QTest::newRow("only the root shared") << "/home/u/m/p.quillarend" << "/srv/a.png" << "/srv/a.png";
        QTest::newRow("project at the root") << "/p.quillarend" << "/srv/a.png" << "/srv/a.png";
        QTest::newRow("unclean picture path") << "/home/u/m/p.quillarend" << "/home/u/m/x/../a.png" << "a.png";
#if defined(Q_OS_WIN)
        QTest::newRow("other drive") << "C:/m/p.quillarend" << "D:/m/a.png" << "D:/m/a.png";
        QTest::newRow("same drive, only its root") << "C:/m/p.quillarend" << "C:/n/a.png" << "C:/n/a.png";
        QTest::newRow("drive letters in other case") << "C:/m/p.quillarend" << "c:/m/a.png" << "a.png";
#endif
    }
    void storedPaths()
    {
        QFETCH(QString, project);
        QFETCH(QString, picture);
        QFETCH(QString, stored);
        QCOMPARE(CProjectFile::StoredPath(project, picture), stored);
    }

    // A project folder moved with its pictures still finds them.
    void movedFolder()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("before/pics")));
        QVERIFY(WriteAll(file("before/pics/a.png"), "a"));
        CProjectFile project;
        project.m_strSourcePath = file("before/pics/a.png");
        project.m_strTargetPath = file("b.png");
        QString error;
        QVERIFY2(project.Save(file("before/p.quillarend"), error), qPrintable(error));
        QVERIFY(QDir(m_dir.path()).rename(QStringLiteral("before"), QStringLiteral("after")));
        CProjectFile read;
        QVERIFY2(CProjectFile::Load(file("after/p.quillarend"), read, error), qPrintable(error));
        QCOMPARE(read.m_strSourcePath, file("after/pics/a.png"));
        QCOMPARE(read.m_strTargetPath, file("b.png"));
    }

    // A path the format cannot hold is refused before anything is written.
    void lineBreakInPath()
    {
        CProjectFile project;
        project.m_strSourcePath = file("a\n.png");
        project.m_strTargetPath = file("b.png");
        QString error;
        QVERIFY(!project.Save(file("broken.quillarend"), error));
        QVERIFY(error.startsWith("the source picture's path holds a line break"));
        QVERIFY(!QFileInfo::exists(file("broken.quillarend")));
    }

    // Each write step that fails makes the save fail with the reason and keeps the old file.
    void writeStepFails_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("open") << int(CAtomicFile::EStep::Open);
        QTest::newRow("write") << int(CAtomicFile::EStep::Write);
        QTest::newRow("flush") << int(CAtomicFile::EStep::Sync);
        QTest::newRow("close") << int(CAtomicFile::EStep::Close);
        QTest::newRow("rename") << int(CAtomicFile::EStep::Rename);
        QTest::newRow("folder flush") << int(CAtomicFile::EStep::FolderSync);
    }
    void writeStepFails()
    {
        QFETCH(int, step);
        QTemporaryDir dir;
        const QString path = dir.filePath("p.quillarend");
        CProjectFile project;
        project.m_strSourcePath = file("a.png");
        project.m_strTargetPath = file("b.png");
        QString error;
        QVERIFY(project.Save(path, error));
        const QByteArray old = ReadAll(path);
        project.m_aHandles = HandleArray({Pair(1, 2, 3, 4)});
        bool saved;
        {
            FailingStep failing(CAtomicFile::EStep(step), ENOSPC);
            saved = project.Save(path, error);
        }
        QVERIFY(!saved);
        QCOMPARE(error, CAtomicFile::ErrorText(ENOSPC));
        // After a failed folder flush the new file is in place, not yet safe on the disk.
        if (CAtomicFile::EStep(step) != CAtomicFile::EStep::FolderSync)
            QCOMPARE(ReadAll(path), old);
        QCOMPARE(Entries(dir.path()), QStringList{"p.quillarend"});
    }
};

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_project_file.moc"
