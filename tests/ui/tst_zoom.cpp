#include "DataTable.h"
#include "export/CSheet_Morph.h"
#include "HandlePage.h"
#include "TestImages.h"
#include "wizard/CImageScrollWnd.h"
#include "wizard/CZoom.h"

#include <QCursor>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cstring>
#include <memory>

namespace {

const QRgb kRedFill = qRgb(255, 0, 0), kRedLight = qRgb(255, 200, 200), kRedDark = qRgb(128, 0, 0);

// A plain view whose back buffer the test can read.
class BufferView : public CImageScrollWnd
{
public:
    QByteArray Buffer() const
    {
        QByteArray bytes;
        for (int32_t y = 0; y < m_imgBuffer.GetHeight(); ++y)
            bytes.append(reinterpret_cast<const char*>(m_imgBuffer.PixelAddress(0, y)), m_imgBuffer.GetWidth() * 3);
        return bytes;
    }
};

void Attach(CImageScrollWnd& view, CImage* image)
{
    view.m_pImage = image;
    view.UpdateScrollBars();
    view.Redraw(false);
    view.InvalidateAll();
}

void Wheel(QWidget* view, const QPoint& at, int angle, Qt::KeyboardModifiers mods)
{
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, mods, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(view, &event);
}

void CtrlWheel(QWidget* view, const QPoint& at, int angle)
{
    Wheel(view, at, angle, Qt::ControlModifier);
}

} // namespace

class TestZoom : public QObject, public HandlePage
{
    Q_OBJECT

    QWidget m_parent;

    // Where a centred picture of w × h starts in a view at zoom percent z.
    static QPoint CentredOrigin(const CImageScrollWnd& view, int w, int h, int z)
    {
        return QPoint((view.m_rcClient.Width() - w * z / 100) / 2, (view.m_rcClient.Height() - h * z / 100) / 2);
    }

    static QRgb ClientPixel(CImageScrollWnd& view, const QPoint& client)
    {
        return view.grab().toImage().pixel(view.GetClientOrigin() + client);
    }

