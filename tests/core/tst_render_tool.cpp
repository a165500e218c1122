#include "DataTable.h"
#include "FolderTest.h"
#include "HandMadeFiles.h"
#include "platform/CImage.h"
#include "RenderedFrame.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

struct Result
{
    int exitCode;
    QString out;
    QString err;
    qint64 nMilliseconds = 0;
};

// Limits for the tool's process: a file-size cap stands in for a nearly full
// disk, an address-space cap for a machine with little memory. 0 = none.
struct Limits
{
    quint64 nFileSize = 0;
    quint64 nAddressSpace = 0;
};

// Address-space limits cannot be combined with the sanitizers' shadow memory.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceLimitsWork = false;
#else
constexpr bool kAddressSpaceLimitsWork = true;
#endif

} // namespace

class TestRenderTool : public FolderTest
{
    Q_OBJECT

    Result run(const QStringList& args, const QByteArray& input = QByteArray(), Limits limits = {}) const
    {
        QProcess process;
#if defined(Q_OS_UNIX)
        process.setChildProcessModifier([limits] {
            // Past the file-size limit write() fails with EFBIG instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            if (limits.nFileSize) {
                const rlimit l{rlim_t(limits.nFileSize), rlim_t(limits.nFileSize)};
                setrlimit(RLIMIT_FSIZE, &l);
            }
            if (limits.nAddressSpace) {
                const rlimit l{rlim_t(limits.nAddressSpace), rlim_t(limits.nAddressSpace)};
                setrlimit(RLIMIT_AS, &l);
            }
        });
#endif
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(QUILLAREND_RENDER_PATH), args);
        if (!input.isNull()) {
            process.write(input);
            process.closeWriteChannel();
        }
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            process.kill();
            process.waitForFinished();
            return {-1, QString(), QStringLiteral("did not finish"), timer.elapsed()};
        }
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()), timer.elapsed()};
    }

    QString bomb() const
    {
        const QString path = file("bomb30000.png");
        if (!QFile::exists(path)) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.write(HandMade::PngBomb(30000));
        }
        return path;
    }

    void writeText(const QString& name, const QByteArray& text) const
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    static std::unique_ptr<CImage> load(const QString& path)
    {
        auto image = std::make_unique<CImage>();
        return image->Load(path) == 0 ? std::move(image) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(file("a640.png"), 640, 480));
        QVERIFY(TestImages::WritePattern(file("b640.png"), 640, 480));
        QVERIFY(TestImages::WritePattern(file("a.png"), 48, 36));
        QImage other(48, 36, QImage::Format_RGB32);
        for (int y = 0; y < 36; ++y)
            for (int x = 0; x < 48; ++x)
                other.setPixel(x, y, qRgb(255 - x * 5, y * 7, (x * y) & 0xFF));
        QVERIFY(other.save(file("b.png")));
        QVERIFY(other.save(file("b.jpg")));
        QVERIFY(TestImages::WritePattern(file("c.png"), 48, 37));
    }

    void meshOfWorkedExample()
    {
        const QString mesh = QStringLiteral("vertex 0 639 479 639 479\n"
                                       "vertex 1 639 0 639 0\n"
                                       "vertex 2 0 479 0 479\n"
                                       "vertex 3 0 0 0 0\n"
                                       "edge 0 1 479\n"
                                       "edge 2 3 479\n"
                                       "edge 0 2 639\n"
                                       "edge 1 3 639\n"
                                       "edge 0 3 798.60002504382635\n"
                                       "triangle 0 1 3\n"
                                       "triangle 0 2 3\n");
        // Without --out the mesh is printed and nothing is rendered.
        Result r = run({"--source", file("a640.png"), "--target", file("b640.png"), "--mesh"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, mesh);
        r = run({"--source", file("a640.png"), "--target", file("b640.png"), "--position", "500", "--out",
                 file("mesh.png"), "--mesh"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, mesh + "wrote " + file("mesh.png") + " (640 x 480, t = 0.5)\n");
        QVERIFY(QFile::exists(file("mesh.png")));
    }

    // Pairs are read with any mix of blanks and commas, comments and blank
    // lines skipped, used unclamped and in file order.
    void pairsFile()
    {
        writeText("pairs.txt", "# source x, y, target x, y\n"
                               "\n"
                               "20, 10, 30,25\n"
                               "  -5\t40 ,60 , 2\n");
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--pairs", file("pairs.txt"),
                              "--t", "0.3", "--out", file("pairs.png"), "--mesh"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("vertex 0 20 10 30 25\n")));
        QVERIFY(r.out.contains(QStringLiteral(" -5 40 60 2\n")));
        auto written = load(file("pairs.png"));
        auto expected = RenderedFrame(file("a.png"), file("b.png"), {{{20, 10}, {30, 25}}, {{-5, 40}, {60, 2}}}, 0.3f);
        QVERIFY(written && expected);
        QVERIFY(TestImages::SamePixels(*written, *expected));
    }

    // --project gives pictures, pairs and frame count; options beside it win
    // wherever they stand. Each run is compared file by file with a run
    // without a project (its names start with "ref" instead of "out").
    void project_data()
    {
        Columns<int, QStringList, QStringList, int, QStringList, QString>(
            {"version", "args", "same", "exit", "written", "error"});
        const QStringList plain{"--source", file("a.png"), "--target", file("b.png"), "--pairs", file("p.txt")};
        QTest::newRow("the file alone") << 1 << QStringList{} << plain + QStringList{"--frames", "3"} << 0
                                        << QStringList{"out_00000.png", "out_00001.png", "out_00002.png"} << "";
        QTest::newRow("--frames beside") << 1 << QStringList{"--frames", "2"} << plain + QStringList{"--frames", "2"} << 0
                                         << QStringList{"out_00000.png", "out_00001.png"} << "";
        QTest::newRow("--t beside") << 1 << QStringList{"--t", "0.25"} << plain + QStringList{"--t", "0.25"} << 0
                                    << QStringList{"out.png"} << "";
        QTest::newRow("--pairs beside")
            << 1 << QStringList{"--pairs", file("q.txt"), "--t", "0.5"}
            << QStringList{"--source", file("a.png"), "--target", file("b.png"), "--pairs", file("q.txt"), "--t", "0.5"}
            << 0 << QStringList{"out.png"} << "";
        QTest::newRow("--source before it") << 1 << QStringList{"--source", file("c.png"), "--t", "0.5"} << QStringList{}
                                            << 2 << QStringList{} << "the pictures differ in size: " + file("c.png");
        QTest::newRow("twice") << 1 << QStringList{"--project", file("p.quillarend")} << QStringList{} << 2
                               << QStringList{} << "--project is given twice";
        QTest::newRow("newer version") << 2 << QStringList{} << QStringList{} << 2
                                       << QStringList{} << ":1: format version 2 is newer";
    }
    void project()
    {
        QFETCH(int, version);
        QFETCH(QStringList, args);
        QFETCH(QStringList, same);
        QFETCH(int, exit);
        QFETCH(QStringList, written);
        QFETCH(QString, error);
        QTemporaryDir out;
        writeText("p.txt", "10 10 14 12\n30 20 25 28\n");
        writeText("q.txt", "5 5 9 9\n");
        writeText("p.quillarend", "quillarend-project " + QByteArray::number(version)
                                      + "\nsource a.png\ntarget b.png\nframes 3\npairs 2\n10 10 14 12\n30 20 25 28\n");
        const Result r = run(QStringList{"--project", file("p.quillarend")} + args
                             + QStringList{"--quiet", "--out", out.filePath("out.png")});
        QCOMPARE(r.exitCode, exit);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        QCOMPARE(Entries(out.path()), written);
        if (same.isEmpty())
            return;
        QCOMPARE(run(same + QStringList{"--quiet", "--out", out.filePath("ref.png")}).exitCode, 0);
        for (const QString& name : written)
            QCOMPARE(ReadAll(out.filePath(name)), ReadAll(out.filePath(QString(name).replace("out", "ref"))));
    }

    // Three frames at 0, 0.5 and 1, named as the wizard names them.
    void sequence()
    {
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--frames", "3", "--out",
                              file("seq.png")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!QFile::exists(file("seq.png")));
        QVERIFY(!QFile::exists(file("seq_00003.png")));
        auto f0 = load(file("seq_00000.png"));
        auto f1 = load(file("seq_00001.png"));
        auto f2 = load(file("seq_00002.png"));
        auto a = load(file("a.png"));
        auto b = load(file("b.png"));
        auto middle = RenderedFrame(file("a.png"), file("b.png"), {}, 0.5f);
        QVERIFY(f0 && f1 && f2 && a && b && middle);
        QVERIFY(TestImages::SamePixels(*f0, *a));
        QVERIFY(TestImages::SamePixels(*f1, *middle));
        QVERIFY(TestImages::SamePixels(*f2, *b));
    }

    // Checksums of the sample morph's files as written before the export job
    // existed: any change of a byte in the frames shows here.
    void golden_data()
    {
        Columns<QStringList, QStringList, QByteArray>({"mode", "files", "sha256"});
        QStringList frames;
        for (int i = 0; i < 5; ++i)
            frames << QString::asprintf("g_%05d.png", i);
        QTest::newRow("5 PNG frames") << QStringList{"--frames", "5", "--out", "g.png"} << frames << QByteArray("b96a62c4b317137ba0c2bab0998fc1036fb8070af9dace287e3a006c6c9fb385");
        QTest::newRow("one JPEG at 0.37") << QStringList{"--t", "0.37", "--out", "g.jpg"} << QStringList{"g.jpg"}
                                          << QByteArray("82a572ad7c7d8211de84383c45bd0cf6e0a96350733256c9e49b233fcae71247");
    }
    void golden()
    {
        QFETCH(QStringList, mode);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, sha256);
        QTemporaryDir dir;
        mode.last() = dir.filePath(mode.last());
        const QString samples = QStringLiteral(QUILLAREND_SAMPLES_DIR "/");
        const Result r = run(QStringList{"--source", samples + "source.png", "--target", samples + "target.png",
                                         "--pairs", samples + "pairs.txt", "--quiet"}
                             + mode);
        QCOMPARE(r.exitCode, 0);
        for (QString& name : files)
            name = dir.filePath(name);
        QCOMPARE(Entries(dir.path()).size(), files.size());
        QCOMPARE(FilesChecksum(files), sha256);
    }

    // Curves place frame i of N where --t S puts it, S the curve's float at
    // i / (N − 1); holds add exact copies of the pictures; a range writes
    // those frames of the whole run under the same names, with the same bytes.
    void timing_data()
    {
        Columns<QStringList, int, QStringList>({"options", "frames", "sameAs"}); // sameAs: the --t of each file
        const auto at = [](double (*curve)(double)) {
            QStringList t;
            for (int i = 0; i < 5; ++i)
                t << QString::number(double(float(curve(double(i) / 4))), 'g', 9);
            return t;
        };
        QTest::newRow("in") << QStringList{"--ease", "in"} << 5 << at([](double t) { return t * t; });
        QTest::newRow("out") << QStringList{"--ease", "out"} << 5 << at([](double t) { return t * (2.0 - t); });
        QTest::newRow("in-out") << QStringList{"--ease", "in-out"} << 5
                                << at([](double t) { return t * t * (3.0 - 2.0 * t); });
        QTest::newRow("holds 2 + 5 + 3") << QStringList{"--hold-start", "2", "--hold-end", "3"} << 5
                                         << QStringList{"0", "0", "0", "0.25", "0.5", "0.75", "1", "1", "1", "1"};
    }
    void timing()
    {
        QFETCH(QStringList, options);
        QFETCH(int, frames);
        QFETCH(QStringList, sameAs);
        QTemporaryDir dir;
        const QStringList both{"--source", file("a.png"), "--target", file("b.png"), "--pairs", file("tp.txt")};
        writeText("tp.txt", "20 10 30 25\n");
        QCOMPARE(run(both + options + QStringList{"--frames", QString::number(frames), "--out", dir.filePath("s.png")})
                     .exitCode,
                 0);
        QCOMPARE(Entries(dir.path()).size(), sameAs.size());
        for (int i = 0; i < sameAs.size(); ++i) {
            const QString one = dir.filePath(QStringLiteral("t%1.png").arg(i));
            QCOMPARE(run(both + QStringList{"--t", sameAs[i], "--out", one}).exitCode, 0);
            QVERIFY2(ReadAll(one) == ReadAll(dir.filePath(QString::asprintf("s_%05d.png", i))), qPrintable(sameAs[i]));
        }
    }

    void range()
    {
        QTemporaryDir whole, part;
        const QStringList both{"--source", file("a.png"), "--target", file("b.png"), "--frames", "6", "--out"};
        QCOMPARE(run(both + QStringList{whole.filePath("r.png")}).exitCode, 0);
        const Result r = run(both + QStringList{part.filePath("r.png"), "--range", "2:3"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "wrote 2 frames " + part.filePath("r_00002.png") + " ... " + part.filePath("r_00003.png")
                            + " (48 x 36)\n");
        QCOMPARE(Entries(part.path()), (QStringList{"r_00002.png", "r_00003.png"}));
        for (const char* name : {"r_00002.png", "r_00003.png"})
            QVERIFY(ReadAll(part.filePath(name)) == ReadAll(whole.filePath(name)));
    }

    // An output that is an input (also through a link) is refused before
    // anything is written, naming both; the input stays.
    void outputIsInput_data()
    {
        Columns<QString, QStringList, QString>({"link", "mode", "input"});
        QTest::newRow("--out is --source through a link") << "in-a.png" << QStringList{"--t", "0.5"} << "a.png";
        QTest::newRow("numbered frame is --target")
            << "in_00001.png" << QStringList{"--frames", "3"} << "b.png";
        QTest::newRow("--out is --pairs") << "in-p.png" << QStringList{"--t", "0.5"} << "p.txt";
    }
    void outputIsInput()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, mode);
        QFETCH(QString, input);
        QTemporaryDir dir;
        QVERIFY(QFile::copy(file("a.png"), dir.filePath("a.png")) && QFile::copy(file("b.png"), dir.filePath("b.png")));
        QVERIFY(WriteAll(dir.filePath("p.txt"), "20 10 30 25\n"));
        QVERIFY(QFile::link(dir.filePath(input), dir.filePath(link)));
        const QByteArray before = ReadAll(dir.filePath(input));
        const QString out = dir.filePath(mode[0] == "--t" ? link : "in.png");
        const Result r = run(QStringList{"--source", dir.filePath("a.png"), "--target", dir.filePath("b.png"),
                                         "--pairs", dir.filePath("p.txt"), "--out", out}
                             + mode);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, "quillarend-render: refusing to write " + dir.filePath(link)
                            + ": it is the same file as the input " + dir.filePath(input) + "\n");
        QVERIFY(ReadAll(dir.filePath(input)) == before);
        QCOMPARE(Entries(dir.path()).size(), 4);
    }

    // Thousands of pairs at one position would take hours: refused at once,
    // naming the count of edge pairs, and nothing is written.
    void tooManyCoincidentPairs()
    {
        QByteArray text;
        for (int i = 0; i < 3000; ++i)
            text += "20 10 30 25\n";
        writeText("coincident.txt", text);
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--pairs",
                              file("coincident.txt"), "--t", "0.5", "--out", file("coincident.png")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("cannot build the mesh of 3000 pairs")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QString::number(qulonglong(3000) * 2999 * 2998 / 6)), qPrintable(r.err));
        QVERIFY(!QFile::exists(file("coincident.png")));
    }

    // A pairs file the reader refuses ends the run with exit 2 and the
    // reader's FILE:LINE message; what it refuses is tested with the reader.
    void refusedPairs_data()
    {
        Columns<QString, QStringList, QString>({"pairs", "args", "error"});
        QTest::newRow("malformed line") << file("bad.txt") << QStringList{"--t", "0.5", "--out", file("bad.png")}
                                        << file("bad.txt") + ":3:";
        QTest::newRow("endless line") << "/dev/zero" << QStringList{"--mesh"}
                                      << "quillarend-render: /dev/zero:1: line longer than 4096 bytes\n";
    }
    void refusedPairs()
    {
        QFETCH(QString, pairs);
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        writeText("bad.txt", "1 2 3 4\n# fine\n1 2 3\n");
        const Result r =
            run(QStringList{"--source", file("a.png"), "--target", file("b.png"), "--pairs", pairs} + args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(error), qPrintable(r.err));
        QVERIFY(!QFile::exists(file("bad.png")));
    }

    void mismatchedSizes()
    {
        const Result r = run({"--source", file("a.png"), "--target", file("c.png"), "--t", "0.5", "--out",
                              file("size.png")});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.err, "quillarend-render: the pictures differ in size: " + file("a.png") + " is 48 x 36, "
                            + file("c.png") + " is 48 x 37\n");
    }

    void unwritableOutput_data()
    {
        Columns<QStringList, QString, QString>({"mode", "failedName", "reason"});
        QTest::newRow("one frame") << QStringList{"--t", "0.5"} << "x.png" << "No such file or directory";
        QTest::newRow("sequence") << QStringList{"--frames", "2"} << "x_00000.png" << "No such file or directory";
        QTest::newRow("unknown format") << QStringList{"--t", "0.5"} << "x.nosuchformat"
                                        << "no encoder for .nosuchformat";
        QTest::newRow("ico too small") << QStringList{"--t", "0.5"} << "x.ico"
                                       << "the ico format holds pictures of at most 256 x 256 pixels, not 640 x 480";
    }
    void unwritableOutput()
    {
        QFETCH(QStringList, mode);
        QFETCH(QString, failedName);
        QFETCH(QString, reason);
        const QString dir = reason.startsWith("No such") ? file("missing-dir") : m_dir.path();
        const QString out = dir + (failedName.startsWith("x_") ? "/x.png" : "/" + failedName);
        const Result r =
            run(QStringList{"--source", file("a640.png"), "--target", file("b640.png"), "--out", out} + mode);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("quillarend-render: cannot write " + dir + "/" + failedName + ": " + reason + "\n"),
                 qPrintable(r.err));
        QCOMPARE(r.out, QString());
        QVERIFY(!QFile::exists(dir + "/" + failedName));
    }

