#include "DataTable.h"
#include "wizard/CFramePlacement.h"
#include "WizardFrame.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

// The wizard frame on a 1920 x 1080 screen at 150 % scaling, with window
// frames, wherever it was put before it is shown.
class TestFramePlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameShownInsideScreen_data()
    {
        Columns<QPoint, bool>({"offset", "moved"}); // of the frame from the area's top-left corner
        QTest::newRow("inside") << QPoint(10, 10) << false;
        QTest::newRow("title above the top") << QPoint(40, -9) << true;
        QTest::newRow("off the left") << QPoint(-30, 10) << true;
        QTest::newRow("off the bottom right") << QPoint(5000, 5000) << true;
    }
    void frameShownInsideScreen()
    {
        QFETCH(QPoint, offset);
        QFETCH(bool, moved);
        WizardFrame dlg;
        const QRect area = dlg.screen()->availableGeometry();
        QCOMPARE(dlg.devicePixelRatioF(), 1.5);
        dlg.move(area.topLeft() + offset);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.frameGeometry() != dlg.geometry());
        QTRY_VERIFY2(area.contains(dlg.frameGeometry()),
                     qPrintable(QStringLiteral("frame at %1, %2").arg(dlg.frameGeometry().x()).arg(dlg.frameGeometry().y())));
        if (!moved)
            QCOMPARE(dlg.frameGeometry().topLeft(), area.topLeft() + offset);
    }

    // A frame larger than the area keeps its top-left corner, the title bar, on it.
    void largerThanArea()
    {
        QCOMPARE(CFramePlacement::Inside(QRect(-50, -20, 3000, 2000), QRect(0, 0, 1280, 720)), QPoint(0, 0));
        QCOMPARE(CFramePlacement::Inside(QRect(100, 30, 3000, 500), QRect(0, 24, 1280, 696)), QPoint(0, 30));
    }
};

int main(int argc, char** argv)
{
    // The offscreen platform's screen, set before the application starts.
    QTemporaryDir dir;
    const QString config = dir.filePath("screens.json");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(R"({"windowFrameMargins": true, "screens": [{"name": "wide", "x": 0, "y": 0,
                      "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
               <= 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    qputenv("QT_SCALE_FACTOR", "1.5");
    QApplication app(argc, argv);
    TestFramePlacement test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_frame_placement.moc"
