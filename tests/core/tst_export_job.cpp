#include "DataTable.h"
#include "document/CMorphData.h"
#include "engine/CExportJob.h"
#include "engine/CMorphCore.h"
#include "FolderTest.h"
#include "platform/CImage.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <new>

#include <unistd.h>

Q_DECLARE_METATYPE(CExportJob::EKind)
Q_DECLARE_METATYPE(CExportJob::EError)

namespace {

// A small document with one pair and its mesh, to render frames from.
struct Morph
{
    CMorphData doc;
    CMorphCore core;
    explicit Morph(int32_t w = 24, int32_t h = 16)
    {
        doc.m_pSourceImage = TestImages::Pattern(w, h);
        doc.m_pTargetImage = TestImages::PatternXor(w, h, 0x5A);
        doc.m_aHandles.Add(CMorphHandle{CPoint(w / 3, h / 3), CPoint(w / 2, h / 2)});
        core.BuildMesh(&doc);
    }
};

// Every name in folder that is a frame of "o": o_00000.png ….
QStringList FrameFiles(const QString& folder)
{
    return QDir(folder).entryList({"o_*"}, QDir::AllEntries | QDir::Hidden, QDir::Name);
}

QStringList FrameNames(int first, int last)
{
    QStringList names;
    for (int i = first; i <= last; ++i)
        names << QString::asprintf("o_%05d.png", i);
    return names;
}

} // namespace

