#include "DataTable.h"
#include "platform/CExportPath.h"

#include <QTest>

#include <bit>
#include <climits>
#include <cstdint>

class TestExportPath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numberedNames_data()
    {
        Columns<QString, int, QString>({"path", "index", "name"});
        QTest::newRow("first") << "/work/face.png" << 0 << "/work/face_00000.png";
        QTest::newRow("29") << "/work/face.jpg" << 29 << "/work/face_00029.jpg";
        QTest::newRow("last of 99999") << "/w/f.png" << 99998 << "/w/f_99998.png";
        QTest::newRow("dot in folder") << "/a.b/frame" << 3 << "/a.b/frame_00003";
        QTest::newRow("two dots") << "/x/a.b.png" << 1 << "/x/a.b_00001.png";
        QTest::newRow("hidden name") << "/x/.png" << 2 << "/x/_00002.png";
        QTest::newRow("no folder") << "f.png" << 4 << "f_00004.png";
    }
    void numberedNames()
    {
        QFETCH(QString, path);
        QFETCH(int, index);
        QFETCH(QString, name);
        const auto parts = CExportPath::Split(path);
        QVERIFY(parts);
        QCOMPARE(parts->NumberedName(index), name);
    }

    void overlongPartsRefused_data()
    {
        Columns<QString, bool>({"path", "ok"});
        const QString n255(255, QLatin1Char('n')), n256(256, QLatin1Char('n'));
        QTest::newRow("base 255") << "/d/" + n255 + ".png" << true;
        QTest::newRow("base 256") << "/d/" + n256 + ".png" << false;
        QTest::newRow("extension 256") << "/d/f." + QString(255, QLatin1Char('e')) << false;
        QTest::newRow("directory 256") << "/" + QString(254, QLatin1Char('d')) + "/f.png" << false;
        QTest::newRow("directory 255") << "/" + QString(253, QLatin1Char('d')) + "/f.png" << true;
    }
    void overlongPartsRefused()
    {
        QFETCH(QString, path);
        QFETCH(bool, ok);
        QCOMPARE(CExportPath::Split(path).has_value(), ok);
    }
};

QTEST_GUILESS_MAIN(TestExportPath)
#include "tst_export_path.moc"
