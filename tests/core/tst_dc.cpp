#include "DataTable.h"
#include "document/CBmpDC.h"
#include "ImagePixels.h"
#include "platform/CImage.h"
#include "TestImages.h"

#include <QTest>

#include <climits>
#include <cstdint>
#include <cstring>

class TestDC : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fillsSetEveryByte_data()
    {
        Columns<uint, uint>({"color", "rgb"});
        QTest::newRow("white") << 0xFFFFFFu << 0xFFFFFFu;
        QTest::newRow("black") << 0u << 0u;
        QTest::newRow("red in the low byte") << uint(RGB(255, 0, 0)) << 0xFF0000u;
        QTest::newRow("mixed") << uint(RGB(1, 2, 3)) << 0x010203u;
    }
    void fillsSetEveryByte()
    {
        QFETCH(uint, color);
        QFETCH(uint, rgb);
        CImage img;
        QVERIFY(img.Create(5, 4));
        FillAll(img, 0x123456);
        {
            CBmpDC dc(img);
            dc.FillSolidRect(0, 0, 5, 4, color);
        }
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(Pixel(img, x, y), rgb);
    }

    void surfaceReopens()
    {
        CImage img;
        QVERIFY(img.Create(3, 3));
        {
            CBmpDC dc(img);
            dc.FillSolidRect(CRect(1, 1, 2, 2), RGB(9, 8, 7));
        }
        QCOMPARE(Pixel(img, 1, 1), 0x090807u);
        QCOMPARE(Pixel(img, 0, 0), 0u);
        {
            CBmpDC dc(img);
            dc.FillSolidRect(0, 0, 1, 1, RGB(1, 1, 1));
        }
        QCOMPARE(Pixel(img, 1, 1), 0x090807u);
        QCOMPARE(Pixel(img, 0, 0), 0x010101u);
    }

    void fillClipsAndNormalises()
    {
        CImage img;
        QVERIFY(img.Create(4, 4));
        CBmpDC dc(img);
        dc.FillSolidRect(3, 3, -2, -2, 0xFFFFFF); // covers (1..2, 1..2)
        dc.FillSolidRect(INT32_MIN, INT32_MIN, INT32_MAX, 1, 0x0000FF); // far away: nothing
        dc.FillSolidRect(-10, 3, 100, 100, RGB(0, 255, 0));
        QCOMPARE(Pixel(img, 0, 0), 0u);
        QCOMPARE(Pixel(img, 1, 1), 0xFFFFFFu);
        QCOMPARE(Pixel(img, 2, 2), 0xFFFFFFu);
        QCOMPARE(Pixel(img, 3, 2), 0u);
        for (int x = 0; x < 4; ++x)
            QCOMPARE(Pixel(img, x, 3), 0x00FF00u);
    }

    // A 4 × 3 source copied to every side of a 5 × 4 destination: only the
    // overlapping part lands, at the right place.
    void copyClipsAtEveryEdge_data()
    {
        Columns<int, int, int, int>({"dx", "dy", "sx", "sy"});
        QTest::newRow("inside") << 1 << 1 << 0 << 0;
        QTest::newRow("left") << -2 << 0 << 0 << 0;
        QTest::newRow("top") << 0 << -2 << 0 << 0;
        QTest::newRow("right") << 3 << 0 << 0 << 0;
        QTest::newRow("bottom") << 0 << 3 << 0 << 0;
        QTest::newRow("source offset negative") << 0 << 0 << -1 << -1;
        QTest::newRow("source offset beyond") << 0 << 0 << 3 << 2;
        QTest::newRow("far away") << INT32_MAX << INT32_MIN << 0 << 0;
        QTest::newRow("source far away") << 0 << 0 << INT32_MIN << INT32_MAX;
    }
    void copyClipsAtEveryEdge()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(int, sx);
        QFETCH(int, sy);
        auto src = TestImages::Pattern(4, 3);
        CImage dst;
        QVERIFY(dst.Create(5, 4));
        FillAll(dst, 0xABCDEF);
        {
            CBmpDC d(dst), s(*src);
            d.BitBlt(dx, dy, 4, 3, s, sx, sy);
        }
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const int64_t srcX = int64_t(x) - dx + sx, srcY = int64_t(y) - dy + sy;
                const bool inBlock = int64_t(x) - dx >= 0 && int64_t(x) - dx < 4 && int64_t(y) - dy >= 0
                    && int64_t(y) - dy < 3;
                const bool inSource = srcX >= 0 && srcX < 4 && srcY >= 0 && srcY < 3;
                const uint32_t want = inBlock && inSource ? Pixel(*src, int(srcX), int(srcY)) : 0xABCDEFu;
                QCOMPARE(Pixel(dst, x, y), want);
            }
    }

    void copyWithinOnePicture()
    {
        auto img = TestImages::Pattern(6, 6);
        auto ref = TestImages::Pattern(6, 6);
        {
            CBmpDC dc(*img);
            dc.BitBlt(1, 2, 5, 4, dc, 0, 0); // overlapping, moving down-right
        }
        for (int y = 2; y < 6; ++y)
            for (int x = 1; x < 6; ++x)
                QCOMPARE(Pixel(*img, x, y), Pixel(*ref, x - 1, y - 2));
    }

    void shrinkAverages()
    {
        // A 4 × 2 picture of black and white columns shrinks to 2 × 1 grey.
        CImage src, dst;
        QVERIFY(src.Create(4, 2));
        QVERIFY(dst.Create(3, 1));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                std::memset(src.PixelAddress(x, y), (x % 2) ? 255 : 0, 3);
        {
            CBmpDC d(dst), s(src);
            d.StretchBltAveraged(CRect(1, 0, 3, 1), s, CRect(0, 0, 4, 2));
        }
        QCOMPARE(Pixel(dst, 0, 0), 0u); // outside the target rectangle
        QCOMPARE(Pixel(dst, 1, 0), 0x808080u);
        QCOMPARE(Pixel(dst, 2, 0), 0x808080u);

        // Three columns onto two: the middle column is shared half and half.
        CImage row, two;
        QVERIFY(row.Create(3, 1));
        QVERIFY(two.Create(2, 1));
        std::memset(row.PixelAddress(0, 0), 0, 3);
        std::memset(row.PixelAddress(1, 0), 90, 3);
        std::memset(row.PixelAddress(2, 0), 240, 3);
        {
            CBmpDC d(two), s(row);
            d.StretchBltAveraged(CRect(0, 0, 2, 1), s, CRect(0, 0, 3, 1));
        }
        QCOMPARE(Pixel(two, 0, 0), 0x1E1E1Eu); // (0 + 45) / 1.5 = 30
        QCOMPARE(Pixel(two, 1, 0), 0xBEBEBEu); // (45 + 240) / 1.5 = 190
    }

    void draw3dRect()
    {
        CImage img;
        QVERIFY(img.Create(5, 5));
        {
            CBmpDC dc(img);
            dc.Draw3dRect(0, 0, 4, 4, RGB(255, 255, 255), RGB(128, 128, 128));
        }
        const char* want[] = {"WWWG.", "W..G.", "W..G.", "GGGG.", "....."};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint32_t p = Pixel(img, x, y);
                const char c = p == 0xFFFFFF ? 'W' : (p == 0x808080 ? 'G' : '.');
                QCOMPARE(c, want[y][x]);
            }
    }
};

QTEST_GUILESS_MAIN(TestDC)
#include "tst_dc.moc"
