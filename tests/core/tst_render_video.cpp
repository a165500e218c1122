#include "DataTable.h"
#include "FolderTest.h"
#include "platform/CAtomicFile.h"
#include "platform/CImage.h"
#include "RenderedFrame.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

struct Result
{
    int exitCode;
    QString out;
    QString err;
};

} // namespace

// The headless renderer's sequence options and its video and GIF output.
class TestRenderVideo : public FolderTest
{
    Q_OBJECT

    Result run(const QStringList& args, const QString& path = QString()) const
    {
        QProcess process;
        if (!path.isNull()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("PATH", path);
            process.setProcessEnvironment(env);
        }
        process.start(QStringLiteral(QUILLAREND_RENDER_PATH), args);
        if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, QString(), QStringLiteral("did not finish")};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList pictures() const { return {"--source", file("a.png"), "--target", file("b.png")}; }

    static bool HaveFfmpeg()
    {
        return !QStandardPaths::findExecutable("ffmpeg").isEmpty()
               && !QStandardPaths::findExecutable("ffprobe").isEmpty();
    }

    static QString Probe(const QString& path)
    {
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                "stream=codec_name,pix_fmt,nb_read_frames,r_frame_rate", "-of",
                                "default=noprint_wrappers=1", path});
        if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
            return QString();
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    // The frame the engine renders in this process at t.
    std::unique_ptr<CImage> renderHere(float t) const
    {
        return RenderedFrame(file("a.png"), file("b.png"), {{{10, 8}, {30, 20}}}, t);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(file("a.png"), 48, 36));
        QImage other(48, 36, QImage::Format_RGB32);
        for (int y = 0; y < 36; ++y)
            for (int x = 0; x < 48; ++x)
                other.setPixel(x, y, qRgb(255 - x * 5, y * 7, (x * y) & 0xFF));
        QVERIFY(other.save(file("b.png")));
        QFile pairs(file("pairs.txt"));
        QVERIFY(pairs.open(QIODevice::WriteOnly));
        pairs.write("10 8 30 20\n");
    }

    // Any number of encoder jobs writes the same files as one, in the wizard's
    // naming, each frame the one the engine renders.
    void jobsGiveSameFiles_data()
    {
        QTest::addColumn<QString>("ext");
        QTest::newRow("png") << "png";
        QTest::newRow("jpg") << "jpg";
    }
    void jobsGiveSameFiles()
    {
        QFETCH(QString, ext);
        QList<QByteArray> first;
        for (const char* jobs : {"1", "2", "5"}) {
            const QString folder = file(QStringLiteral("jobs%1-%2").arg(jobs, ext));
            QVERIFY(QDir().mkpath(folder));
            const Result r = run(pictures() + QStringList{"--pairs", file("pairs.txt"), "--frames", "7", "--jobs",
                                                          jobs, "--out", folder + "/j." + ext});
            QCOMPARE(r.exitCode, 0);
            QStringList names;
            for (int i = 0; i < 7; ++i)
                names << QString::asprintf("j_%05d.", i) + ext;
            QCOMPARE(Entries(folder), names);
            for (int i = 0; i < 7; ++i) {
                const QByteArray bytes = ReadAll(folder + "/" + names[i]);
                if (first.size() < 7)
                    first << bytes;
                QVERIFY2(bytes == first[i], qPrintable(names[i]));
            }
        }
        if (ext == QLatin1String("png")) {
            CImage frame;
            QCOMPARE(frame.Load(file("jobs5-png/j_00003.png")), 0);
            const auto expected = renderHere(float(3.0 / 6));
            QVERIFY(expected);
            QVERIFY(TestImages::SamePixels(frame, *expected));
        }
    }

    // With several frames encoding at once the first frame that cannot be
    // written ends the sequence: frames after it that were done meanwhile are
    // removed, so the frames kept have no gap.
    void failureStopsWithNoGap()
    {
        const QString folder = file("order");
        QVERIFY(QDir().mkpath(folder + "/o_00001.png"));
        QVERIFY(QDir().mkpath(folder + "/o_00004.png"));
        const Result r = run(pictures() + QStringList{"--frames", "6", "--jobs", "3", "--out", folder + "/o.png"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, "quillarend-render: cannot write " + folder + "/o_00001.png: a folder has that name\n"
                            "quillarend-render: " + folder + "/o_00002.png ... " + folder + "/o_00005.png were not written\n");
        QCOMPARE(Entries(folder), (QStringList{"o_00000.png", "o_00001.png", "o_00004.png"}));
    }

    // JPEG at 90 unless --quality says otherwise: the bytes are those of the
    // same frame saved here at that quality.
    void jpegQuality_data()
    {
        Columns<QStringList, int>({"option", "quality"});
        QTest::newRow("default") << QStringList() << 90;
        QTest::newRow("40") << QStringList{"--quality", "40"} << 40;
        QTest::newRow("100") << QStringList{"--quality", "100"} << 100;
    }
    void jpegQuality()
    {
        QFETCH(QStringList, option);
        QFETCH(int, quality);
        const QString out = file(QStringLiteral("q%1.jpg").arg(quality));
        const Result r = run(pictures() + QStringList{"--pairs", file("pairs.txt"), "--position", "400", "--out", out}
                             + option);
        QCOMPARE(r.exitCode, 0);
        const auto expected = renderHere(float(400 / 1000.0));
        QVERIFY(expected);
        QCOMPARE(expected->Save(file(QStringLiteral("here%1.jpg").arg(quality)), quality), 0);
        // Past the JFIF header, whose resolution field follows the process's
        // default dots per inch: quantisation tables and data must agree.
        const QByteArray tool = ReadAll(out);
        const QByteArray here = ReadAll(file(QStringLiteral("here%1.jpg").arg(quality)));
        QVERIFY(tool.startsWith("\xFF\xD8\xFF\xE0\x00\x10JFIF") && here.size() > 20);
        QCOMPARE(tool.mid(20), here.mid(20));
    }

    // One file holding exactly the frames asked for, at the rate asked for.
    void videoFrames_data()
    {
        Columns<QString, QStringList, int, QString, QString>({"name", "rate", "frames", "codec", "fps"});
        QTest::newRow("mp4") << "v.mp4" << QStringList() << 12 << "h264" << "25/1";
        QTest::newRow("MP4 at 10 fps") << "V10.MP4" << QStringList{"--fps", "10"} << 5 << "h264" << "10/1";
        QTest::newRow("mkv") << "v.mkv" << QStringList() << 4 << "h264" << "25/1";
        QTest::newRow("webm") << "v.webm" << QStringList{"--fps", "12.5"} << 6 << "vp9" << "25/2";
        QTest::newRow("gif") << "v.gif" << QStringList() << 8 << "gif" << "25/1";
    }
    void videoFrames()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, rate);
        QFETCH(int, frames);
        QFETCH(QString, codec);
        QFETCH(QString, fps);
        if (!HaveFfmpeg())
            QSKIP("ffmpeg and ffprobe are not installed");
        const QString folder = file("video-" + name);
        QVERIFY(QDir().mkpath(folder));
        const Result r = run(pictures() + QStringList{"--pairs", file("pairs.txt"), "--frames",
                                                      QString::number(frames), "--out", folder + "/" + name}
                             + rate);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(Entries(folder), QStringList{name});
        const QString probed = Probe(folder + "/" + name);
        QVERIFY2(probed.contains(QStringLiteral("nb_read_frames=%1\n").arg(frames)), qPrintable(probed));
        QVERIFY2(probed.contains("codec_name=" + codec + "\n"), qPrintable(probed));
        QVERIFY2(probed.contains("r_frame_rate=" + fps + "\n"), qPrintable(probed));
        if (codec != QLatin1String("gif"))
            QVERIFY2(probed.contains("pix_fmt=yuv420p\n"), qPrintable(probed));
    }

    // Without ffmpeg on PATH: exit 1, a message that says so, and nothing
    // under the final name or beside it; an older file of that name stays.
    void missingFfmpeg()
    {
        const QString folder = file("no-ffmpeg");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir().mkpath(file("empty-bin")));
        const QString out = folder + "/m.mp4";
        const Result r = run(pictures() + QStringList{"--frames", "3", "--out", out}, file("empty-bin"));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot write " + out + ": ") && r.err.contains("ffmpeg"), qPrintable(r.err));
        QCOMPARE(Entries(folder), QStringList());

        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older video");
        old.close();
        QCOMPARE(run(pictures() + QStringList{"--frames", "3", "--out", out}, file("empty-bin")).exitCode, 1);
        QCOMPARE(Entries(folder), QStringList{"m.mp4"});
        QCOMPARE(ReadAll(out), QByteArray("older video"));
    }

    // ffmpeg failing is the same: exit 1, its reason, no file left.
    void failingFfmpeg()
    {
#if defined(Q_OS_WIN)
        QSKIP("the stand-in ffmpeg is a shell script");
#endif
        const QString bin = file("failing-bin");
        QVERIFY(QDir().mkpath(bin));
        QFile script(bin + "/ffmpeg");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nhead -c 5000 >/dev/null\necho 'Conversion failed!' >&2\nexit 1\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString folder = file("failing");
        QVERIFY(QDir().mkpath(folder));
        const QString out = folder + "/f.gif";
        const Result r = run(pictures() + QStringList{"--frames", "20", "--out", out},
                             bin + ":" + qEnvironmentVariable("PATH"));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot write " + out + ": ffmpeg failed: Conversion failed!"), qPrintable(r.err));
        QCOMPARE(Entries(folder), QStringList());
    }

