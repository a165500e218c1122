#include "DataTable.h"
#include "HandlePage.h"
#include "TestImages.h"
#include "WindowInput.h"

#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRedFill = qRgb(255, 0, 0), kRedLight = qRgb(255, 200, 200), kRedDark = qRgb(128, 0, 0);
const QRgb kGreenFill = qRgb(0, 255, 0), kGreenLight = qRgb(200, 255, 200), kGreenDark = qRgb(0, 128, 0);

} // namespace

class TestHandleView : public QObject, public HandlePage
{
    Q_OBJECT


    // View coordinates of a picture point, through the view's current picture rectangle.
    static QPoint At(const CMorphHandleWnd& view, int x, int y)
    {
        const CRect rc = view.GetImageRect();
        return view.GetClientOrigin() + QPoint(rc.left + x, rc.top + y);
    }

    static QRgb PixelAt(CMorphHandleWnd& view, int x, int y)
    {
        return view.grab().toImage().pixel(At(view, x, y));
    }

    static bool Dragging(const CMorphHandleWnd& view) { return QWidget::mouseGrabber() == &view; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(WriteSizedPictures());
    }

    void init() { g_nSelHandle = -1; }

    void cleanup()
    {
        m_pDlg.reset();
        QVERIFY(m_messages.boxes.isEmpty());
    }

    // The first click adds pair 0 at the clicked picture point, red in both views.
    void firstClickAddsSelectedPair_data()
    {
        QTest::addColumn<bool>("source");
        QTest::newRow("in the source view") << true;
        QTest::newRow("in the target view") << false;
    }
    void firstClickAddsSelectedPair()
    {
        QFETCH(bool, source);
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(source);
        QTest::mouseClick(&view, Qt::LeftButton, {}, At(view, 30, 20));
        QCOMPARE(DocPairs(), Pairs{Pair(30, 20)});
        QCOMPARE(g_nSelHandle, 0);
        QVERIFY(!Dragging(view));
        for (bool side : {true, false}) {
            CMorphHandleWnd& v = View(side);
            QCOMPARE(PixelAt(v, 30, 20), kRedFill);
            QCOMPARE(PixelAt(v, 26, 16), kRedLight);
            QCOMPARE(PixelAt(v, 34, 24), kRedDark);
            QCOMPARE(PixelAt(v, 35, 20), TestImages::PatternRgb(35, 20)); // the picture next to it
        }
    }

    void squareColours()
    {
        QVERIFY(Open("small"));
        SetPairs({Pair(20, 20, 60, 50), Pair(60, 50, 20, 20)}, 1);
        const struct
        {
            bool source;
            int x, y;
            QRgb colour;
        } checks[] = {
            {true, 20, 20, kGreenFill},  {true, 16, 16, kGreenLight}, {true, 24, 16, kGreenDark},
            {true, 16, 24, kGreenDark},  {true, 23, 16, kGreenLight}, {true, 16, 23, kGreenLight},
            {true, 60, 50, kRedFill},    {true, 56, 46, kRedLight},   {true, 64, 54, kRedDark},
            {false, 60, 50, kGreenFill}, {false, 20, 20, kRedFill},   {false, 24, 24, kRedDark},
        };
        for (const auto& c : checks)
            QCOMPARE(PixelAt(View(c.source), c.x, c.y), c.colour);
        // A stale selection marks nothing.
        SetPairs({Pair(20, 20)}, 5);
        QCOMPARE(PixelAt(View(true), 20, 20), kGreenFill);
    }

    // A press off every square adds the pair on the nearest pixel of the picture.
    void clickInMarginClamps_data()
    {
        QTest::addColumn<QPoint>("click"); // picture coordinates, may lie outside the picture
        QTest::addColumn<CPoint>("added");
        QTest::newRow("left margin") << QPoint(-30, 40) << CPoint(0, 40);
        QTest::newRow("above") << QPoint(50, -1) << CPoint(50, 0);
        QTest::newRow("first pixel") << QPoint(0, 0) << CPoint(0, 0);
        QTest::newRow("last column") << QPoint(119, 10) << CPoint(119, 10);
        QTest::newRow("one past the last column") << QPoint(120, 10) << CPoint(119, 10);
        QTest::newRow("below right") << QPoint(150, 130) << CPoint(119, 89);
        QTest::newRow("top left corner of the margin") << QPoint(-100, -100) << CPoint(0, 0);
    }
    void clickInMarginClamps()
    {
        QFETCH(QPoint, click);
        QFETCH(CPoint, added);
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        QVERIFY(view.GetImageRect().left > 100 && view.GetImageRect().top > 100);
        QTest::mouseClick(&view, Qt::LeftButton, {}, At(view, click.x(), click.y()));
        QCOMPARE(DocPairs(), Pairs{Pair(added.x, added.y)});
        QCOMPARE(PixelAt(View(false), added.x, added.y), kRedFill);
    }

