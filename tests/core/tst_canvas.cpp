#include "DataTable.h"
#include "document/CBmpDC.h"
#include "engine/CMorphCanvas.h"
#include "engine/CSpanKernel.h"
#include "TestImages.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

using TestImages::Solid;

// Prepares canvas for w × h with every row's span empty: left past the
// right edge, right before the left one.
bool PrepareEmpty(CMorphCanvas& canvas, int32_t w, int32_t h)
{
    if (!canvas.Prepare(w, h))
        return false;
    for (auto& line : canvas.m_aLineInfo) {
        line.m_nLeft = w;
        line.m_nRight = -1;
    }
    return true;
}

void SetPixel(CImage& img, int32_t x, int32_t y, uint8_t v)
{
    uint8_t* p = img.PixelAddress(x, y);
    p[0] = p[1] = p[2] = v;
}

// The rasterizer written plainly, one step after the other over every row and
// point, as a second opinion on the clipped and row-limited one.
class PlainRasterizer
{
public:
    struct Line
    {
        int32_t left;
        double lx, lu, lv;
        int32_t right;
        double rx, ru, rv;
    };
    PlainRasterizer(CImage& canvas) : m_canvas(canvas), m_rows(size_t(canvas.GetHeight())) {}

    void Scan(int32_t xA, int32_t yA, int32_t xB, int32_t yB, int32_t uA, int32_t vA, int32_t uB, int32_t vB)
    {
        const int64_t n = std::llabs(int64_t(yB) - yA);
        const int64_t step = yA <= yB ? 1 : -1;
        for (int64_t i = 0; i <= n; ++i) {
            const int64_t y = yA + i * step;
            const double s = n == 0 ? 0.0 : double(i) / double(n);
            const double X = xA == xB ? double(xA) : xA * (1 - s) + xB * s;
            const double U = uA * (1 - s) + uB * s, V = vA * (1 - s) + vB * s;
            if (y < 0 || y >= m_canvas.GetHeight())
                continue;
            Line& l = m_rows[size_t(y)];
            const int32_t xi = int32_t(X);
            if (xi < l.left)
                l = Line{xi, X, U, V, l.right, l.rx, l.ru, l.rv};
            if (xi > l.right)
                l = Line{l.left, l.lx, l.lu, l.lv, xi, X, U, V};
        }
    }

    void Fill(const CPoint t[3], const CPoint d[3], const CImage& tex)
    {
        for (Line& l : m_rows) {
            l.left = m_canvas.GetWidth();
            l.right = -1;
        }
        Scan(d[0].x, d[0].y, d[1].x, d[1].y, t[0].x, t[0].y, t[1].x, t[1].y);
        Scan(d[1].x, d[1].y, d[2].x, d[2].y, t[1].x, t[1].y, t[2].x, t[2].y);
        Scan(d[2].x, d[2].y, d[0].x, d[0].y, t[2].x, t[2].y, t[0].x, t[0].y);
        for (int32_t y = 0; y < m_canvas.GetHeight(); ++y) {
            const Line& l = m_rows[size_t(y)];
            for (int32_t x = l.left; x <= l.right; ++x) {
                if (x < 0 || x >= m_canvas.GetWidth())
                    continue;
                const double s = l.lx == l.rx ? 0.0 : (x - l.lx) / (l.rx - l.lx);
                const double U = l.lu * (1 - s) + l.ru * s, V = l.lv * (1 - s) + l.rv * s;
                if (U <= -1 || V <= -1 || U >= tex.GetWidth() || V >= tex.GetHeight())
                    continue;
                const int32_t ix = int32_t(U), iy = int32_t(V);
                const bool hasRight = ix + 1 < tex.GetWidth(), hasDown = iy + 1 < tex.GetHeight();
                const uint8_t* p00 = tex.PixelAddress(ix, iy);
                const uint8_t* p10 = hasRight ? tex.PixelAddress(ix + 1, iy) : p00;
                const uint8_t* p01 = hasDown ? tex.PixelAddress(ix, iy + 1) : p00;
                const uint8_t* p11 = hasRight && hasDown ? tex.PixelAddress(ix + 1, iy + 1) : p00;
                const double fx = U - ix, fy = V - iy;
                for (int c = 0; c < 3; ++c) {
                    const int top = int(double(p10[c] - p00[c]) * fx + p00[c]) & 0xFF;
                    const int bottom = int(double(p11[c] - p01[c]) * fx + p01[c]) & 0xFF;
                    m_canvas.PixelAddress(x, y)[c] = uint8_t(int(double(bottom - top) * fy + top) & 0xFF);
                }
            }
        }
    }

private:
    CImage& m_canvas;
    std::vector<Line> m_rows;
};

} // namespace