#if defined(Q_OS_UNIX)
    // Told to end during a video: the encoder is ended, no temporary file
    // stays, and the exit status is 128 + the signal.
    void endedBySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void endedBySignal()
    {
        QFETCH(int, signal);
#if defined(__SANITIZE_THREAD__)
        QSKIP("ThreadSanitizer holds signals back while the tool waits for ffmpeg");
#endif
        const QString bin = file("hanging-bin"), pidFile = bin + "/pid";
        QVERIFY(QDir().mkpath(bin));
        QFile::remove(pidFile);
        QFile script(bin + "/ffmpeg");
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho $$ >\"" + pidFile.toUtf8() + ".new\"\nmv \"" + pidFile.toUtf8() + ".new\" \""
                     + pidFile.toUtf8() + "\"\nexec sleep 60\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString folder = file(QStringLiteral("signal%1").arg(signal));
        QVERIFY(QDir().mkpath(folder));
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", bin + ":" + qEnvironmentVariable("PATH"));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(QUILLAREND_RENDER_PATH), pictures() + QStringList{"--frames", "40", "--out", folder + "/s.mp4"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 20000);
        QCOMPARE(Entries(folder).size(), 1); // the temporary file
        QCOMPARE(::kill(pid_t(tool.processId()), signal), 0);
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 128 + signal);
        QCOMPARE(Entries(folder), QStringList());
        // The encoder is gone, or a zombie waiting for a parent to reap it.
        const QString encoder = "/proc/" + QString::fromLatin1(ReadAll(pidFile).trimmed()) + "/stat";
        const auto ended = [&] {
            const QByteArray stat = ReadAll(encoder);
            return stat.isEmpty() || stat.contains(") Z ");
        };
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 10000);
    }
