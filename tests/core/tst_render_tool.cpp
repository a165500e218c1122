#include "CImage.h"
#include "CMorphCore.h"
#include "CMorphData.h"
#include "TestImages.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode;
    QString out;
    QString err;
};

} // namespace

class TestRenderTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }

    Result run(const QStringList& args) const
    {
        QProcess process;
        process.start(QStringLiteral(QUILLAREND_RENDER_PATH), args);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, QString(), QStringLiteral("did not finish")};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
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

    // The frame the engine renders in this process for the same input.
    std::unique_ptr<CImage> renderHere(const QString& source, const QString& target,
                                       const QList<CMorphHandle>& pairs, float t) const
    {
        CMorphData doc;
        if (!doc.LoadSource(file(source)) || !doc.LoadTarget(file(target)))
            return nullptr;
        for (const CMorphHandle& pair : pairs)
            doc.m_aHandles.Add(pair);
        CMorphCore core;
        core.BuildMesh(&doc);
        auto frame = std::make_unique<CImage>();
        if (!frame->Create(doc.m_pSourceImage->GetWidth(), doc.m_pSourceImage->GetHeight()))
            return nullptr;
        core.RenderFrame(*frame, t);
        return frame;
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
        const Result r = run({"--source", file("a640.png"), "--target", file("b640.png"), "--position", "500",
                              "--out", file("mesh.png"), "--mesh"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QStringLiteral("vertex 0 639 479 639 479\n"
                                       "vertex 1 639 0 639 0\n"
                                       "vertex 2 0 479 0 479\n"
                                       "vertex 3 0 0 0 0\n"
                                       "edge 0 1 479\n"
                                       "edge 2 3 479\n"
                                       "edge 0 2 639\n"
                                       "edge 1 3 639\n"
                                       "edge 0 3 798.60002504382635\n"
                                       "triangle 0 1 3\n"
                                       "triangle 0 2 3\n"));
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
        auto expected = renderHere("a.png", "b.png", {{{20, 10}, {30, 25}}, {{-5, 40}, {60, 2}}}, 0.3f);
        QVERIFY(written && expected);
        QVERIFY(TestImages::SamePixels(*written, *expected));
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
        auto middle = renderHere("a.png", "b.png", {}, 0.5f);
        QVERIFY(f0 && f1 && f2 && a && b && middle);
        QVERIFY(TestImages::SamePixels(*f0, *a));
        QVERIFY(TestImages::SamePixels(*f1, *middle));
        QVERIFY(TestImages::SamePixels(*f2, *b));
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

    void malformedPairsLine()
    {
        writeText("bad.txt", "1 2 3 4\n# fine\n1 2 3\n");
        const Result r = run({"--source", file("a.png"), "--target", file("b.png"), "--pairs", file("bad.txt"),
                              "--t", "0.5", "--out", file("bad.png")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(file("bad.txt") + ":3:"), qPrintable(r.err));
        QVERIFY(!QFile::exists(file("bad.png")));
    }

    void mismatchedSizes()
    {
        const Result r = run({"--source", file("a.png"), "--target", file("c.png"), "--t", "0.5", "--out",
                              file("size.png")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains(QStringLiteral("元画像と変更後の画像サイズが異なります。")));
    }

    void unwritableOutput_data()
    {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("failedName");
        QTest::newRow("one frame") << QStringList{"--t", "0.5"} << "x.png";
        QTest::newRow("sequence") << QStringList{"--frames", "2"} << "x_00001.png";
        QTest::newRow("unknown format") << QStringList{"--t", "0.5"} << "x.nosuchformat";
    }
    void unwritableOutput()
    {
        QFETCH(QStringList, mode);
        QFETCH(QString, failedName);
        const QString dir = failedName.endsWith("nosuchformat") ? m_dir.path() : file("missing-dir");
        const QString out = dir + (failedName.startsWith("x_") ? "/x.png" : "/" + failedName);
        const Result r = run(QStringList{"--source", file("a.png"), "--target", file("b.png"), "--out", out} + mode);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("書き出しに失敗しました。")), qPrintable(r.err));
        QVERIFY(r.err.contains(dir + "/" + failedName));
    }

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
        QTest::newRow("missing picture") << QStringList{"--source", file("none.png"), "--target", file("b.png"),
                                                        "--t", "0.5", "--out", file("n.png")};
        QTest::newRow("missing pairs file") << both + QStringList{"--pairs", file("none.txt"), "--t", "0.5",
                                                                  "--out", file("n.png")};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const Result r = run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.err.isEmpty());
        QVERIFY(!QFile::exists(file("n.png")));
    }

    // t is clamped to 0…1: beyond the ends the pictures themselves come out.
    void tIsClamped()
    {
        QCOMPARE(run({"--source", file("a.png"), "--target", file("b.png"), "--t", "7", "--out", file("t7.png")})
                     .exitCode,
                 0);
        auto written = load(file("t7.png"));
        auto b = load(file("b.png"));
        QVERIFY(written && b);
        QVERIFY(TestImages::SamePixels(*written, *b));
    }
};

QTEST_GUILESS_MAIN(TestRenderTool)
#include "tst_render_tool.moc"
