#include "DataTable.h"
#include "document/CBmpDC.h"
#include "TestImages.h"
#include "wizard/CImagePreviewWnd.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

#include <climits>
#include <memory>

Q_DECLARE_METATYPE(CRect)

namespace {

// A button face whose three channels differ, so a swapped channel order shows.
const QColor kFace(0x12, 0x34, 0x56);

struct Bgr
{
    uint8_t b, g, r;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

char* toString(const Bgr& c)
{
    return QTest::toString(QStringLiteral("(b %1, g %2, r %3)").arg(c.b).arg(c.g).arg(c.r));
}

Bgr PixelAt(const CImage& image, int32_t x, int32_t y)
{
    const uint8_t* p = image.PixelAddress(x, y);
    return Bgr{p[0], p[1], p[2]};
}

const Bgr kFaceBgr{0x56, 0x34, 0x12};

using TestImages::Solid;

// A preview of the page's size, 192 × 142, in a parent of its own.
struct PagePreview
{
    PagePreview() { wnd.Create(QRect(0, 0, 192, 142), &parent); }
    QWidget parent;
    CImagePreviewWnd wnd;
};

} // namespace

namespace QTest {
template <>
char* toString(const CRect& rc)
{
    return QTest::toString(QStringLiteral("(%1, %2, %3, %4)").arg(rc.left).arg(rc.top).arg(rc.right).arg(rc.bottom));
}
} // namespace QTest

class TestPreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, kFace);
        QApplication::setPalette(palette);
    }

    void fitRect_data()
    {
        Columns<CRect, int, int, CRect>({"box", "w", "h", "expected"});
        const CRect box(0, 0, 190, 140);
        QTest::newRow("small, centred") << box << 100 << 50 << CRect(45, 45, 145, 95);
        QTest::newRow("wide, shrunk") << box << 400 << 200 << CRect(0, 22, 190, 117);
        QTest::newRow("tall, shrunk") << box << 100 << 400 << CRect(77, 0, 112, 140);
        QTest::newRow("one row too high, truncated") << box << 190 << 141 << CRect(1, 0, 189, 140);
        QTest::newRow("very wide, height raised to 1") << box << 10000 << 1 << CRect(0, 69, 190, 70);
        QTest::newRow("very tall, width raised to 1") << box << 1 << 10000 << CRect(94, 0, 95, 140);
        QTest::newRow("exact fit") << box << 190 << 140 << CRect(0, 0, 190, 140);
        QTest::newRow("same ratio, larger") << box << 380 << 280 << CRect(0, 0, 190, 140);
        // 875752 / 645291 differs from 190 / 140 in double but not in single precision.
        QTest::newRow("ratios equal in single precision") << box << 875752 << 645291 << CRect(0, 0, 190, 140);
        QTest::newRow("odd margins round down") << box << 101 << 51 << CRect(44, 44, 145, 95);
        // Closer than a view's fitting zoom, which is 15 % here (185 × 85).
        QTest::newRow("ratio between percents") << box << 1234 << 567 << CRect(0, 26, 190, 113);
        QTest::newRow("box off the origin") << CRect(10, 20, 200, 160) << 100 << 50 << CRect(55, 65, 155, 115);
        QTest::newRow("negative box, division truncates to zero")
            << CRect(-100, -100, -9, -9) << 10 << 10 << CRect(-59, -59, -49, -49);
        QTest::newRow("empty box") << CRect(0, 0, 0, 0) << 100 << 50 << CRect(0, 0, 1, 1);
        QTest::newRow("widest picture") << box << INT_MAX << 1 << CRect(0, 69, 190, 70);
        QTest::newRow("highest picture") << box << 1 << INT_MAX << CRect(94, 0, 95, 140);
        QTest::newRow("whole coordinate range")
            << CRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX) << INT_MAX << INT_MAX
            << CRect(-1073741824, -1073741824, 1073741823, 1073741823);
        QTest::newRow("huge box, wide picture")
            << CRect(INT_MIN, 0, INT_MAX, 2) << INT_MAX << 4 << CRect(-536870912, 0, 536870912, 2);
        // Single-precision ratios would make these pictures 26 rows higher and
        // 42 columns wider than the box.
        QTest::newRow("rounding never leaves the box, height")
            << CRect(0, 0, 1346368935, 1468847808) << 1346368937 << 1468847812
            << CRect(0, 0, 1346368935, 1468847808);
        QTest::newRow("rounding never leaves the box, width")
            << CRect(0, 0, 2027844301, 1198684713) << 2027844303 << 1198684712
            << CRect(0, 0, 2027844301, 1198684713);
    }

    void fitRect()
    {
        QFETCH(CRect, box);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(CRect, expected);
        QCOMPARE(CImagePreviewWnd::CalcFitRect(box, w, h), expected);
    }

    // A 192 × 142 window has a 190 × 140 client area inside its edge.
    void blankAfterCreate()
    {
        QWidget parent;
        CImagePreviewWnd preview;
        QVERIFY(preview.Create(QRect(5, 6, 192, 142), &parent));
        QCOMPARE(preview.parentWidget(), &parent);
        QCOMPARE(preview.geometry(), QRect(5, 6, 192, 142));
        const CImage& buffer = preview.GetBuffer();
        QCOMPARE(buffer.GetWidth(), 190);
        QCOMPARE(buffer.GetHeight(), 140);
        for (int32_t y = 0; y < 140; ++y)
            for (int32_t x = 0; x < 190; ++x)
                if (!(PixelAt(buffer, x, y) == kFaceBgr))
                    QFAIL(qPrintable(QStringLiteral("pixel %1, %2 is not the button face").arg(x).arg(y)));
    }

    void smallPictureAtItsOwnSize()
    {
        PagePreview page;
        CImagePreviewWnd& preview = page.wnd;
        const auto picture = TestImages::Pattern(100, 50);
        preview.SetImage(*picture);
        const CImage& buffer = preview.GetBuffer();
        // The picture's pixels, unscaled, at (45, 45)…(144, 94).
        for (int32_t y = 0; y < 50; ++y)
            for (int32_t x = 0; x < 100; ++x)
                if (!(PixelAt(buffer, 45 + x, 45 + y) == PixelAt(*picture, x, y)))
                    QFAIL(qPrintable(QStringLiteral("picture pixel %1, %2 differs").arg(x).arg(y)));
        // Margins on every side.
        QCOMPARE(PixelAt(buffer, 44, 60), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 145, 60), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 80, 44), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 80, 95), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 0, 0), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 189, 139), kFaceBgr);
    }

    void largePictureShrunk()
    {
        PagePreview page;
        CImagePreviewWnd& preview = page.wnd;
        // Top half red, bottom half blue: the shrunk copy keeps the halves in place.
        auto picture = Solid(400, 200, RGB(255, 0, 0));
        {
            CBmpDC dc(*picture);
            dc.FillSolidRect(0, 100, 400, 100, RGB(0, 0, 255));
        }
        preview.SetImage(*picture);
        picture.reset(); // the preview keeps its own copy
        const CImage& buffer = preview.GetBuffer();
        QCOMPARE(PixelAt(buffer, 0, 22), (Bgr{0, 0, 255}));
        QCOMPARE(PixelAt(buffer, 189, 68), (Bgr{0, 0, 255}));
        QCOMPARE(PixelAt(buffer, 0, 71), (Bgr{255, 0, 0}));
        QCOMPARE(PixelAt(buffer, 189, 116), (Bgr{255, 0, 0}));
        QCOMPARE(PixelAt(buffer, 95, 21), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 95, 117), kFaceBgr);
    }

    void newPictureReplacesTheOld()
    {
        PagePreview page;
        CImagePreviewWnd& preview = page.wnd;
        preview.SetImage(*Solid(190, 140, RGB(1, 2, 3)));
        preview.SetImage(*Solid(10, 10, RGB(200, 100, 50)));
        const CImage& buffer = preview.GetBuffer();
        QCOMPARE(PixelAt(buffer, 0, 0), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 89, 64), kFaceBgr);
        QCOMPARE(PixelAt(buffer, 90, 65), (Bgr{50, 100, 200}));
        QCOMPARE(PixelAt(buffer, 99, 74), (Bgr{50, 100, 200}));
        QCOMPARE(PixelAt(buffer, 100, 75), kFaceBgr);
    }

    // Painting shows the buffer upright inside the edge.
    void paintShowsTheBuffer()
    {
        QWidget parent;
        parent.resize(300, 200);
        CImagePreviewWnd preview;
        preview.Create(QRect(10, 10, 192, 142), &parent);
        preview.SetImage(*TestImages::Pattern(190, 140));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        const QImage shot = preview.grab().toImage();
        QCOMPARE(shot.size(), QSize(192, 142));
        const CImage& buffer = preview.GetBuffer();
        for (int32_t y = 0; y < 140; y += 7)
            for (int32_t x = 0; x < 190; x += 5) {
                const Bgr b = PixelAt(buffer, x, y);
                const QRgb s = shot.pixel(x + 1, y + 1);
                if (qRed(s) != b.r || qGreen(s) != b.g || qBlue(s) != b.b)
                    QFAIL(qPrintable(QStringLiteral("screen pixel %1, %2 differs").arg(x).arg(y)));
            }
    }

    // Without a placeholder the box is created empty; a picture then changes nothing.
    void emptyWindow()
    {
        QWidget parent;
        CImagePreviewWnd preview;
        QVERIFY(preview.Create(QRect(), &parent));
        QVERIFY(preview.GetBuffer().IsNull());
        preview.SetImage(*TestImages::Pattern(20, 10));
        QVERIFY(preview.GetBuffer().IsNull());
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
