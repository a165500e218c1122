// quillarend-render --suggest and --auto-pairs, run as a user runs them.

#include "DataTable.h"
#include "document/CPairsFile.h"
#include "FolderTest.h"
#include "TestImages.h"
#include "WarpedScene.h"

#include <QProcess>
#include <QTest>

#include <cmath>

class TestRenderAssist : public FolderTest
{
    Q_OBJECT

    WarpedScene::SMap m_map;

    struct SResult
    {
        int nExit;
        QString strOut, strErr;
    };

    static SResult run(const QStringList& args)
    {
        QProcess process;
        process.start(QStringLiteral(QUILLAREND_RENDER_PATH), args);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, QString(), QStringLiteral("did not finish")};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QStringList scene() const
    {
        return {"--source", file("s.png"), "--target", file("t.png"), "--pairs", file("p.txt")};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_map.dAngleDeg = 10, m_map.dScale = 1.15, m_map.dShiftX = 60, m_map.dCentreX = 320, m_map.dCentreY = 240;
        QCOMPARE(WarpedScene::Source(640, 480, 5)->Save(file("s.png")), CImage::kOk);
        QCOMPARE(WarpedScene::Target(640, 480, 5, m_map)->Save(file("t.png")), CImage::kOk);
        const auto flat = TestImages::Painted(640, 480, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 90; });
        QCOMPARE(flat->Save(file("flat.png")), CImage::kOk);
        const CMorphHandleArray given = WarpedScene::GivenPairs(640, 480, 4, m_map);
        QFile pairs(file("p.txt"));
        QVERIFY(pairs.open(QIODevice::WriteOnly));
        for (int32_t i = 0; i < given.GetSize(); ++i)
            pairs.write(QStringLiteral("%1 %2 %3 %4\n").arg(given[i].m_ptSource.x).arg(given[i].m_ptSource.y)
                            .arg(given[i].m_ptTarget.x).arg(given[i].m_ptTarget.y).toUtf8());
    }

    void suggest()
    {
        const SResult r = run(scene() + QStringList{"--suggest", "250,200"});
        QCOMPARE(r.nExit, 0);
        const QStringList xy = r.strOut.trimmed().split(' ');
        QCOMPARE(xy.size(), 2);
        double tx, ty;
        m_map.Forward(250, 200, tx, ty);
        QVERIFY2(std::hypot(xy[0].toDouble() - tx, xy[1].toDouble() - ty) <= 1.5, qPrintable(r.strOut));
        QVERIFY(r.strOut.endsWith('\n'));

        // Declining is an answer too.
        const SResult none = run({"--source", file("flat.png"), "--target", file("flat.png"), "--suggest", "10,10"});
        QCOMPARE(none.nExit, 0);
        QCOMPARE(none.strOut, QStringLiteral("none\n"));
    }

    void autoPairs()
    {
        const SResult r = run(scene() + QStringList{"--auto-pairs", file("found.txt")});
        QCOMPARE(r.nExit, 0);
        QVERIFY2(r.strOut.startsWith("found "), qPrintable(r.strOut));
        const int found = r.strOut.mid(6).section(' ', 0, 0).toInt();
        QVERIFY(found > 0);
        CMorphHandleArray read;
        QString error;
        QVERIFY2(CPairsFile::Load(file("found.txt"), read, error), qPrintable(error));
        QCOMPARE(read.GetSize(), 4 + found); // the given pairs first

        // A file that cannot be written fails, and says so.
        const SResult failed = run(scene() + QStringList{"--auto-pairs", file("missing/found.txt")});
        QCOMPARE(failed.nExit, 1);
        QVERIFY(failed.strErr.contains("cannot write"));
    }

    void badArguments_data()
    {
        Columns<QStringList>({"args"});
        QTest::newRow("one number") << QStringList{"--suggest", "5"};
        QTest::newRow("not numbers") << QStringList{"--suggest", "a,b"};
        QTest::newRow("with a render") << QStringList{"--suggest", "5,5", "--t", "0.5", "--out", "x.png"};
        QTest::newRow("with the mesh") << QStringList{"--auto-pairs", "x.txt", "--mesh"};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const SResult r = run(scene() + args);
        QCOMPARE(r.nExit, 2);
        QVERIFY(!r.strErr.isEmpty());
        QCOMPARE(r.strOut, QString());
    }

    void help()
    {
        const SResult r = run({"--help"});
        QVERIFY(r.strOut.contains("  --suggest X,Y "));
        QVERIFY(r.strOut.contains("  --auto-pairs OUT "));
    }
};

QTEST_GUILESS_MAIN(TestRenderAssist)
#include "tst_render_assist.moc"