#endif

    // The frame-rate bounds --help gives are rates the tool takes.
    void helpGivesAcceptedFpsBounds()
    {
        if (!HaveFfmpeg())
            QSKIP("ffmpeg and ffprobe are not installed");
        const Result help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        const QRegularExpressionMatch bounds = QRegularExpression(
            R"(video \(([0-9.]+) \.\.\. ([0-9.]+)\) or GIF \(([0-9.]+) \.\.\. ([0-9.]+)\))").match(help.out);
        QVERIFY2(bounds.hasMatch(), qPrintable(help.out));
        for (int i = 1; i <= 4; ++i) {
            const QString out = file(QStringLiteral("bound%1.%2").arg(i).arg(i <= 2 ? "mkv" : "gif"));
            const Result r = run(pictures() + QStringList{"--frames", "2", "--fps", bounds.captured(i), "--out", out});
            QVERIFY2(r.exitCode == 0, qPrintable(bounds.captured(i) + ": " + r.err));
            QVERIFY(QFile::remove(out));
        }
    }

#if defined(Q_OS_LINUX)
    // Killed outright during a video (as the out-of-memory killer does): the
    // real ffmpeg ends with it, and once old its temporary is removed by the
    // next write into the folder.
    void killedDuringVideo()
    {
        if (!HaveFfmpeg())
            QSKIP("ffmpeg and ffprobe are not installed");
        const QString folder = file("killed");
        QVERIFY(QDir().mkpath(folder));
        QProcess tool;
        tool.start(QStringLiteral(QUILLAREND_RENDER_PATH),
                   pictures() + QStringList{"--frames", "99999", "--quiet", "--out", folder + "/k.mp4"});
        QVERIFY(tool.waitForStarted());
        const auto encoderOf = [](qint64 parent) {
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
                const QByteArray stat = ReadAll("/proc/" + pid + "/stat");
                const qsizetype end = stat.lastIndexOf(')');
                if (stat.contains("(ffmpeg)") && end > 0 && stat.mid(end + 4).split(' ').value(0).toLongLong() == parent)
                    return pid;
            }
            return QString();
        };
        QString encoder;
        QTRY_VERIFY_WITH_TIMEOUT(!(encoder = encoderOf(tool.processId())).isEmpty(), 20000);
        QCOMPARE(::kill(pid_t(tool.processId()), SIGKILL), 0);
        QVERIFY(tool.waitForFinished(20000));
        const auto ended = [&] {
            const QByteArray stat = ReadAll("/proc/" + encoder + "/stat");
            return stat.isEmpty() || stat.contains(") Z ");
        };
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 10000);
        const QStringList left = Entries(folder);
        QCOMPARE(left.size(), 1);
        QVERIFY2(left[0].startsWith(".qtmp"), qPrintable(left[0]));
        // Killed, ffmpeg wrote no ending; left to itself it finishes the file on the closed pipe.
        QVERIFY2(Probe(folder + "/" + left[0]).isEmpty(), "ffmpeg went on after the tool was killed");
        const qint64 age = CAtomicFile::kStaleSeconds + 60;
        QFile leftover(folder + "/" + left[0]);
        QVERIFY(leftover.open(QIODevice::ReadWrite));
        QVERIFY(leftover.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime));
        leftover.close();
        QCOMPARE(run(pictures() + QStringList{"--t", "0.5", "--out", folder + "/next.png"}).exitCode, 0);
        QCOMPARE(Entries(folder), QStringList{"next.png"});
    }
