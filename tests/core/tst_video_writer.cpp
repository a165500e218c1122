#include "DataTable.h"
#include "document/CBmpDC.h"
#include "platform/CImage.h"
#include "platform/CVideoWriter.h"
#include "SmallDisk.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include <sys/stat.h>

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

bool HaveFfmpeg()
{
    return !QStandardPaths::findExecutable("ffmpeg").isEmpty() && !QStandardPaths::findExecutable("ffprobe").isEmpty();
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
        Columns<QString, bool>({"path", "video"});
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
        Columns<QString, int, int, int, QString, QString>({"name", "width", "height", "frames", "codec", "pixels"});
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
        if (!HaveFfmpeg())
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
        if (!HaveFfmpeg())
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
        QTest::addColumn<QByteArray>("probe");  // an ffprobe beside it, if any
        QTest::addColumn<QString>("reason");
        QTest::newRow("no ffmpeg") << QByteArray() << QByteArray() << "cannot run";
        QTest::newRow("refuses at once") << QByteArray("echo 'Unknown encoder' >&2; exit 1") << QByteArray()
                                         << "Unknown encoder";
        QTest::newRow("dies after some input") << QByteArray("head -c 100 >/dev/null; exit 3") << QByteArray()
                                               << "exit code 3";
        QTest::newRow("exits 0 without a file") << QByteArray("cat >/dev/null; exit 0") << QByteArray() << "wrote no data";
        QTest::newRow("crashes") << QByteArray("cat >/dev/null; kill -SEGV $$") << QByteArray() << "crashed";
        // The last argument is "file:" and the temporary name.
        const QByteArray writes = "for a; do out=$a; done; cat >\"${out#file:}\"; ";
        QTest::newRow("writes, then fails") << writes + "echo 'disk full' >&2; exit 1" << QByteArray() << "disk full";
        QTest::newRow("exits 0 after an error")
            << writes + "echo 'Error writing trailer: No space left on device' >&2; exit 0" << QByteArray()
            << "ffmpeg failed: Error writing trailer: No space left on device";
        QTest::newRow("frames missing") << writes + "exit 0" << QByteArray("echo 28") << "the file holds 28 of 40 frames";
    }
    void failures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QByteArray, probe);
        QFETCH(QString, reason);
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString folder = m_dir.filePath("fail-" + tag);
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(probe.isEmpty() || QDir().mkpath(m_dir.filePath("bin-" + tag)));
        const QString program = script.isEmpty()   ? m_dir.filePath("no-such-ffmpeg")
                                : probe.isEmpty()  ? FakeFfmpeg("ffmpeg-" + tag, script)
                                                   : FakeFfmpeg("bin-" + tag + "/ffmpeg", script);
        QVERIFY(!program.isEmpty());
        QVERIFY(probe.isEmpty() || !FakeFfmpeg("bin-" + tag + "/ffprobe", probe).isEmpty());
        const QString path = folder + "/out.mp4";
        CVideoWriter writer;
        writer.SetProgram(program);
        QVERIFY(!WriteVideo(writer, path, 64, 48, 40));
        QVERIFY2(writer.ErrorString().startsWith("cannot write " + path + ": "), qPrintable(writer.ErrorString()));
        QVERIFY2(writer.ErrorString().contains(reason), qPrintable(writer.ErrorString()));
        QCOMPARE(Entries(folder), QStringList());
    }

    // A disk filling up while a video replaces a good one: a failure, and the
    // good file stays whole.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("mp4") << "full.mp4";
        QTest::newRow("mkv") << "full.mkv";
    }
    void fullDisk()
    {
        QFETCH(QString, name);
        if (!HaveFfmpeg())
            QSKIP("ffmpeg and ffprobe are not installed");
        SmallDisk disk(2 << 20);
        if (!disk.IsMounted())
            QSKIP("cannot mount a small file system here (needs root)");
        const QString path = disk.Path() + "/" + name;
        CVideoWriter writer;
        QVERIFY2(WriteVideo(writer, path, 64, 48, 10), qPrintable(writer.ErrorString()));
        const QByteArray good = ReadAll(path);
        QVERIFY(disk.LeaveFree(good.size() / 2));
        QVERIFY(!WriteVideo(writer, path, 320, 240, 40));
        QVERIFY2(writer.ErrorString().contains("No space left on device"), qPrintable(writer.ErrorString()));
        QCOMPARE(ReadAll(path), good);
        QCOMPARE(Entries(disk.Path()), (QStringList{"filler", name}));
    }

    // The video writer replaces as pictures are replaced: through a link to a
    // read-only file (the link and the mode stay), and under the longest names.
    void replacesLikePictures_data()
    {
        Columns<QString, bool>({"name", "link"});
        QTest::newRow("link to a read-only file") << "link.mp4" << true;
        QTest::newRow("255-byte name") << QString(251, QLatin1Char('v')) + ".mkv" << false;
    }
    void replacesLikePictures()
    {
        QFETCH(QString, name);
        QFETCH(bool, link);
#if defined(Q_OS_WIN)
        QSKIP("stand-in programs are shell scripts");
#endif
        const QString folder = m_dir.filePath("like-" + QString::fromLatin1(QTest::currentDataTag()).left(8));
        QVERIFY(QDir().mkpath(folder));
        const QString real = folder + (link ? "/real.mp4" : "/" + name);
        QFile old(real);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(!link || QFile::link("real.mp4", folder + "/" + name));
        CVideoWriter writer;
        writer.SetProgram(FakeFfmpeg("ffmpeg-writes", "for a; do out=$a; done; cat >\"${out#file:}\"; exit 0"));
        QVERIFY2(WriteVideo(writer, folder + "/" + name, 8, 8, 2), qPrintable(writer.ErrorString()));
        QCOMPARE(ReadAll(real).size(), 2 * 8 * 8 * 3);
        QCOMPARE(QFileInfo(folder + "/" + name).isSymLink(), link);
        struct stat after{};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &after), 0);
        QCOMPARE(after.st_mode & 0777, 0444u);
        QCOMPARE(Entries(folder).size(), link ? 2 : 1);
    }

    // Colours reach players that follow the stream's tags: BT.709 for HD,
    // BT.601 below, converted by the same matrix.
    void colourTags_data()
    {
        Columns<int, int, QString, QString>({"width", "height", "space", "matrix"});
        QTest::newRow("HD") << 1280 << 720 << "bt709" << "bt709";
        QTest::newRow("SD") << 640 << 480 << "smpte170m" << "bt601";
    }
    void colourTags()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, space);
        QFETCH(QString, matrix);
        if (!HaveFfmpeg())
            QSKIP("ffmpeg and ffprobe are not installed");
        const QString path = m_dir.filePath(QStringLiteral("colour%1.mp4").arg(height));
        CImage frame;
        QVERIFY(frame.Create(width, height));
        CBmpDC(frame).FillSolidRect(0, 0, width, height, RGB(200, 30, 30));
        CVideoWriter writer;
        QVERIFY(writer.Open(path, width, height, 25, 2) && writer.WriteFrame(frame) && writer.WriteFrame(frame));
        QVERIFY2(writer.Finish(), qPrintable(writer.ErrorString()));
        QCOMPARE(Probe(path, "color_space"), "color_space=" + space);
        QProcess decode;
        decode.start("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-frames:v", "1", "-vf",
                                "scale=in_color_matrix=" + matrix + ",format=rgb24", "-f", "rawvideo", "pipe:1"});
        QVERIFY(decode.waitForFinished(60000));
        const QByteArray rgb = decode.readAllStandardOutput().left(3);
        QCOMPARE(rgb.size(), 3);
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::abs(uchar(rgb[c]) - (c ? 30 : 200)) <= 6, qPrintable(QString::number(uchar(rgb[c]))));
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
        Columns<QString, int, int, QString>({"name", "frameWidth", "frames", "reason"});
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