    static QImage ClientGrab(CImageScrollWnd& view)
    {
        return view.grab(QRect(view.GetClientOrigin(), QSize(view.m_rcClient.Width(), view.m_rcClient.Height())))
            .toImage();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(WriteSizedPictures());
        m_parent.resize(900, 700);
        m_parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_parent));
    }

    void init() { g_nSelHandle = -1; }

    void cleanup()
    {
        m_pDlg.reset();
        QVERIFY(m_messages.boxes.isEmpty());
    }

    // The largest zoom at which the picture fits, within the limits.
    void fitZoom_data()
    {
        Columns<QSize, QSize, int>({"client", "picture", "zoom"});
        QTest::newRow("1080p in an editor") << QSize(326, 415) << QSize(1920, 1080) << 17;
        QTest::newRow("small picture") << QSize(400, 300) << QSize(120, 90) << 334;
        QTest::newRow("limited to 800 %") << QSize(400, 300) << QSize(1, 1) << 800;
        QTest::newRow("at least 1 %") << QSize(10, 10) << QSize(100000, 100000) << 1;
        QTest::newRow("no picture") << QSize(400, 300) << QSize(0, 0) << 100;
        // Whole percents: page 129's box fits the same pictures more closely
        // (tst_preview: 188 × 140, 190 × 95, 190 × 87).
        QTest::newRow("one row too high") << QSize(190, 140) << QSize(190, 141) << 99;
        QTest::newRow("wide") << QSize(190, 140) << QSize(400, 200) << 47;
        QTest::newRow("ratio between percents") << QSize(190, 140) << QSize(1234, 567) << 15;
    }
    void fitZoom()
    {
        QFETCH(QSize, client);
        QFETCH(QSize, picture);
        QFETCH(int, zoom);
        QCOMPARE(CZoom::Fit(client.width(), client.height(), picture.width(), picture.height()), zoom);
    }

    // The keys step through the zoom steps and stop at both ends.
    void zoomKeys()
    {
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        QCOMPARE(view.GetZoom(), 100);
        const struct
        {
            Qt::Key key;
            int zoom;
        } steps[] = {{Qt::Key_Plus, 150}, {Qt::Key_Equal, 200}, {Qt::Key_Minus, 150}, {Qt::Key_0, 100},
                     {Qt::Key_Minus, 67}, {Qt::Key_Minus, 50}, {Qt::Key_Minus, 33},   {Qt::Key_Minus, 25},
                     {Qt::Key_Minus, 25}, {Qt::Key_0, 100}};
        for (const auto& s : steps) {
            QTest::keyClick(&view, s.key, Qt::ControlModifier);
            QCOMPARE(view.GetZoom(), s.zoom);
            QCOMPARE(View(false).GetZoom(), s.zoom); // both editors together
        }
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(&View(false), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view.GetZoom(), CZoom::kMax);
        // The picture's rectangle and the squares follow the zoom.
        QCOMPARE(view.GetImageRect().right - view.GetImageRect().left, 120 * 8);
    }

    // 9 × 9 squares at every zoom: drawn and hit at the same screen size, around the pixel's centre.
    void squaresAndHitTest_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPoint>("centre"); // where pixel (30, 20)'s square is centred, from the picture's origin
        QTest::newRow("50 %") << 50 << QPoint(15, 10);
        QTest::newRow("100 %") << 100 << QPoint(30, 20);
        QTest::newRow("200 %") << 200 << QPoint(61, 41);
    }
    void squaresAndHitTest()
    {
        QFETCH(int, zoom);
        QFETCH(QPoint, centre);
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        view.SetZoom(zoom, view.ClientCentre());
        SetPairs({Pair(30, 20), Pair(90, 70)}, 0);
        const QPoint c = CentredOrigin(view, 120, 90, zoom) + centre;
        QCOMPARE(view.GetImageRect().left, CentredOrigin(view, 120, 90, zoom).x());
        QCOMPARE(ClientPixel(view, c), kRedFill);
        QCOMPARE(ClientPixel(view, c + QPoint(-4, -4)), kRedLight);
        QCOMPARE(ClientPixel(view, c + QPoint(4, 4)), kRedDark);
        QVERIFY(ClientPixel(view, c + QPoint(5, 0)) != kRedDark);
        QVERIFY(ClientPixel(view, c + QPoint(0, -5)) != kRedLight);
        for (const QPoint d : {QPoint(0, 0), QPoint(-4, -4), QPoint(4, 4), QPoint(4, -4)})
            QCOMPARE(view.HitTestHandle(c + d), 0);
        for (const QPoint d : {QPoint(5, 0), QPoint(-5, 0), QPoint(0, 5), QPoint(0, -5)})
            QCOMPARE(view.HitTestHandle(c + d), -1);
    }

    // A click adds the pair on the picture pixel under it; a drag moves by screen distance / zoom.
    void addAndDrag_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPoint>("click"); // client offset from the picture's origin
        QTest::addColumn<CPoint>("added");
        QTest::addColumn<QPoint>("move"); // screen pixels
        QTest::addColumn<CPoint>("dropped");
        QTest::newRow("50 %") << 50 << QPoint(20, 15) << CPoint(40, 30) << QPoint(10, -5) << CPoint(60, 20);
        QTest::newRow("200 %") << 200 << QPoint(81, 61) << CPoint(40, 30) << QPoint(10, -6) << CPoint(45, 27);
        QTest::newRow("200 %, off the picture") << 200 << QPoint(81, 61) << CPoint(40, 30) << QPoint(-200, 0)
                                                 << CPoint(-60, 30);
    }
    void addAndDrag()
    {
        QFETCH(int, zoom);
        QFETCH(QPoint, click);
        QFETCH(CPoint, added);
        QFETCH(QPoint, move);
        QFETCH(CPoint, dropped);
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(false);
        view.SetZoom(zoom, view.ClientCentre());
        const QPoint at = view.GetClientOrigin() + CentredOrigin(view, 120, 90, zoom) + click;
        QTest::mouseClick(&view, Qt::LeftButton, {}, at);
        QCOMPARE(Doc().m_aHandles.GetSize(), 1);
        QCOMPARE(Doc().m_aHandles[0].m_ptTarget, added);
        QTest::mousePress(&view, Qt::LeftButton, {}, at);
        QCOMPARE(QWidget::mouseGrabber(), &view);
        QTest::mouseMove(&view, at + move / 2);
        QTest::mouseMove(&view, at + move);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, at + move);
        QCOMPARE(Doc().m_aHandles[0].m_ptTarget, dropped);
        QCOMPARE(Doc().m_aHandles[0].m_ptSource, added);
    }

    // Nearest pixels above 100 %, averaged ones below.
    void scaling()
    {
        auto image = TestImages::Pattern(120, 90);
        BufferView view;
        QVERIFY(view.Create(QRect(0, 0, 500, 400), &m_parent));
        Attach(view, image.get());
        view.SetZoom(300, view.ClientCentre());
        const QPoint o = CentredOrigin(view, 120, 90, 300);
        for (const QPoint p : {QPoint(0, 0), QPoint(7, 3), QPoint(119, 89)})
            for (int d = 0; d < 3; ++d)
                QCOMPARE(ClientPixel(view, o + 3 * p + QPoint(d, 2 - d)), TestImages::PatternRgb(p.x(), p.y()));
        view.SetZoom(50, view.ClientCentre());
        const QPoint h = CentredOrigin(view, 120, 90, 50);
        for (const QPoint p : {QPoint(0, 0), QPoint(10, 4), QPoint(59, 44)}) {
            const QRgb got = ClientPixel(view, h + p);
            for (int ch = 0; ch < 3; ++ch) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const QRgb src = TestImages::PatternRgb(2 * p.x() + dx, 2 * p.y() + dy);
                        sum += ch == 0 ? qRed(src) : ch == 1 ? qGreen(src) : qBlue(src);
                    }
                const int value = ch == 0 ? qRed(got) : ch == 1 ? qGreen(got) : qBlue(got);
                QVERIFY2(qAbs(value - sum / 4) <= 1, qPrintable(QStringLiteral("channel %1").arg(ch)));
            }
        }
    }

    // Back at 100 % the back buffer holds exactly the bytes of a view that never zoomed.
    void ctrl0RestoresExactDrawing_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("centred") << QSize(120, 90);
        QTest::newRow("scrolled") << QSize(1000, 900);
    }
    void ctrl0RestoresExactDrawing()
    {
        QFETCH(QSize, size);
        auto image = TestImages::Pattern(size.width(), size.height());
        BufferView view, reference;
        QVERIFY(view.Create(QRect(0, 0, 500, 400), &m_parent));
        QVERIFY(reference.Create(QRect(0, 0, 500, 400), &m_parent));
        Attach(view, image.get());
        Attach(reference, image.get());
        view.GetScrollBar(Qt::Horizontal)->setValue(300);
        view.GetScrollBar(Qt::Vertical)->setValue(200);
        const QByteArray before = view.Buffer();
        for (const auto command : {CCommandKeys::ZoomIn, CCommandKeys::ZoomOut, CCommandKeys::ZoomOut})
            view.ZoomCommand(command, view.ClientCentre());
        QVERIFY(view.Buffer() != before);
        view.ZoomCommand(CCommandKeys::ZoomActual, view.ClientCentre());
        QCOMPARE(view.GetZoom(), 100);
        reference.GetScrollBar(Qt::Horizontal)->setValue(view.GetScrollBar(Qt::Horizontal)->value());
        reference.GetScrollBar(Qt::Vertical)->setValue(view.GetScrollBar(Qt::Vertical)->value());
        reference.Redraw(false);
        QVERIFY(view.Buffer() == reference.Buffer());
        QCOMPARE(view.GetScrollBar(Qt::Horizontal)->maximum(), qMax(0, size.width() - view.m_rcClient.Width()));
        if (size.width() == 120)
            QVERIFY(view.Buffer() == before);
    }

    // Fitting shows the whole picture; nothing is left to scroll.
    void fit_data()
    {
        QTest::addColumn<QString>("size");
        QTest::newRow("larger than the view") << "large";
        QTest::newRow("smaller than the view") << "small";
    }
    void fit()
    {
        QFETCH(QString, size);
        QVERIFY(Open(size));
        CMorphHandleWnd& view = View(true);
        const int w = size == "large" ? 1000 : 120, h = size == "large" ? 900 : 90;
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_9, Qt::ControlModifier); // focus anywhere on the page
        const int cw = view.m_rcClient.Width(), ch = view.m_rcClient.Height();
        const int expected = view.GetZoom();
        QVERIFY(size == "large" ? expected < 100 : expected > 100);
        QCOMPARE(View(false).GetZoom(), expected);
        const CRect rc = view.GetImageRect();
        QVERIFY(rc.left >= 0 && rc.top >= 0 && rc.right <= cw && rc.bottom <= ch);
        // One percent more would not fit any more.
        const int z = view.GetZoom() + 1;
        QVERIFY(w * z / 100 > cw || h * z / 100 > ch || z > CZoom::kMax);
        QCOMPARE(view.GetScrollBar(Qt::Horizontal)->maximum(), 0);
        QCOMPARE(view.GetScrollBar(Qt::Vertical)->maximum(), 0);
        QVERIFY(!view.GetScrollBar(Qt::Horizontal)->isEnabled());
    }

    // The picture point under the mouse stays there; the scroll ranges follow the zoomed size.
    void wheelKeepsPointUnderMouse()
    {
        QVERIFY(Open("large"));
        CMorphHandleWnd& view = View(true);
        const QPoint anchor(view.m_rcClient.Width() / 3, view.m_rcClient.Height() / 4);
        view.GetScrollBar(Qt::Horizontal)->setValue(200);
        view.GetScrollBar(Qt::Vertical)->setValue(100);
        const QPoint picture = anchor + QPoint(200, 100);
        CtrlWheel(&view, view.GetClientOrigin() + anchor, 120);
        QCOMPARE(view.GetZoom(), 150);
        CtrlWheel(&view, view.GetClientOrigin() + anchor, 60); // half a notch: nothing yet
        QCOMPARE(view.GetZoom(), 150);
        CtrlWheel(&view, view.GetClientOrigin() + anchor, 60);
        QCOMPARE(view.GetZoom(), 200);
        QCOMPARE(View(false).GetZoom(), 200);
        QCOMPARE(view.GetScrollBar(Qt::Horizontal)->maximum(), 2000 - view.m_rcClient.Width());
        QCOMPARE(view.GetScrollBar(Qt::Vertical)->maximum(), 1800 - view.m_rcClient.Height());
        const CRect rc = view.GetImageRect();
        QCOMPARE(view.Zoom().ClientToPicture(anchor.x(), rc.left), picture.x());
        QCOMPARE(view.Zoom().ClientToPicture(anchor.y(), rc.top), picture.y());
        QCOMPARE(ClientPixel(view, anchor), TestImages::PatternRgb(picture.x(), picture.y()));
        CtrlWheel(&view, view.GetClientOrigin() + anchor, -240);
        QCOMPARE(view.GetZoom(), 100);
        QCOMPARE(view.GetScrollBar(Qt::Horizontal)->value(), 200);
        QCOMPARE(view.GetScrollBar(Qt::Vertical)->value(), 100);
        // Without Ctrl the wheel still scrolls.
        Wheel(&view, view.GetClientOrigin() + anchor, -120, Qt::NoModifier);
        QCOMPARE(view.GetZoom(), 100);
        QCOMPARE(view.GetScrollBar(Qt::Vertical)->value(), 100 + CImageScrollWnd::kLineStep);
    }

    // A zoom key zooms both views about the mouse when it is over one of them.
    void keysZoomAboutMouse()
    {
        QVERIFY(Open("large"));
        CMorphHandleWnd& view = View(false);
        const QPoint anchor(view.m_rcClient.Width() / 3, view.m_rcClient.Height() / 4);
        QCursor::setPos(view.mapToGlobal(view.GetClientOrigin() + anchor));
        QTest::keyClick(m_pDlg->GetButton(IDC_BACK), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view.GetZoom(), 150);
        QCOMPARE(View(true).GetZoom(), 150);
        for (CMorphHandleWnd* v : {&view, &View(true)})
            QCOMPARE(QPoint(int(v->Zoom().ClientToPicture(anchor.x(), v->GetImageRect().left)),
                            int(v->Zoom().ClientToPicture(anchor.y(), v->GetImageRect().top))),
                     anchor);
    }

    // The zoom shows in a corner only while it is not 100 %.
    void zoomLabel()
    {
        QVERIFY(Open("small"));
        CMorphHandleWnd& view = View(true);
        const auto cornerHasInk = [&] {
            const QImage img = ClientGrab(view);
            for (int y = img.height() - 20; y < img.height(); ++y)
                for (int x = 0; x < 40; ++x)
                    if (qGray(img.pixel(x, y)) < 128)
                        return true;
            return false;
        };
        QVERIFY(!cornerHasInk());
        QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(cornerHasInk());
        QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
        QVERIFY(!cornerHasInk());
    }

    // The preview of page 131 zooms alike and keeps its zoom while the slider moves.
    void previewZoom()
    {
        QVERIFY(Open("large"));
        m_pDlg->ShowPage(IDD_SHEET_MORPH);
        auto* page = static_cast<CSheet_Morph*>(m_pDlg->GetCurSheet());
        CImageScrollWnd& view = page->m_wndPreview;
        QCOMPARE(view.GetZoom(), 100);
        QTest::keyClick(&page->m_ctlSlider, Qt::Key_9, Qt::ControlModifier);
        const int fit = view.GetZoom();
        QVERIFY(fit < 100);
        page->m_ctlSlider.setValue(1000);
        QCOMPARE(view.GetZoom(), fit);
        QCOMPARE(View(true).GetZoom(), 100); // the editors keep their own
        const CRect rc = view.GetImageRect();
        QVERIFY(rc.left >= 0 && rc.top >= 0 && rc.right <= view.m_rcClient.Width()
                && rc.bottom <= view.m_rcClient.Height());
    }
};

QTEST_MAIN(TestZoom)
#include "tst_zoom.moc"
