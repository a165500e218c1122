#include "CImage.h"
#include "CVideoWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A frame whose colours change with its number, so no two frames are alike.
bool Fill(CImage& frame, int number)
{
    for (int32_t y = 0; y < frame.GetHeight(); ++y) {
        uint8_t* p = frame.PixelAddress(0, y);
        for (int32_t x = 0; x < frame.GetWidth(); ++x, p += 3) {
            p[0] = uint8_t(x * 4 + number * 20);
            p[1] = uint8_t(y * 4);
            p[2] = uint8_t(number * 37);
        }
    }
    return true;
}

bool WriteVideo(CVideoWriter& writer, const QString& path, int w, int h, int frames, double fps = 25)
{
    CImage frame;
    if (!frame.Create(w, h) || !writer.Open(path, w, h, fps, frames))
        return false;
    for (int i = 0; i < frames; ++i)
        if (!Fill(frame, i) || !writer.WriteFrame(frame))
            return false;
    return writer.Finish();
}

// ffprobe's fields of the first video stream, "key=value" lines.
QString Probe(const QString& path, const QString& entries)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                            "stream=" + entries, "-of", "default=noprint_wrappers=1", path});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return QString();
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestVideoWriter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A stand-in for ffmpeg: a shell script with this body.
    QString FakeFfmpeg(const QString& name, const QByteArray& body)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body + "\n") < 0)
            return QString();
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void videoPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("video");
        QTest::newRow("mp4") << "/a/b.mp4" << true;
        QTest::newRow("MKV") << "/a/b.MKV" << true;
        QTest::newRow("webm") << "b.webm" << true;
        QTest::newRow("gif") << "b.Gif" << true;
        QTest::newRow("png") << "b.png" << false;
        QTest::newRow("dot in folder") << "/a.mp4/b" << false;
        QTest::newRow("no extension") << "mp4" << false;
    }
    void videoPaths()
    {
        QFETCH(QString, path);
        QFETCH(bool, video);
        QCOMPARE(CVideoWriter::IsVideoPath(path), video);
    }

    // Exactly the frames written, in a format common players open; odd sides
    // are made even for 4:2:0 chroma.
    void framesInFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("pixels");
        QTest::newRow("mp4") << "v.mp4" << 64 << 48 << 7 << "h264" << "yuv420p";
        QTest::newRow("mp4 odd size") << "odd.mp4" << 63 << 47 << 5 << "h264" << "yuv420p";
        QTest::newRow("mkv") << "v.mkv" << 64 << 48 << 6 << "h264" << "yuv420p";
        QTest::newRow("webm") << "v.webm" << 64 << 48 << 4 << "vp9" << "yuv420p";
        QTest::newRow("gif") << "v.gif" << 40 << 30 << 9 << "gif" << "bgra";
    }
    void framesInFile()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, frames);
        QFETCH(QString, codec);
        QFETCH(QString, pixels);
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty() || QStandardPaths::findExecutable("ffprobe").isEmpty())
            QSKIP("ffmpeg and ffprobe are not installed");
        const QString path = m_dir.filePath(name);
        CVideoWriter writer;
        QVERIFY2(WriteVideo(writer, path, width, height, frames), qPrintable(writer.ErrorString()));
        const QString probed = Probe(path, "codec_name,pix_fmt,width,height,nb_read_frames");
        QVERIFY2(probed.contains("nb_read_frames=" + QString::number(frames)), qPrintable(probed));
        QVERIFY2(probed.contains("codec_name=" + codec), qPrintable(probed));
        QVERIFY2(probed.contains("pix_fmt=" + pixels), qPrintable(probed));
        QVERIFY(probed.contains(QStringLiteral("width=%1").arg(codec == "gif" ? width : (width + 1) / 2 * 2)));
        QVERIFY(probed.contains(QStringLiteral("height=%1").arg(codec == "gif" ? height : (height + 1) / 2 * 2)));
        QVERIFY(!Entries(m_dir.path()).join(' ').contains(".part"));
    }

    void frameRate()
    {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty() || QStandardPaths::findExecutable("ffprobe").isEmpty())
            QSKIP("ffmpeg and ffprobe are not installed");
        const QString path = m_dir.filePath("rate.mp4");
        CVideoWriter writer;
        QVERIFY2(WriteVideo(writer, path, 32, 32, 3, 12.5), qPrintable(writer.ErrorString()));
        QCOMPARE(Probe(path, "r_frame_rate"), QStringLiteral("r_frame_rate=25/2"));
    }

    // Every failure leaves nothing under the final name and no temporary
    // file, and says why, naming the file.
    void failures_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no program at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("no ffmpeg") << QByteArray() << "cannot run";
        QTest::newRow("refuses at once") << QByteArray("echo 'Unknown encoder' >&2; exit 1") << "Unknown encoder";
        QTest::newRow("dies after some input") << QByteArray("head -c 100 >/dev/null; exit 3") << "exit code 3";
        QTest::newRow("exits 0 without a file") << QByteArray("cat >/dev/null; exit 0") << "wrote no data";
        QTest::newRow("crashes") << QByteArray("cat >/dev/null; kill -SEGV $$") << "crashed";
        // The last argument is "file:" and the temporary name.
        QTest::newRow("writes, then fails")
            << QByteArray("for a; do out=$a; done; cat >\"${out#file:}\"; echo 'disk full' >&2; exit 1")
            << "disk full";
        QTest::newRow("exits 0 after a write error")
            << QByteArray("for a; do out=$a; done; cat >\"${out#file:}\"; "
                          "echo \"Error writing trailer of $out: No space left on device\" >&2; exit 0")
            << "No space left on device";
    }
    void failures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, reason);
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        const QString folder = m_dir.filePath(QStringLiteral("fail-%1").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        const QString program = script.isEmpty() ? m_dir.filePath("no-such-ffmpeg")
                                                 : FakeFfmpeg(QStringLiteral("ffmpeg-%1").arg(QTest::currentDataTag()), script);
        QVERIFY(!program.isEmpty());
        const QString path = folder + "/out.mp4";
        CVideoWriter writer;
        writer.SetProgram(program);
        QVERIFY(!WriteVideo(writer, path, 64, 48, 40));
        QVERIFY2(writer.ErrorString().startsWith("cannot write " + path + ": "), qPrintable(writer.ErrorString()));
        QVERIFY2(writer.ErrorString().contains(reason), qPrintable(writer.ErrorString()));
        QCOMPARE(Entries(folder), QStringList());
    }

    // ffmpeg not on PATH: the error says to install it.
    void notOnPath()
    {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.filePath("empty-bin")));
        CVideoWriter writer;
        const bool opened = writer.Open(m_dir.filePath("np.mp4"), 8, 8, 25, 2);
        qputenv("PATH", path);
        QVERIFY(!opened);
        QVERIFY2(writer.ErrorString().contains("install ffmpeg"), qPrintable(writer.ErrorString()));
        QCOMPARE(writer.ErrorKind(), CVideoWriter::EError::NoProgram);
        QVERIFY(!QFile::exists(m_dir.filePath("np.mp4")));
    }

    // A folder under the final name: ffmpeg succeeds but the rename cannot,
    // and the finished temporary file is removed.
    void renameFails()
    {
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        const QString folder = m_dir.filePath("rename");
        QVERIFY(QDir().mkpath(folder + "/out.mp4/inside"));
        const QString program =
            FakeFfmpeg("ffmpeg-writes", "for a; do out=$a; done; cat >\"${out#file:}\"; exit 0");
        CVideoWriter writer;
        writer.SetProgram(program);
        CImage frame;
        QVERIFY(frame.Create(8, 8));
        // Opening refuses the folder at once ...
        QVERIFY(!writer.Open(folder + "/out.mp4", 8, 8, 25, 1));
        QVERIFY(writer.ErrorString().contains("folder"));
        // ... and a folder that appears while the video is written fails the rename.
        QVERIFY(writer.Open(folder + "/late.mp4", 8, 8, 25, 1));
        QVERIFY(writer.WriteFrame(frame));
        QVERIFY(QDir().mkpath(folder + "/late.mp4/inside"));
        QVERIFY(!writer.Finish());
        QVERIFY2(writer.ErrorString().startsWith("cannot write " + folder + "/late.mp4: "),
                 qPrintable(writer.ErrorString()));
        QCOMPARE(writer.ErrorKind(), CVideoWriter::EError::System);
        QCOMPARE(Entries(folder), (QStringList{"late.mp4", "out.mp4"}));
        QVERIFY(QFileInfo(folder + "/late.mp4").isDir());
    }

    void badUse_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("frameWidth");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("reason");
        QTest::newRow("frame of another size") << "s.mp4" << 9 << 2 << "another size";
        QTest::newRow("more frames than announced") << "m.mp4" << 8 << 3 << "more frames";
        QTest::newRow("not a video name") << "n.png" << 8 << 2 << "no video format";
        QTest::newRow("missing folder") << "none/x.mp4" << 8 << 2 << "does not exist";
    }
    void badUse()
    {
        QFETCH(QString, name);
        QFETCH(int, frameWidth);
        QFETCH(int, frames);
        QFETCH(QString, reason);
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        CVideoWriter writer;
        writer.SetProgram(FakeFfmpeg("ffmpeg-sink", "cat >/dev/null; exit 0"));
        const QString path = m_dir.filePath(name);
        CImage frame;
        QVERIFY(frame.Create(frameWidth, 8));
        bool ok = writer.Open(path, 8, 8, 25, 2);
        for (int i = 0; ok && i < frames; ++i)
            ok = writer.WriteFrame(frame);
        QVERIFY(!ok);
        QVERIFY2(writer.ErrorString().contains(reason), qPrintable(writer.ErrorString()));
        QVERIFY(!QFile::exists(path));
    }

    // A GIF holds every frame in ffmpeg for its palette: past the bound it is refused before ffmpeg starts.
    void gifTooLarge()
    {
        CVideoWriter writer;
        writer.SetProgram(m_dir.filePath("never-run"));
        QVERIFY(!writer.Open(m_dir.filePath("big.gif"), 1920, 1080, 25, 1000));
        QVERIFY2(writer.ErrorString().contains("GIF of 1000 frames"), qPrintable(writer.ErrorString()));
        // The same count as a video is fine up to starting ffmpeg.
        QVERIFY(!writer.Open(m_dir.filePath("big.mp4"), 1920, 1080, 25, 1000));
        QVERIFY2(writer.ErrorString().contains("cannot run"), qPrintable(writer.ErrorString()));
    }

    // Abandoned before Finish: ffmpeg is stopped and nothing stays behind.
    void abandoned()
    {
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        const QString folder = m_dir.filePath("abandoned");
        QVERIFY(QDir().mkpath(folder));
        {
            CVideoWriter writer;
            writer.SetProgram(FakeFfmpeg("ffmpeg-slow",
                                         "for a; do out=$a; done; cat >\"${out#file:}\"; sleep 30; exit 0"));
            CImage frame;
            QVERIFY(frame.Create(8, 8));
            QVERIFY(writer.Open(folder + "/a.gif", 8, 8, 25, 5));
            QVERIFY(writer.WriteFrame(frame));
        }
        QCOMPARE(Entries(folder), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestVideoWriter)
#include "tst_video_writer.moc"