class TestExportJob : public FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    // Refused from the names and the size alone, before anything renders:
    // an input as output (also through links), a name past 255 bytes, a
    // picture larger than the format holds, a rate the format cannot store.
    void refusals_data()
    {
        Columns<CExportJob::EKind, QString, QSize, double, CExportJob::EError, QString>(
            {"kind", "name", "size", "fps", "error", "named"});
        const QSize small(24, 16);
        QTest::newRow("still through a symbolic link to an input")
            << CExportJob::EKind::Still << "soft.png" << small << 25.0 << CExportJob::EError::SameFile << "soft.png";
        QTest::newRow("numbered frame is a hard link to an input")
            << CExportJob::EKind::Sequence << "o.png" << small << 25.0 << CExportJob::EError::SameFile
            << "o_00003.png";
        QTest::newRow("video is an input") << CExportJob::EKind::Video << "in.mkv" << small << 25.0
                                           << CExportJob::EError::SameFile << "in.mkv";
        QTest::newRow("numbered name of 256 bytes")
            << CExportJob::EKind::Sequence << QString(246, QLatin1Char('n')) + ".png" << small << 25.0
            << CExportJob::EError::NameTooLong << QString(246, QLatin1Char('n')) + "_00004.png";
        QTest::newRow("numbered name of 255 bytes")
            << CExportJob::EKind::Sequence << QString(245, QLatin1Char('n')) + ".png" << small << 25.0
            << CExportJob::EError::None << "";
        QTest::newRow("still name of 256 bytes in UTF-8")
            << CExportJob::EKind::Still << QString(84, QChar(0x3042)) + ".png" << small << 25.0
            << CExportJob::EError::NameTooLong << QString(84, QChar(0x3042)) + ".png";
        QTest::newRow("png one row too tall") << CExportJob::EKind::Still << "tall.png" << QSize(4, 1000001) << 25.0
                                              << CExportJob::EError::FormatLimit << "tall.png";
        QTest::newRow("png at its limit") << CExportJob::EKind::Still << "tall.png" << QSize(4, 1000000) << 25.0
                                          << CExportJob::EError::None << "";
        QTest::newRow("jpeg sequence too wide") << CExportJob::EKind::Sequence << "o.JPG" << QSize(65501, 2) << 25.0
                                                << CExportJob::EError::FormatLimit << "o_00004.JPG";
        QTest::newRow("webp too tall") << CExportJob::EKind::Still << "w.webp" << QSize(2, 16384) << 25.0
                                       << CExportJob::EError::FormatLimit << "w.webp";
        QTest::newRow("gif over 100 fps") << CExportJob::EKind::Video << "g.gif" << small << 101.0
                                          << CExportJob::EError::BadFps << "g.gif";
        QTest::newRow("gif at 100 fps") << CExportJob::EKind::Video << "g.gif" << small << 100.0
                                        << CExportJob::EError::None << "";
    }
    void refusals()
    {
        QFETCH(CExportJob::EKind, kind);
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(double, fps);
        QFETCH(CExportJob::EError, error);
        QFETCH(QString, named);
        QTemporaryDir dir;
        const QString input = dir.filePath("in.mkv");
        QVERIFY(WriteAll(input, "picture"));
        QVERIFY(QFile::link(input, dir.filePath("soft.png")));
        QVERIFY(::link(QFile::encodeName(input).constData(), QFile::encodeName(dir.filePath("o_00003.png")).constData())
                == 0);
        const QStringList before = Entries(dir.path());

        CExportJob job(kind, dir.filePath(name));
        job.m_timing.m_nCount = 5;
        job.m_timing.m_dFps = fps;
        job.m_aInputs = {dir.filePath("other.png"), input};
        QCOMPARE(job.Check(size.width(), size.height()), error == CExportJob::EError::None);
        QCOMPARE(job.Failure().eError, error);
        if (error != CExportJob::EError::None)
            QCOMPARE(job.Failure().strPath, dir.filePath(named));
        if (error == CExportJob::EError::SameFile)
            QCOMPARE(job.Failure().strInput, input);
        QCOMPARE(Entries(dir.path()), before);
        QVERIFY(ReadAll(input) == "picture");
    }

    // The limits refused above are the encoders' own: one pixel past each the
    // encoder fails, at it the picture is written whole.
    void formatLimitsAreTheEncoders_data()
    {
        Columns<QString>({"extension"});
        for (const char* ext : {"png", "jpg", "webp"})
            QTest::newRow(ext) << ext;
    }
    void formatLimitsAreTheEncoders()
    {
        QFETCH(QString, extension);
        const QString path = file("limit." + extension);
        const std::optional<int64_t> limit = CExportJob::FormatLimit(path);
        QVERIFY(limit);
        QImage at(1, int(*limit), QImage::Format_RGB32);
        at.fill(Qt::gray);
        QCOMPARE(int(CImage::SaveQImage(at, path)), int(CImage::kOk));
        QImage past(1, int(*limit) + 1, QImage::Format_RGB32);
        past.fill(Qt::gray);
        QVERIFY(CImage::SaveQImage(past, path) < 0);
    }

    // A stop keeps the frames handed to the encoders, from the first on; so
    // does memory running out at a frame, which names it.
    void stop_data()
    {
        Columns<bool, CExportJob::EError>({"outOfMemory", "error"});
        QTest::newRow("stopped") << false << CExportJob::EError::Stopped;
        QTest::newRow("out of memory") << true << CExportJob::EError::NoMemory;
    }
    void stop()
    {
        QFETCH(bool, outOfMemory);
        QFETCH(CExportJob::EError, error);
        Morph m;
        QTemporaryDir dir;
        CExportJob job(CExportJob::EKind::Sequence, dir.filePath("o.png"));
        job.m_timing.m_nCount = 20;
        job.m_nJobs = 4;
        job.m_progress = [outOfMemory](int64_t done) {
            if (outOfMemory && done == 3)
                throw std::bad_alloc();
            return done < 3;
        };
        QVERIFY(!job.Run(m.core, 24, 16));
        QCOMPARE(job.Failure().eError, error);
        QCOMPARE(job.Failure().nIndex, 3);
        QCOMPARE(job.Failure().strPath, dir.filePath("o_00003.png"));
        QCOMPARE(job.Written(), 3);
        QCOMPARE(FrameFiles(dir.path()), FrameNames(0, 2));
    }

    // A frame that cannot be written ends the sequence; frames after it that
    // were encoded meanwhile are removed, so what is kept has no gap.
    void failureKeepsNoGap_data()
    {
        Columns<int, int>({"jobs", "blocked"});
        QTest::newRow("one job") << 1 << 2;
        QTest::newRow("four jobs") << 4 << 2;
        QTest::newRow("four jobs, first frame") << 4 << 0;
    }
    void failureKeepsNoGap()
    {
        QFETCH(int, jobs);
        QFETCH(int, blocked);
        Morph m;
        QTemporaryDir dir;
        const QString folder = QString::asprintf("o_%05d.png", blocked);
        QVERIFY(QDir(dir.path()).mkdir(folder));
        CExportJob job(CExportJob::EKind::Sequence, dir.filePath("o.png"));
        job.m_timing.m_nCount = 12;
        job.m_nJobs = jobs;
        QVERIFY(!job.Run(m.core, 24, 16));
        QCOMPARE(job.Failure().eError, CExportJob::EError::WriteFailed);
        QCOMPARE(job.Failure().nIndex, blocked);
        QCOMPARE(job.Failure().strPath, dir.filePath(folder));
        QCOMPARE(job.Written(), blocked);
        QCOMPARE(FrameFiles(dir.path()), FrameNames(0, blocked));
    }

    // A disk that fills: the frames kept are 0 … k − 1 for the frame k that
    // did not fit, with no temporary file left.
    void fullDisk()
    {
        SmallDisk disk(1 << 20);
        if (!disk.IsMounted())
            QSKIP("mounting a small disk needs root");
        Morph m(96, 64);
        // Noise does not compress: each frame takes about 18 KiB.
        QVERIFY(disk.LeaveFree(100 << 10));
        CExportJob job(CExportJob::EKind::Sequence, disk.Path() + "/o.bmp");
        job.m_timing.m_nCount = 40;
        job.m_nJobs = 4;
        QVERIFY(!job.Run(m.core, 96, 64));
        QCOMPARE(job.Failure().eError, CExportJob::EError::WriteFailed);
        QVERIFY(job.Written() > 0 && job.Written() < 40);
        QCOMPARE(job.Failure().nIndex, job.Written());
        QStringList kept;
        for (int i = 0; i < job.Written(); ++i)
            kept << QString::asprintf("o_%05d.bmp", i);
        QCOMPARE(FrameFiles(disk.Path()), kept);
        QCOMPARE(Entries(disk.Path()), QStringList{"filler"} + kept);
    }

    // A range writes those frames of the whole sequence under their own
    // names and with the same bytes; the positions follow the timing.
    void range()
    {
        Morph m;
        QTemporaryDir whole, part;
        CMorphTiming timing;
        timing.m_nCount = 6;
        timing.m_nHoldStart = 1;
        timing.m_shape.m_eKind = CTimingCurve::kEaseInOut;
        CExportJob all(CExportJob::EKind::Sequence, whole.filePath("o.png"));
        all.m_timing = timing;
        QVERIFY(all.Run(m.core, 24, 16));
        QCOMPARE(all.Written(), 7);
        CExportJob some(CExportJob::EKind::Sequence, part.filePath("o.png"));
        some.m_timing = timing;
        some.SetRange(2, 4);
        QCOMPARE(some.Count(), 3);
        QVERIFY(some.Run(m.core, 24, 16));
        QCOMPARE(FrameFiles(part.path()), FrameNames(2, 4));
        for (const QString& name : FrameNames(2, 4))
            QVERIFY(ReadAll(part.filePath(name)) == ReadAll(whole.filePath(name)));
        some.SetRange(5, 7);
        QVERIFY(!some.Check(24, 16));
        QCOMPARE(some.Failure().eError, CExportJob::EError::BadRange);
    }
};

QTEST_GUILESS_MAIN(TestExportJob)
#include "tst_export_job.moc"