#if defined(Q_OS_UNIX)
    // A full standard output is a failure, for the mesh and the summary line.
    void fullStandardOutput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("mesh") << QStringList{"--mesh"};
        QTest::newRow("summary line") << QStringList{"--t", "0.5", "--out", file("full-out.png")};
    }
    void fullStandardOutput()
    {
        QFETCH(QStringList, args);
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(QUILLAREND_RENDER_PATH),
                      QStringList{"--source", file("a.png"), "--target", file("b.png")} + args);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
                 "quillarend-render: cannot write to the standard output: No space left on device\n");
    }

    // A name that is not text in the system's encoding is refused, not
    // turned into another name.
    void nameNotText()
    {
        const QString folder = file("latin1");
        QVERIFY(QDir().mkpath(folder));
        QProcess process;
        process.start("/bin/sh", {"-c", "exec \"$0\" --source \"$1\" --target \"$2\" --t 0.5 --out \"$3/caf$(printf '\\351').png\"",
                                  QStringLiteral(QUILLAREND_RENDER_PATH), file("a.png"), file("b.png"), folder});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("not valid text"));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }
#endif

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        const QStringList both{"--source", file("a.png"), "--target", file("b.png")};
        QTest::newRow("no output") << both + QStringList{"--t", "0.5"};
        QTest::newRow("no position") << both + QStringList{"--out", file("n.png")};
        QTest::newRow("two positions") << both + QStringList{"--t", "0.5", "--frames", "3", "--out", file("n.png")};
        QTest::newRow("one frame") << both + QStringList{"--frames", "1", "--out", file("n.png")};
        QTest::newRow("too many frames") << both + QStringList{"--frames", "100000", "--out", file("n.png")};
        QTest::newRow("position 1001") << both + QStringList{"--position", "1001", "--out", file("n.png")};
        QTest::newRow("t not a number") << both + QStringList{"--t", "half", "--out", file("n.png")};
        QTest::newRow("unknown option") << both + QStringList{"--t", "0.5", "--out", file("n.png"), "--fast"};
        QTest::newRow("value missing") << both + QStringList{"--t", "0.5", "--out"};
        QTest::newRow("one frame as a video") << both + QStringList{"--t", "0.5", "--out", file("n.gif")};
        QTest::newRow("missing picture") << QStringList{"--source", file("none.png"), "--target", file("b.png"),
                                                        "--t", "0.5", "--out", file("n.png")};
        QTest::newRow("missing pairs file") << both + QStringList{"--pairs", file("none.txt"), "--t", "0.5",
                                                                  "--out", file("n.png")};
        const QStringList frames = both + QStringList{"--frames", "5", "--out", file("n.png")};
        QTest::newRow("unknown curve") << frames + QStringList{"--ease", "wobble"};
        QTest::newRow("bezier x past 1") << frames + QStringList{"--color-ease", "bezier:0.1,0.2,1.5,1"};
        QTest::newRow("bezier of three") << frames + QStringList{"--ease", "bezier:0.1,0.2,0.3"};
        QTest::newRow("hold 100000") << frames + QStringList{"--hold-start", "100000"};
        QTest::newRow("negative hold") << frames + QStringList{"--hold-end", "-1"};
        QTest::newRow("range backwards") << frames + QStringList{"--range", "3:2"};
        QTest::newRow("range past the end") << frames + QStringList{"--range", "2:5"};
        QTest::newRow("range of a video") << both + QStringList{"--frames", "5", "--range", "1:2", "--out", file("n.mkv")};
        QTest::newRow("curve of one frame") << both + QStringList{"--t", "0.5", "--ease", "in", "--out", file("n.png")};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const Result r = run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(!QFile::exists(file("n.png")));
    }

    // t outside 0 … 1 is refused like a position outside 0 … 1000; the ends are the pictures.
    void tRange_data()
    {
        Columns<QString, int>({"t", "exitCode"});
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("1") << "1" << 0;
        QTest::newRow("7") << "7" << 2;
        QTest::newRow("-0.1") << "-0.1" << 2;
        QTest::newRow("1.0001") << "1.0001" << 2;
        QTest::newRow("nan") << "nan" << 2;
        QTest::newRow("inf") << "inf" << 2;
    }
    void tRange()
    {
        QFETCH(QString, t);
        QFETCH(int, exitCode);
        const QString out = file("t.png");
        QFile::remove(out);
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--t", t, "--out", out});
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 2) {
            QVERIFY2(r.err.startsWith("quillarend-render: --t needs a number from 0 to 1, not " + t + "\n"),
                     qPrintable(r.err));
            QVERIFY(!QFile::exists(out));
            return;
        }
        auto written = load(out);
        auto end = load(file(t == "0" ? "a.png" : "b.png"));
        QVERIFY(written && end);
        QVERIFY(TestImages::SamePixels(*written, *end));
    }

    void helpAndVersion()
    {
        Result r = run({"--help"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        for (const char* option : {"--source FILE", "--target FILE", "--pairs FILE", "--t T", "--position P",
                                   "--frames N", "--out PATH", "--project FILE", "--ease CURVE", "--color-ease CURVE", "--hold-start N",
                                   "--hold-end N", "--range FIRST:LAST", "--mesh", "--quiet", "--help", "--version"})
            QVERIFY2(r.out.contains(QLatin1String("  ") + QLatin1String(option) + QLatin1Char(' ')), option);
        QVERIFY(r.out.contains("pairs file:\n"));
        QVERIFY(r.out.contains("exit codes:\n  0 "));
        QVERIFY(r.out.contains("\n  1 "));
        QVERIFY(r.out.contains("\n  2 "));
        r = run({"--version"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("quillarend-render " QUILLAREND_VERSION "\n"));
        QCOMPARE(QStringLiteral(QUILLAREND_VERSION), QStringLiteral("1.00"));
    }

    // One summary line on success; --quiet prints nothing. Progress goes to
    // stderr only on a terminal, which a test's pipe is not.
    void summaryLine_data()
    {
        Columns<QStringList, QString>({"mode", "summary"});
        QTest::newRow("one frame") << QStringList{"--position", "250", "--out", file("s.png")}
                                   << "wrote " + file("s.png") + " (48 x 36, t = 0.25)\n";
        QTest::newRow("sequence") << QStringList{"--frames", "3", "--out", file("s.png")}
                                  << "wrote 3 frames " + file("s_00000.png") + " ... " + file("s_00002.png")
                                         + " (48 x 36)\n";
    }
    void summaryLine()
    {
        QFETCH(QStringList, mode);
        QFETCH(QString, summary);
        const QStringList both{"--source", file("a.png"), "--target", file("b.png")};
        Result r = run(both + mode);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, summary);
        r = run(both + mode + QStringList{"--quiet"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QString());
    }

    // Pairs from standard input and pipes are read to their end.
    void pairsFromStreams_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("dash") << "-";
        QTest::newRow("/dev/stdin") << "/dev/stdin";
    }
    void pairsFromStreams()
    {
        QFETCH(QString, name);
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--pairs", name, "--mesh"},
                             QByteArray("# from a pipe\n20 10 30 25\n-5 40 60 2\n"));
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral(" 20 10 30 25\n")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral(" -5 40 60 2\n")));
    }

    // Pictures read from a pipe: read whole, once, or refused with the true
    // reason, without the decoders' warnings about seeking.
    void picturesFromPipes_data()
    {
        Columns<QString, QString, QByteArray, int, QString>({"source", "target", "input", "exitCode", "error"});
        const QByteArray a = ReadAll(file("a.png"));
        QTest::newRow("source") << "/dev/stdin" << file("b.png") << a << 0 << "";
        QTest::newRow("target") << file("b.png") << "/dev/stdin" << a << 0 << "";
        QTest::newRow("text") << "/dev/stdin" << file("b.png") << QByteArray("not a picture\n") << 2
                              << "not a picture in a format this program reads";
        QTest::newRow("one pipe for both") << "/dev/stdin" << "/dev/stdin" << a << 2
                                           << "a pipe can be read only once";
    }
    void picturesFromPipes()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const QString out = file("from-pipe.png");
        QFile::remove(out);
        const Result r = run({"--source", source, "--target", target, "--t", "0", "--out", out}, input);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(error) && !r.err.contains("QIODevice"), qPrintable(r.err));
        if (exitCode == 0) {
            CImage back, expected;
            QCOMPARE(back.Load(out), 0);
            QCOMPARE(expected.Load(source == "/dev/stdin" ? file("a.png") : file("b.png")), 0);
            QVERIFY(TestImages::SamePixels(back, expected));
        }
    }

