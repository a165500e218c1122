#include "DataTable.h"
#include "TestImages.h"
#include "wizard/CImageScrollWnd.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

#include <limits>
#include <memory>

namespace {

// Counts the redraws the view asks for (scroll handlers call the most derived one).
class CountingView : public CImageScrollWnd
{
public:
    void Redraw(bool bToScreen) override
    {
        ++m_nRedraws;
        CImageScrollWnd::Redraw(bToScreen);
    }
    int m_nRedraws = 0;
};

// Centre of one part of a scroll bar (arrow, page area, thumb) as the bar's style lays it out.
QPoint PartCentre(const QScrollBar* bar, QStyle::SubControl part)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    if (bar->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar).center();
}

void Click(QScrollBar* bar, QStyle::SubControl part)
{
    QTest::mouseClick(bar, Qt::LeftButton, {}, PartCentre(bar, part));
}

} // namespace

class TestScrollView : public QObject
{
    Q_OBJECT

    QWidget m_parent;
    QSize m_frame; // what the edge and the bars take from a view's rectangle

    // A view whose client area is w × h.
    std::unique_ptr<CountingView> MakeView(int w, int h)
    {
        auto view = std::make_unique<CountingView>();
        if (!view->Create(QRect(QPoint(10, 10), QSize(w, h) + m_frame), &m_parent))
            return nullptr;
        return view;
    }

    // Gives the view a picture the way its owners do.
    static void Attach(CImageScrollWnd& view, CImage* image)
    {
        view.m_pImage = image;
        view.UpdateScrollBars();
        view.Redraw(false);
        view.InvalidateAll();
    }