    // Presses on the sunken edge belong to the frame, not to the picture.
    void edgeIsNotClient()
    {
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(1, 1));
        QTest::mouseClick(&view, Qt::LeftButton, {}, view.GetClientOrigin() + QPoint(-1, 50));
        QCOMPARE(DocPairs(), Pairs{});
        QTest::mouseClick(&view, Qt::LeftButton, {}, view.GetClientOrigin());
        QCOMPARE(DocPairs(), Pairs{Pair(0, 0)});
    }

    // The pair with the higher index wins where squares overlap.
    void hitTest_data()
    {
        QTest::addColumn<QPoint>("point"); // picture coordinates
        QTest::addColumn<int>("hit");
        QTest::newRow("centre of the first") << QPoint(10, 10) << 0;
        QTest::newRow("first's top left corner") << QPoint(6, 6) << 0;
        QTest::newRow("overlap") << QPoint(12, 12) << 2;
        QTest::newRow("overlap corner") << QPoint(14, 14) << 2;
        QTest::newRow("third's bottom right corner") << QPoint(19, 19) << 2;
        QTest::newRow("just outside") << QPoint(20, 19) << -1;
        QTest::newRow("just outside the first") << QPoint(5, 10) << -1;
        QTest::newRow("far target point") << QPoint(1000, 1000) << -1;
    }
    void hitTest()
    {
        QFETCH(QPoint, point);
        QFETCH(int, hit);
        QVERIFY(Open("small"));
        SetPairs({Pair(10, 10, 40, 40), Pair(100, 80, 10, 10), Pair(15, 15, 50, 50)}, 0);
        CMorphHandleWnd& view = View(true);
        QCOMPARE(view.HitTestHandle(At(view, point.x(), point.y()) - view.GetClientOrigin()), hit);
    }

    void overlapDrawnOnTopAndSelected()
    {
        QVERIFY(Open("small"));
        SetPairs({Pair(10, 10), Pair(14, 14)}, 0);
        CMorphHandleWnd& view = View(true);
        QCOMPARE(PixelAt(view, 12, 12), kGreenFill); // pair 1 covers the selected pair 0
        QCOMPARE(PixelAt(view, 9, 9), kRedFill);
        QTest::mouseClick(&view, Qt::LeftButton, {}, At(view, 12, 12));
        QCOMPARE(g_nSelHandle, 1);
        QCOMPARE(DocPairs().size(), 2);
        QCOMPARE(PixelAt(View(false), 12, 12), kRedFill);
        QCOMPARE(PixelAt(View(false), 9, 9), kGreenFill);
    }

    // A drag moves this view's half of the selected pair and keeps the grab offset.
    void drag_data()
    {
        QTest::addColumn<bool>("source");
        QTest::addColumn<QPoint>("press"); // picture coordinates
        Columns<QPoint, CPoint>({"to", "dropped"});
        QTest::newRow("source, inside") << true << QPoint(52, 41) << QPoint(72, 61) << CPoint(70, 60);
        QTest::newRow("target, inside") << false << QPoint(46, 36) << QPoint(10, 10) << CPoint(14, 14);
        QTest::newRow("past the left top") << true << QPoint(50, 40) << QPoint(-180, -170) << CPoint(-180, -170);
        QTest::newRow("past the right bottom") << false << QPoint(54, 44) << QPoint(400, 300) << CPoint(396, 296);
    }
    void drag()
    {
        QFETCH(bool, source);
        QFETCH(QPoint, press);
        QFETCH(QPoint, to);
        QFETCH(CPoint, dropped);
        QVERIFY(Open("small"));
        SetPairs({Pair(10, 10), Pair(50, 40), Pair(90, 70)}, 0);
        CMorphHandleWnd& view = View(source);
        QTest::mousePress(&view, Qt::LeftButton, {}, At(view, press.x(), press.y()));
        QVERIFY(Dragging(view));
        QCOMPARE(g_nSelHandle, 1);
        QCOMPARE(PixelAt(View(!source), 50, 40), kRedFill); // selected in both views
        QCOMPARE(PixelAt(View(!source), 10, 10), kGreenFill);
        QTest::mouseMove(&view, At(view, (press.x() + to.x()) / 2, (press.y() + to.y()) / 2));
        QTest::mouseMove(&view, At(view, to.x(), to.y()));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, At(view, to.x(), to.y()));
        QVERIFY(!Dragging(view));

        const CMorphHandle moved = source ? Pair(dropped.x, dropped.y, 50, 40) : Pair(50, 40, dropped.x, dropped.y);
        QCOMPARE(DocPairs(), (Pairs{Pair(10, 10), moved, Pair(90, 70)}));
        // After the release, moves change nothing.
        QTest::mouseMove(&view, At(view, 20, 20));
        QCOMPARE(DocPairs()[1], moved);
        if (dropped.x >= 0 && dropped.x < 120 && dropped.y >= 0 && dropped.y < 90)
            QCOMPARE(PixelAt(view, dropped.x, dropped.y), kRedFill);
        QCOMPARE(PixelAt(View(!source), 50, 40), kRedFill);
    }

    // A right press during a drag puts the point back; nothing is deleted.
    void rightPressCancelsDrag()
    {
        QVERIFY(Open("small"));
        SetPairs({Pair(50, 40), Pair(90, 70)}, 1);
        CMorphHandleWnd& view = View(false);
        QTest::mousePress(&view, Qt::LeftButton, {}, At(view, 50, 40));
        QTest::mouseMove(&view, At(view, 80, 20));
        QCOMPARE(DocPairs()[0], Pair(50, 40, 80, 20));
        QTest::mousePress(&view, Qt::RightButton, {}, At(view, 80, 20));
        QVERIFY(!Dragging(view));
        QCOMPARE(DocPairs(), (Pairs{Pair(50, 40), Pair(90, 70)}));
        QCOMPARE(g_nSelHandle, 0);
        QCOMPARE(PixelAt(view, 50, 40), kRedFill);
        QCOMPARE(PixelAt(view, 80, 20), TestImages::PatternRgb(80, 20));
        QTest::mouseMove(&view, At(view, 60, 60));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, At(view, 60, 60));
        QTest::mouseRelease(&view, Qt::RightButton, {}, At(view, 60, 60));
        QCOMPARE(DocPairs(), (Pairs{Pair(50, 40), Pair(90, 70)}));
    }

    // A right press on a square deletes the pair; the selection keeps its index within the pairs left.
    void deleteKeepsSelectionIndex_data()
    {
        Columns<int, int, int, int>({"count", "selected", "deleted", "after"});
        QTest::newRow("the only pair") << 1 << 0 << 0 << -1;
        QTest::newRow("four, 1 selected, delete 0") << 4 << 1 << 0 << 1;
        QTest::newRow("three, 2 selected, delete 0") << 3 << 2 << 0 << 1;
        QTest::newRow("three, 2 selected, delete 2") << 3 << 2 << 2 << 1;
        QTest::newRow("none selected") << 3 << -1 << 1 << 0;
        QTest::newRow("stale selection") << 3 << 9 << 0 << 1;
    }
    void deleteKeepsSelectionIndex()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, deleted);
        QFETCH(int, after);
        QVERIFY(Open("small"));
        Pairs pairs;
        for (int i = 0; i < count; ++i)
            pairs << Pair(10 + 20 * i, 10, 100 - 20 * i, 80);
        SetPairs(pairs, selected);
        CMorphHandleWnd& view = View(deleted % 2 == 0);
        const CPoint at = deleted % 2 == 0 ? pairs[deleted].m_ptSource : pairs[deleted].m_ptTarget;
        QTest::mouseClick(&view, Qt::RightButton, {}, At(view, at.x + 3, at.y - 4));
        pairs.removeAt(deleted);
        QCOMPARE(DocPairs(), pairs);
        QCOMPARE(g_nSelHandle, after);
        QCOMPARE(PixelAt(View(true), 10 + 20 * deleted, 10), TestImages::PatternRgb(10 + 20 * deleted, 10));
        QCOMPARE(PixelAt(View(false), 100 - 20 * deleted, 80), TestImages::PatternRgb(100 - 20 * deleted, 80));
        if (after >= 0) {
            QCOMPARE(PixelAt(View(true), pairs[after].m_ptSource.x, 10), kRedFill);
            QCOMPARE(PixelAt(View(false), pairs[after].m_ptTarget.x, 80), kRedFill);
        }
    }

    // Right clicks as the window system delivers them: each deletes one pair
    // and its context-menu event ends in the view, so no menu opens and the
    // next click is not swallowed by one.
    void rightClicksOpenNoMenu_data()
    {
        QTest::addColumn<bool>("source");
        QTest::newRow("source view") << true;
        QTest::newRow("target view") << false;
    }
    void rightClicksOpenNoMenu()
    {
        QFETCH(bool, source);
        QVERIFY(Open("small"));
        SetPairs({Pair(10, 10), Pair(40, 30), Pair(70, 50), Pair(100, 70)}, 3);
        CMorphHandleWnd& view = View(source);
        const EventCounter menus(&view, QEvent::ContextMenu);
        const PopupWatch popups;
        for (int i = 3; i >= 0; --i) {
            WindowClick(&view, Qt::RightButton, At(view, 10 + 30 * i, 10 + 20 * i));
            QCOMPARE(Doc().m_aHandles.GetSize(), i);
            QTest::qWait(1); // a popup, had one opened, is seen and closed now
        }
        QCOMPARE(menus.count, 4);
        QCOMPARE(popups.count, 0);
        WindowClick(&view, Qt::LeftButton, At(view, 60, 45));
        QCOMPARE(DocPairs(), Pairs{Pair(60, 45)});
        QCOMPARE(popups.count, 0);
    }

    // A right click during a drag cancels it, and opens no menu either.
    void rightClickCancellingDragOpensNoMenu()
    {
        QVERIFY(Open("small"));
        SetPairs({Pair(50, 40)}, 0);
        CMorphHandleWnd& view = View(true);
        const EventCounter menus(&view, QEvent::ContextMenu);
        const PopupWatch popups;
        QWindow* window = m_pDlg->windowHandle();
        QTest::mousePress(window, Qt::LeftButton, {}, view.mapTo(m_pDlg.get(), At(view, 50, 40)));
        QTest::mouseMove(window, view.mapTo(m_pDlg.get(), At(view, 70, 60)));
        QCOMPARE(DocPairs(), Pairs{Pair(70, 60, 50, 40)});
        QTest::mousePress(window, Qt::RightButton, {}, view.mapTo(m_pDlg.get(), At(view, 70, 60)));
        QTest::qWait(1);
        QCOMPARE(DocPairs(), Pairs{Pair(50, 40)});
        QCOMPARE(menus.count, 1);
        QCOMPARE(popups.count, 0);
        QTest::mouseRelease(window, Qt::RightButton, {}, view.mapTo(m_pDlg.get(), At(view, 70, 60)));
        QTest::mouseRelease(window, Qt::LeftButton, {}, view.mapTo(m_pDlg.get(), At(view, 70, 60)));
        QCOMPARE(DocPairs(), Pairs{Pair(50, 40)});
    }

    void rightPressOffSquaresDoesNothing()
    {
        QVERIFY(Open("small"));
        SetPairs({Pair(50, 40)}, 0);
        QTest::mouseClick(&View(true), Qt::RightButton, {}, At(View(true), 56, 40));
        QTest::mouseDClick(&View(true), Qt::RightButton, {}, At(View(true), 56, 40));
        QTest::mouseRelease(&View(true), Qt::RightButton, {}, At(View(true), 56, 40));
        QCOMPARE(DocPairs(), Pairs{Pair(50, 40)});
        QCOMPARE(g_nSelHandle, 0);
    }

    // The first click of a double click adds a pair, the second starts dragging it.
    void doubleClickAddsThenDrags()
    {
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        const QPoint at = At(view, 40, 30);
        QTest::mouseClick(&view, Qt::LeftButton, {}, at);
        QTest::mouseDClick(&view, Qt::LeftButton, {}, at);
        QCOMPARE(DocPairs(), Pairs{Pair(40, 30)});
        QVERIFY(Dragging(view));
        QTest::mouseMove(&view, At(view, 45, 33));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, At(view, 45, 33));
        QCOMPARE(DocPairs(), Pairs{Pair(45, 33, 40, 30)});
    }

    // Hand over a square, the ADD arrow elsewhere on the picture area, the plain arrow on the edge.
    void cursors()
    {
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        QTest::mouseClick(&view, Qt::LeftButton, {}, At(view, 30, 20));
        QCOMPARE(view.cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(&view, At(view, 40, 20));
        QCOMPARE(view.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(view.cursor().hotSpot(), QPoint(0, 0));
        QCOMPARE(view.cursor().pixmap().size(), QSize(32, 32));
        QCOMPARE(view.cursor().pixmap().toImage().pixel(0, 0), qRgb(0, 0, 0));
        QTest::mouseMove(&view, At(view, 34, 24));
        QCOMPARE(view.cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(&view, At(view, -50, -50)); // white margin
        QCOMPARE(view.cursor().shape(), Qt::BitmapCursor);
        QTest::mouseMove(&view, QPoint(1, 1));
        QCOMPARE(view.cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(view.GetScrollBar(Qt::Vertical)->cursor().shape(), Qt::ArrowCursor);
    }

    // Squares move with the scrolled picture and clicks land on the right picture points.
    void scrolledPicture()
    {
        QVERIFY(Open("large"));
        CMorphHandleWnd& view = View(true);
        QVERIFY(view.GetScrollBar(Qt::Horizontal)->maximum() > 100);
        QVERIFY(view.GetScrollBar(Qt::Vertical)->maximum() > 50);
        SetPairs({Pair(130, 80)}, -1);
        view.GetScrollBar(Qt::Horizontal)->setValue(100);
        view.GetScrollBar(Qt::Vertical)->setValue(50);
        const QPoint client = view.GetClientOrigin();
        QCOMPARE(view.grab().toImage().pixel(client + QPoint(30, 30)), kGreenFill);
        QCOMPARE(view.HitTestHandle(QPoint(34, 34)), 0);
        QCOMPARE(view.HitTestHandle(QPoint(35, 34)), -1);

        QTest::mouseClick(&view, Qt::LeftButton, {}, client + QPoint(200, 150));
        QCOMPARE(DocPairs(), (Pairs{Pair(130, 80), Pair(300, 200)}));
        QCOMPARE(PixelAt(View(false), 300, 200), kRedFill);
        QTest::mousePress(&view, Qt::LeftButton, {}, client + QPoint(28, 31));
        QCOMPARE(g_nSelHandle, 0);
        QTest::mouseMove(&view, client + QPoint(10, 12));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, client + QPoint(10, 12));
        QCOMPARE(DocPairs()[0], Pair(112, 61, 130, 80));
    }

    // Points far out in the 32-bit range are drawn, hit and dragged without overflow.
    void extremeCoordinates()
    {
        QVERIFY(Open("small"));
        const int32_t max = std::numeric_limits<int32_t>::max(), min = std::numeric_limits<int32_t>::min();
        SetPairs({Pair(max, min, min, max), Pair(min, max - 2, max - 1, min + 3), Pair(5, 5)}, 0);
        CMorphHandleWnd& view = View(true);
        QCOMPARE(view.HitTestHandle(At(view, 5, 5) - view.GetClientOrigin()), 2);
        QCOMPARE(view.HitTestHandle(QPoint(0, 0)), -1);
        QTest::mousePress(&view, Qt::LeftButton, {}, At(view, 5, 5));
        QTest::mouseMove(&view, QPoint(-30000, 30000));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(-30000, 30000));
        const CPoint expected(-30000 - view.GetClientOrigin().x() - view.GetImageRect().left,
                              30000 - view.GetClientOrigin().y() - view.GetImageRect().top);
        QCOMPARE(DocPairs()[2].m_ptSource, expected);
        QCOMPARE(PixelAt(View(false), 5, 5), kRedFill);
    }
};

QTEST_MAIN(TestHandleView)
#include "tst_handleview.moc"