#if defined(Q_OS_UNIX)
    // A disk that fills while frames are written: exit 1, a message naming
    // the file with the reason (a sequence ends at its first), the old files
    // untouched and no temporary files.
    void fullDisk_data()
    {
        Columns<QString, QString, int>({"size", "extension", "frames"});
        for (const char* ext : {"png", "jpg", "bmp", "tif", "webp", "ppm"}) {
            QTest::newRow(QByteArray("small ") + ext) << "" << ext << 0;
            QTest::newRow(QByteArray("large ") + ext) << "640" << ext << 0;
        }
        QTest::newRow("small sequence") << "" << "png" << 3;
        QTest::newRow("large sequence") << "640" << "jpg" << 3;
    }
    void fullDisk()
    {
        QFETCH(QString, size);
        QFETCH(QString, extension);
        QFETCH(int, frames);
        QTemporaryDir dir;
        const QString out = dir.filePath("keep." + extension);
        const QStringList mode = frames ? QStringList{"--frames", QString::number(frames)} : QStringList{"--t", "0"};
        const QString a = file("a" + size + ".png"), b = file("b" + size + ".png");
        QCOMPARE(run(QStringList{"--source", a, "--target", b, "--out", out} + mode).exitCode, 0);
        const QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QList<QByteArray> old;
        qint64 smallest = std::numeric_limits<qint64>::max();
        for (const QString& name : names) {
            old.append(ReadAll(dir.filePath(name)));
            smallest = std::min<qint64>(smallest, old.last().size());
        }
        // Swapped pictures give other bytes; the limit stops each write halfway.
        const Result r = run(QStringList{"--source", b, "--target", a, "--out", out} + mode, QByteArray(),
                             Limits{quint64(smallest / 2), 0});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith("quillarend-render: cannot write " + dir.filePath(names[0]) + ": File too large\n"),
                 qPrintable(r.err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), names);
        for (qsizetype i = 0; i < names.size(); ++i)
            QVERIFY(ReadAll(dir.filePath(names[i])) == old[i]);
    }

    // Pairs whose mesh cannot be held end with a message and exit 2, not an abort.
    void tooManyPairs()
    {
        if (!kAddressSpaceLimitsWork)
            QSKIP("address-space limits do not work under the sanitizers");
        // All at one point: every candidate edge has length 0 and would be
        // accepted, so the build refuses them from the counts before it starts.
        const QByteArray pairs = QByteArray("320 240 320 240\n").repeated(40000);
        writeText("many.txt", pairs);
        const Result r = run({"--source", file("a640.png"), "--target", file("b640.png"), "--pairs", file("many.txt"),
                              "--t", "0.5", "--out", file("many.png")},
                             QByteArray(), Limits{0, quint64(4) << 30});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(QStringLiteral("quillarend-render: cannot build the mesh of 40000 pairs: ")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(file("many.png")));
    }

    // Decompression bombs are refused from their headers, in seconds.
    void bombs_data()
    {
        Columns<bool, bool, QString>({"bombSource", "bombTarget", "message"});
        QTest::newRow("source") << true << false << "the pictures differ in size";
        QTest::newRow("target") << false << true << "the pictures differ in size";
        QTest::newRow("both") << true << true
                              << QStringLiteral("a 30000 x 30000 picture needs %1 MiB for the morph")
                                     .arg(qint64(30000) * 30000 * CImage::kWorkingSetBytesPerPixel >> 20);
    }
    void bombs()
    {
        QFETCH(bool, bombSource);
        QFETCH(bool, bombTarget);
        QFETCH(QString, message);
        if (!kAddressSpaceLimitsWork)
            QSKIP("address-space limits do not work under the sanitizers");
        const Result r = run({"--source", bombSource ? bomb() : file("a.png"), "--target",
                              bombTarget ? bomb() : file("b.png"), "--t", "0.5", "--out", file("bomb-out.png")},
                             QByteArray(), Limits{0, quint64(8) << 30});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.nMilliseconds < 5000);
        QVERIFY(!QFile::exists(file("bomb-out.png")));
    }
#endif

    // A picture the loader refuses ends the run with exit 2 and the loader's
    // reason; what it refuses is tested with the loader.
    void brokenPicture()
    {
        QImage q(48, 36, QImage::Format_RGB32);
        q.fill(qRgb(1, 2, 3));
        QByteArray bmp;
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        q.save(&buffer, "bmp");
        writeText("broken.bmp", bmp.left(bmp.size() / 2));
        const Result r = run({"--source", file("broken.bmp"), "--target", file("b.png"), "--t", "0.5", "--out",
                              file("broken-out.png")});
        QCOMPARE(r.exitCode, 2);
        // Qt's decoders may print their own words before the tool's line.
        QVERIFY2(r.err.contains("quillarend-render: cannot load " + file("broken.bmp")
                                + ": the file ends before its pixel data"),
                 qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestRenderTool)
#include "tst_render_tool.moc"