    static QRgb ClientPixel(CImageScrollWnd& view, int x, int y)
    {
        return view.grab().toImage().pixel(view.GetClientOrigin() + QPoint(x, y));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_parent.resize(1200, 1000);
        m_parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_parent));
        CImageScrollWnd probe;
        QVERIFY(probe.Create(QRect(0, 0, 200, 150), &m_parent));
        QCOMPARE(probe.m_rcClient.left, 0);
        QCOMPARE(probe.m_rcClient.top, 0);
        m_frame = QSize(200 - probe.m_rcClient.Width(), 150 - probe.m_rcClient.Height());
        QVERIFY(m_frame.width() > 4 && m_frame.height() > 4);
    }

    void createTwiceOrWithoutParent()
    {
        CImageScrollWnd view;
        QVERIFY(!view.Create(QRect(0, 0, 100, 100), nullptr));
        QVERIFY(view.Create(QRect(0, 0, 100, 100), &m_parent));
        QVERIFY(view.isVisible());
        QVERIFY(!view.Create(QRect(0, 0, 300, 300), &m_parent));
        QCOMPARE(view.geometry(), QRect(0, 0, 100, 100));
    }

    // Placement and bar state for pictures around the 400 × 300 client size.
    void placement_data()
    {
        Columns<int, int, CRect, int, int>({"w", "h", "rect", "hMax", "vMax"});
        QTest::newRow("smaller, centred") << 300 << 200 << CRect(50, 50, 350, 250) << 0 << 0;
        QTest::newRow("odd free space") << 397 << 295 << CRect(1, 2, 398, 297) << 0 << 0;
        QTest::newRow("exactly the client") << 400 << 300 << CRect(0, 0, 400, 300) << 0 << 0;
        QTest::newRow("one pixel larger") << 401 << 301 << CRect(0, 0, 401, 301) << 1 << 1;
        QTest::newRow("wide and low") << 1000 << 100 << CRect(0, 100, 1000, 200) << 600 << 0;
        QTest::newRow("narrow and high") << 10 << 800 << CRect(195, 0, 205, 800) << 0 << 500;
        QTest::newRow("small, both odd") << 7 << 9 << CRect(196, 145, 203, 154) << 0 << 0;
    }
    void placement()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(CRect, rect);
        QFETCH(int, hMax);
        QFETCH(int, vMax);
        auto view = MakeView(400, 300);
        QVERIFY(view);
        QCOMPARE(view->m_rcClient, CRect(0, 0, 400, 300));
        auto image = TestImages::Pattern(w, h);
        Attach(*view, image.get());
        QCOMPARE(view->GetImageRect(), rect);

        QScrollBar* hBar = view->GetScrollBar(Qt::Horizontal);
        QScrollBar* vBar = view->GetScrollBar(Qt::Vertical);
        QCOMPARE(hBar->maximum(), hMax);
        QCOMPARE(vBar->maximum(), vMax);
        QCOMPARE(hBar->pageStep(), 400);
        QCOMPARE(vBar->pageStep(), 300);
        QCOMPARE(hBar->isEnabled(), hMax > 0);
        QCOMPARE(vBar->isEnabled(), vMax > 0);
        QVERIFY(hBar->isVisible() && vBar->isVisible());

        // The screen shows the picture at the rectangle and white around it.
        const QImage shot = view->grab().toImage();
        const QPoint origin = view->GetClientOrigin();
        const QRgb first = qRgb(0, 0, 0); // pattern pixel (0, 0)
        if (rect.left > 0)
            QCOMPARE(shot.pixel(origin + QPoint(rect.left - 1, rect.top)), qRgb(255, 255, 255));
        if (rect.top > 0)
            QCOMPARE(shot.pixel(origin + QPoint(rect.left, rect.top - 1)), qRgb(255, 255, 255));
        QCOMPARE(shot.pixel(origin + QPoint(rect.left, rect.top)), first);
        QCOMPARE(shot.pixel(origin + QPoint(rect.left + 5, rect.top + 3)), qRgb(5 ^ 3, 5 + 15, 35 + 3));
    }

    // Arrow, page and end steps on a 1000 × 800 picture in a 400 × 300 window.
    void steps_data()
    {
        QTest::addColumn<Qt::Orientation>("orientation");
        QTest::addColumn<QList<int>>("parts"); // scroll bar parts clicked in turn; 0 = the End key
        QTest::addColumn<QList<int>>("positions");
        const int addLine = QStyle::SC_ScrollBarAddLine, subLine = QStyle::SC_ScrollBarSubLine;
        const int addPage = QStyle::SC_ScrollBarAddPage, subPage = QStyle::SC_ScrollBarSubPage;
        QTest::newRow("right arrow, page right, end") << Qt::Horizontal << QList<int>{addLine, addPage, 0}
                                                      << QList<int>{16, 416, 600};
        QTest::newRow("left arrow at 0") << Qt::Horizontal << QList<int>{subLine} << QList<int>{0};
        QTest::newRow("page right to the limit") << Qt::Horizontal << QList<int>{addPage, addPage, subPage}
                                                 << QList<int>{400, 600, 200};
        QTest::newRow("down and up arrows") << Qt::Vertical << QList<int>{addLine, addLine, subLine}
                                            << QList<int>{16, 32, 16};
        QTest::newRow("page down to the limit, end") << Qt::Vertical << QList<int>{addPage, addPage, 0, subLine}
                                                     << QList<int>{300, 500, 500, 484};
    }
    void steps()
    {
        QFETCH(Qt::Orientation, orientation);
        QFETCH(QList<int>, parts);
        QFETCH(QList<int>, positions);
        auto view = MakeView(400, 300);
        QVERIFY(view);
        auto image = TestImages::Pattern(1000, 800);
        Attach(*view, image.get());
        QScrollBar* bar = view->GetScrollBar(orientation);
        int previous = 0;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const int before = view->m_nRedraws;
            if (parts[i] == 0)
                QTest::keyClick(bar, Qt::Key_End);
            else
                Click(bar, QStyle::SubControl(parts[i]));
            QCOMPARE(bar->value(), positions[i]);
            // Redrawn once exactly when the position moved, never otherwise.
            QCOMPARE(view->m_nRedraws - before, positions[i] != previous ? 1 : 0);
            previous = positions[i];
            const CRect rc = view->GetImageRect();
            QCOMPARE(orientation == Qt::Horizontal ? rc.left : rc.top, -positions[i]);
            QCOMPARE(orientation == Qt::Horizontal ? rc.top : rc.left, 0);
            QCOMPARE(ClientPixel(*view, 0, 0),
                     orientation == Qt::Horizontal ? qRgb(uint8_t(previous), uint8_t(previous), uint8_t(previous * 7))
                                                   : qRgb(uint8_t(previous), uint8_t(previous * 5), uint8_t(previous)));
        }
    }

    void thumbDragRedrawsAtEveryMove()
    {
        auto view = MakeView(400, 300);
        QVERIFY(view);
        auto image = TestImages::Pattern(1000, 800);
        Attach(*view, image.get());
        QScrollBar* bar = view->GetScrollBar(Qt::Horizontal);
        const QPoint thumb = PartCentre(bar, QStyle::SC_ScrollBarSlider);
        const int before = view->m_nRedraws;
        QTest::mousePress(bar, Qt::LeftButton, {}, thumb);
        QTest::mouseMove(bar, thumb + QPoint(40, 0));
        const int first = bar->value();
        QVERIFY(first > 0);
        QCOMPARE(view->GetImageRect().left, -first);
        QTest::mouseMove(bar, thumb + QPoint(80, 0));
        QVERIFY(bar->value() > first);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb + QPoint(80, 0));
        QCOMPARE(view->m_nRedraws - before, 2);
        QCOMPARE(view->GetImageRect().left, -bar->value());
    }

    void wheelScrollsByLines()
    {
        auto view = MakeView(400, 300);
        QVERIFY(view);
        auto image = TestImages::Pattern(1000, 800);
        Attach(*view, image.get());
        const auto wheel = [&](int delta) {
            const QPointF pos(100, 100);
            QWheelEvent event(pos, view->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(view.get(), &event);
            return view->GetScrollBar(Qt::Vertical)->value();
        };
        QCOMPARE(wheel(-120), 16);
        QCOMPARE(wheel(-360), 64);
        QCOMPARE(wheel(-60), 64);
        QCOMPARE(wheel(-60), 80);
        QCOMPARE(wheel(240), 48);
        QCOMPARE(wheel(-120 * 100), 500);
        QCOMPARE(wheel(std::numeric_limits<int>::max()), 0);
        QCOMPARE(wheel(std::numeric_limits<int>::min()), 500);
    }

    // The positions stay across UpdateScrollBars and are only limited to new ranges.
    void positionsKeptAndLimited()
    {
        auto view = MakeView(400, 300);
        QVERIFY(view);
        auto large = TestImages::Pattern(1000, 800);
        Attach(*view, large.get());
        view->GetScrollBar(Qt::Horizontal)->setValue(200);
        view->GetScrollBar(Qt::Vertical)->setValue(100);
        const int redraws = view->m_nRedraws;
        view->UpdateScrollBars();
        QCOMPARE(view->GetScrollBar(Qt::Horizontal)->value(), 200);
        QCOMPARE(view->GetScrollBar(Qt::Vertical)->value(), 100);

        auto smaller = TestImages::Pattern(500, 350);
        view->m_pImage = smaller.get();
        view->UpdateScrollBars();
        QCOMPARE(view->GetScrollBar(Qt::Horizontal)->value(), 100);
        QCOMPARE(view->GetScrollBar(Qt::Vertical)->value(), 50);
        QCOMPARE(view->m_nRedraws, redraws); // limiting a position is not a scroll
        QCOMPARE(view->GetImageRect(), CRect(-100, -50, 400, 300));

        auto small = TestImages::Pattern(20, 20);
        Attach(*view, small.get());
        QVERIFY(!view->GetScrollBar(Qt::Horizontal)->isEnabled());
        QCOMPARE(view->GetScrollBar(Qt::Horizontal)->value(), 0);
        Attach(*view, large.get());
        QCOMPARE(view->GetScrollBar(Qt::Horizontal)->value(), 0);
        QVERIFY(view->GetScrollBar(Qt::Horizontal)->isEnabled());
    }

    void withoutPicture()
    {
        auto view = MakeView(400, 300);
        QVERIFY(view);
        QCOMPARE(view->GetImageRect(), CRect(0, 0, 0, 0));
        QVERIFY(!view->GetScrollBar(Qt::Horizontal)->isEnabled());
        view->Redraw(true);
        QImage white(400, 300, QImage::Format_RGB32);
        white.fill(Qt::white);
        QCOMPARE(view->grab().toImage().copy(QRect(view->GetClientOrigin(), QSize(400, 300))).convertToFormat(
                     QImage::Format_RGB32),
                 white);

        // A picture taken away leaves the ranges as they were.
        auto image = TestImages::Pattern(1000, 800);
        Attach(*view, image.get());
        view->GetScrollBar(Qt::Vertical)->setValue(70);
        view->m_pImage = nullptr;
        view->UpdateScrollBars();
        QCOMPARE(view->GetScrollBar(Qt::Horizontal)->maximum(), 600);
        QCOMPARE(view->GetScrollBar(Qt::Vertical)->value(), 70);
        QCOMPARE(view->GetImageRect(), CRect(0, 0, 0, 0));
    }
};

QTEST_MAIN(TestScrollView)
#include "tst_scrollview.moc"