#endif

    void badValues_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("jobs 0") << QStringList{"--frames", "3", "--jobs", "0", "--out", file("n.png")};
        QTest::newRow("jobs 65") << QStringList{"--frames", "3", "--jobs", "65", "--out", file("n.png")};
        QTest::newRow("jobs word") << QStringList{"--frames", "3", "--jobs", "all", "--out", file("n.png")};
        QTest::newRow("quality -1") << QStringList{"--t", "0.5", "--quality", "-1", "--out", file("n.jpg")};
        QTest::newRow("quality 101") << QStringList{"--t", "0.5", "--quality", "101", "--out", file("n.jpg")};
        QTest::newRow("fps 0") << QStringList{"--frames", "3", "--fps", "0", "--out", file("n.mp4")};
        QTest::newRow("fps nan") << QStringList{"--frames", "3", "--fps", "nan", "--out", file("n.mp4")};
        QTest::newRow("fps 1001") << QStringList{"--frames", "3", "--fps", "1001", "--out", file("n.mp4")};
        QTest::newRow("GIF above 100 fps") << QStringList{"--frames", "3", "--fps", "101", "--out", file("n.gif")};
        QTest::newRow("fps 1e-300") << QStringList{"--frames", "3", "--fps", "1e-300", "--out", file("n.mp4")};
        QTest::newRow("video of one frame") << QStringList{"--t", "0.5", "--out", file("n.mp4")};
    }
    void badValues()
    {
        QFETCH(QStringList, args);
        const Result r = run(pictures() + args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(!QFile::exists(args.last()));
    }
};

QTEST_GUILESS_MAIN(TestRenderVideo)
#include "tst_render_video.moc"