class TestCanvas : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void prepareSizesTheRowTable()
    {
        CMorphCanvas canvas;
        QVERIFY(canvas.IsNull());
        QVERIFY(canvas.Prepare(7, 5));
        QCOMPARE(canvas.GetWidth(), 7);
        QCOMPARE(canvas.GetHeight(), 5);
        QCOMPARE(canvas.m_aLineInfo.size(), size_t(5));
        QCOMPARE(canvas.m_aLineInfo[4].m_nLeft, 0);
        QCOMPARE(canvas.m_aLineInfo[4].m_dRightV, 0.0);
        QVERIFY(canvas.Prepare(3, 9));
        QCOMPARE(canvas.m_aLineInfo.size(), size_t(9));
    }

    // A failed Prepare leaves no picture and the old row table; drawing then does nothing.
    void failedPrepareDrawsNothing()
    {
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(10, 10));
        QVERIFY(!canvas.Prepare(0, 4));
        QVERIFY(canvas.IsNull());
        QCOMPARE(canvas.m_aLineInfo.size(), size_t(10));
        auto tex = TestImages::Pattern(10, 10);
        const CPoint t[3] = {{0, 0}, {9, 0}, {0, 9}};
        canvas.Clear();
        canvas.FillTriangle(t, t, *tex);
        QVERIFY(canvas.IsNull());
    }

    // A vertical edge keeps its column on every row. Blending xA·(1 − s) + xB·s
    // of 639 and 639 over 479 rows comes out just below 639 on some rows.
    void verticalEdgeKeepsItsColumn()
    {
        bool blendFallsShort = false;
        for (int i = 0; i <= 479; ++i) {
            const double s = double(i) / 479.0;
            blendFallsShort |= int(639.0 * (1 - s) + 639.0 * s) != 639;
        }
        QVERIFY(blendFallsShort);

        CMorphCanvas canvas;
        QVERIFY(PrepareEmpty(canvas, 640, 480));
        canvas.ScanEdge(639, 479, 639, 0, 639, 479, 639, 0);
        for (int y = 0; y < 480; ++y) {
            const auto& line = canvas.m_aLineInfo[size_t(y)];
            QCOMPARE(line.m_nLeft, 639);
            QCOMPARE(line.m_nRight, 639);
            QCOMPARE(line.m_dLeftX, 639.0);
            QCOMPARE(line.m_dLeftV, double(y));
        }
    }

    // Only the first point that reaches a column sets it; a horizontal edge registers its start only.
    void scanEdgeStrictAndHorizontal()
    {
        CMorphCanvas canvas;
        QVERIFY(PrepareEmpty(canvas, 10, 4));
        canvas.ScanEdge(2, 1, 8, 1, 20, 30, 40, 50);
        QCOMPARE(canvas.m_aLineInfo[1].m_nLeft, 2);
        QCOMPARE(canvas.m_aLineInfo[1].m_nRight, 2);
        QCOMPARE(canvas.m_aLineInfo[1].m_dRightU, 20.0);
        // Points 0 and 1 of a steep edge both land in column 3 of different rows;
        // a second edge through the same column of row 2 changes nothing.
        canvas.ScanEdge(3, 2, 3, 3, 1, 1, 1, 1);
        canvas.ScanEdge(3, 2, 9, 2, 7, 7, 7, 7);
        QCOMPARE(canvas.m_aLineInfo[2].m_dLeftU, 1.0);
        QCOMPARE(canvas.m_aLineInfo[2].m_dRightU, 1.0);
    }

    // Spans are inclusive, columns and rows outside the canvas are clipped.
    void coverage_data()
    {
        QTest::addColumn<QList<int>>("dst"); // x0 y0 x1 y1 x2 y2
        QTest::addColumn<QString>("expected"); // rows of a 6 × 4 canvas, '#' drawn
        QTest::newRow("one row") << QList<int>{1, 2, 4, 2, 3, 2} << "......"
                                                                     "......"
                                                                     ".####."
                                                                     "......";
        QTest::newRow("flat diagonal") << QList<int>{0, 0, 3, 3, 1, 1} << "#....."
                                                                           ".#...."
                                                                           "..#..."
                                                                           "...#..";
        QTest::newRow("vertex at last column") << QList<int>{5, 0, 5, 3, 3, 3} << ".....#"
                                                                                   "....##"
                                                                                   "...###"
                                                                                   "...###";
        QTest::newRow("vertex beyond the canvas") << QList<int>{6, 0, 6, 3, 4, 3} << "......"
                                                                                      ".....#"
                                                                                      "....##"
                                                                                      "....##";
        QTest::newRow("wholly outside") << QList<int>{-9, -5, -2, -5, -4, -1} << "......"
                                                                                   "......"
                                                                                   "......"
                                                                                   "......";
        QTest::newRow("rows outside") << QList<int>{2, -3, 2, 6, 2, 1} << "..#..."
                                                                           "..#..."
                                                                           "..#..."
                                                                           "..#...";
    }
    void coverage()
    {
        QFETCH(QList<int>, dst);
        QFETCH(QString, expected);
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(6, 4));
        canvas.Clear();
        auto white = Solid(8, 8, RGB(255, 255, 255));
        const CPoint d[3] = {{dst[0], dst[1]}, {dst[2], dst[3]}, {dst[4], dst[5]}};
        const CPoint t[3] = {{0, 0}, {1, 1}, {2, 2}};
        canvas.FillTriangle(t, d, *white);
        QString drawn;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                drawn += canvas.PixelAddress(x, y)[1] == 255 ? '#' : '.';
        QCOMPARE(drawn, expected);
    }

    // One-row spans from dst (0,0)–(2,0) sample the texture at the texture points
    // t0 at x = 0, halfway at x = 1 and t1 at x = 2. Expected: the three bytes at x = 1.
    void sampling_data()
    {
        QTest::addColumn<QList<int>>("texture"); // 2 × 2: (0,0) (1,0) (0,1) (1,1)
        Columns<QPoint, QPoint, int>({"t0", "t1", "expected"});
        // Truncation, not rounding, both ways.
        QTest::newRow("10 to 11") << QList<int>{10, 11, 0, 0} << QPoint(0, 0) << QPoint(1, 0) << 10;
        QTest::newRow("11 to 10") << QList<int>{11, 10, 0, 0} << QPoint(0, 0) << QPoint(1, 0) << 10;
        QTest::newRow("inner bilinear") << QList<int>{0, 100, 50, 200} << QPoint(0, 0) << QPoint(1, 1) << 87;
        // Last column: top = p00, bottom = trunc(p01 + (p00 − p01)·0.5) = 150, result trunc(100 + 50·0.5).
        QTest::newRow("last column") << QList<int>{7, 100, 9, 200} << QPoint(1, 0) << QPoint(2, 1) << 125;
        // Last row: top = trunc(100 + 100·0.5) = 150, bottom = p00, result trunc(150 − 50·0.5).
        QTest::newRow("last row") << QList<int>{7, 9, 100, 200} << QPoint(0, 1) << QPoint(1, 2) << 125;
        QTest::newRow("bottom-right corner") << QList<int>{7, 9, 11, 123} << QPoint(1, 1) << QPoint(2, 2) << 123;
    }
    void sampling()
    {
        QFETCH(QList<int>, texture);
        QFETCH(QPoint, t0);
        QFETCH(QPoint, t1);
        QFETCH(int, expected);
        CImage tex;
        QVERIFY(tex.Create(2, 2));
        SetPixel(tex, 0, 0, uint8_t(texture[0]));
        SetPixel(tex, 1, 0, uint8_t(texture[1]));
        SetPixel(tex, 0, 1, uint8_t(texture[2]));
        SetPixel(tex, 1, 1, uint8_t(texture[3]));
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(3, 1));
        const CPoint d[3] = {{0, 0}, {2, 0}, {0, 0}};
        const CPoint t[3] = {{t0.x(), t0.y()}, {t1.x(), t1.y()}, {t0.x(), t0.y()}};
        canvas.FillTriangle(t, d, tex);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(int(canvas.PixelAddress(1, 0)[c]), expected);
    }

    // Texture points outside the texture leave the canvas pixel as it was.
    void outsideTextureLeavesPixel()
    {
        auto tex = Solid(2, 2, RGB(70, 60, 50));
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(4, 1));
        CBmpDC(canvas).FillSolidRect(0, 0, 4, 1, RGB(1, 2, 3));
        // U runs −2, −1, 0, 1 along the row: −2 and −1 are outside, 0 and 1 inside.
        const CPoint d[3] = {{0, 0}, {3, 0}, {0, 0}};
        const CPoint t[3] = {{-2, 0}, {1, 0}, {-2, 0}};
        canvas.FillTriangle(t, d, *tex);
        const uint8_t* p = canvas.PixelAddress(0, 0);
        const QList<int> row(p, p + 12);
        QCOMPARE(row, (QList<int>{3, 2, 1, 3, 2, 1, 50, 60, 70, 50, 60, 70}));
    }

    // Left of the exact edge, U is extrapolated into (−1, 0): ix = 0 and fx = −0.25,
    // so top = trunc(0 + 200·(−0.25)) = −50, whose low 8 bits are 206.
    void extrapolationWrapsToLowBits()
    {
        CImage tex;
        QVERIFY(tex.Create(2, 2));
        SetPixel(tex, 1, 0, 200);
        SetPixel(tex, 1, 1, 200);
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(4, 3));
        // Row 1: left end X = 0.5 with U = 0, right end X = 1.5 with U = 0.5.
        const CPoint d[3] = {{0, 0}, {1, 2}, {3, 2}};
        const CPoint t[3] = {{-1, 0}, {1, 0}, {2, 0}};
        canvas.FillTriangle(t, d, tex);
        QCOMPARE(int(canvas.PixelAddress(0, 1)[0]), 206);
        QCOMPARE(int(canvas.PixelAddress(1, 1)[0]), 50); // s = 0.5: U = 0.25, trunc(200·0.25)
    }

    // The later triangle wins on the pixels both reach.
    void laterTriangleOverwrites()
    {
        auto red = Solid(4, 4, RGB(255, 0, 0));
        auto blue = Solid(4, 4, RGB(0, 0, 255));
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(4, 4));
        const CPoint upper[3] = {{0, 0}, {3, 0}, {0, 3}};
        const CPoint lower[3] = {{3, 0}, {3, 3}, {0, 3}};
        canvas.FillTriangle(upper, upper, *red);
        canvas.FillTriangle(lower, lower, *blue);
        QCOMPARE(int(canvas.PixelAddress(0, 0)[2]), 255);
        for (int i = 0; i < 4; ++i) // the shared diagonal
            QCOMPARE(int(canvas.PixelAddress(3 - i, i)[0]), 255);
    }

    // Far-away vertices: only the rows and columns of the canvas are visited.
    void hugeCoordinates()
    {
        auto tex = Solid(16, 16, RGB(7, 6, 5));
        CMorphCanvas canvas;
        QVERIFY(canvas.Prepare(16, 16));
        const CPoint d[3] = {{-2000000000, -10}, {2000000000, -10}, {0, 2000000000}};
        const CPoint t[3] = {{0, 0}, {15, 0}, {0, 15}};
        canvas.FillTriangle(t, d, *tex);
        auto expected = Solid(16, 16, RGB(7, 6, 5));
        QVERIFY(TestImages::SamePixels(canvas, *expected));

        canvas.Clear();
        const CPoint d2[3] = {{2147483647, -2147483647 - 1}, {-2147483647 - 1, 2147483647}, {2147483647, 2147483647}};
        canvas.FillTriangle(t, d2, *tex);
        QCOMPARE(int(canvas.PixelAddress(15, 15)[0]), 5);
    }

    // Many random triangles, partly outside the canvas and the texture, drawn one
    // over the other: the same bytes as the plain rasterizer, with every kernel.
    void agreesWithPlainRasterizer_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("scalar") << int(CSpanKernel::EKind::Scalar);
        QTest::newRow("avx2") << int(CSpanKernel::EKind::Avx2);
        QTest::newRow("avx512") << int(CSpanKernel::EKind::Avx512);
    }
    void agreesWithPlainRasterizer()
    {
        QFETCH(int, kind);
        const CSpanKernel* kernel = CSpanKernel::Find(CSpanKernel::EKind(kind));
        if (!kernel)
            QSKIP(qPrintable(QStringLiteral("this processor has no %1 kernel").arg(CSpanKernel::KindName(CSpanKernel::EKind(kind)))));
        auto tex = TestImages::Pattern(20, 15);
        CMorphCanvas canvas;
        canvas.SetKernel(*kernel);
        QVERIFY(canvas.Prepare(23, 17));
        canvas.Clear();
        CImage plain;
        QVERIFY(plain.Create(23, 17));
        PlainRasterizer reference(plain);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> dx(-12, 36), dy(-10, 28), tu(-3, 23), tv(-3, 18);
        for (int k = 0; k < 3000; ++k) {
            CPoint d[3], t[3];
            for (int i = 0; i < 3; ++i) {
                d[i] = CPoint(dx(random), dy(random));
                t[i] = CPoint(tu(random), tv(random));
            }
            canvas.FillTriangle(t, d, *tex);
            reference.Fill(t, d, *tex);
            if (k % 100 == 99)
                QVERIFY2(TestImages::SamePixels(canvas, plain), qPrintable(QString::number(k)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCanvas)
#include "tst_canvas.moc"
