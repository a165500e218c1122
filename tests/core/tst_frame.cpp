#include "CMorphCore.h"
#include "CMorphData.h"
#include "CSpanKernel.h"
#include "DataTable.h"
#include "TestImages.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// A w × h picture different from TestImages::Pattern everywhere it matters.
std::unique_ptr<CImage> OtherPattern(int32_t w, int32_t h)
{
    return TestImages::Painted(w, h, [](int32_t x, int32_t y, uint8_t* p) {
        p[0] = uint8_t(200 - x * 3 + y * 11);
        p[1] = uint8_t(x * y + 17);
        p[2] = uint8_t(255 - y * 2);
    });
}

using TestImages::Solid;

std::unique_ptr<CMorphData> MakeDoc(std::unique_ptr<CImage> source, std::unique_ptr<CImage> target)
{
    auto doc = std::make_unique<CMorphData>();
    doc->m_pSourceImage = std::move(source);
    doc->m_pTargetImage = std::move(target);
    return doc;
}

uint8_t Blend(uint8_t canvas, uint8_t out, int a)
{
    return uint8_t((canvas * a + out * (255 - a) + 127) / 255);
}

float Position(int p)
{
    return float(p / 1000.0);
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // t = 0 and t = 1 copy the pictures, even where the mesh leaves pixels uncovered.
    void endsAreExactCopies()
    {
        auto doc = MakeDoc(TestImages::Pattern(40, 30), OtherPattern(40, 30));
        doc->m_aHandles.Add(CMorphHandle{CPoint(20, 15), CPoint(-500, 900)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        CImage out;
        QVERIFY(out.Create(40, 30));
        core.RenderFrame(out, 0.0f);
        QVERIFY(TestImages::SamePixels(out, *doc->m_pSourceImage));
        core.RenderFrame(out, 1.0f);
        QVERIFY(TestImages::SamePixels(out, *doc->m_pTargetImage));
        core.RenderFrame(out, 0.5f);
        QVERIFY(!TestImages::SamePixels(out, *doc->m_pTargetImage));
    }

    // The cross-fade follows the colour position whatever the mesh does (black
    // to white, a moving pair: every covered pixel is α of the colour), and
    // without pairs, where the corners stay, only the colour counts.
    void shapeAndColourApart_data()
    {
        Columns<float, float, int>({"shape", "color", "alpha"});
        QTest::newRow("shape ahead") << 0.75f << 0.25f << 63;
        QTest::newRow("colour ahead") << 0.2f << 0.9f << 229;
        QTest::newRow("source mesh") << 0.0f << 0.5f << 127;
        QTest::newRow("target mesh") << 1.0f << 0.5f << 127;
    }
    void shapeAndColourApart()
    {
        QFETCH(float, shape);
        QFETCH(float, color);
        QFETCH(int, alpha);
        auto fade = MakeDoc(Solid(64, 48, RGB(0, 0, 0)), Solid(64, 48, RGB(255, 255, 255)));
        fade->m_aHandles.Add(CMorphHandle{CPoint(20, 15), CPoint(45, 35)});
        auto corners = MakeDoc(TestImages::Pattern(64, 48), OtherPattern(64, 48));
        CMorphCore moving, fading;
        moving.BuildMesh(fade.get());
        fading.BuildMesh(corners.get());
        CImage a, b;
        QVERIFY(a.Create(64, 48) && b.Create(64, 48));
        moving.RenderFrame(a, shape, color);
        QCOMPARE(int(a.PixelAddress(32, 24)[1]), alpha);
        fading.RenderFrame(a, shape, color);
        fading.RenderFrame(b, color);
        QVERIFY(TestImages::SamePixels(a, b));
    }

    // Black to white without pairs: every pixel of the frame is α itself.
    void alpha_data()
    {
        Columns<float, int>({"t", "alpha"});
        QTest::newRow("position 1") << Position(1) << 0;
        QTest::newRow("position 3") << Position(3) << 0;
        QTest::newRow("position 4") << Position(4) << 1;
        QTest::newRow("position 500") << Position(500) << 127;
        QTest::newRow("position 999") << Position(999) << 254;
        QTest::newRow("just below 1") << std::nextafter(1.0f, 0.0f) << 254;
        QTest::newRow("position 1000") << Position(1000) << 255;
    }
    void alpha()
    {
        QFETCH(float, t);
        QFETCH(int, alpha);
        auto doc = MakeDoc(Solid(64, 48, RGB(0, 0, 0)), Solid(64, 48, RGB(255, 255, 255)));
        CMorphCore core;
        core.BuildMesh(doc.get());
        CImage out;
        QVERIFY(out.Create(64, 48));
        core.RenderFrame(out, t);
        QCOMPARE(int(out.PixelAddress(32, 24)[1]), alpha);
    }

    // Below t = 1/255 the frame is the warped source alone: a target equal to the
    // source gives the same frame. From position 4 on the target shows.
    void smallPositionsShowTheSourceOnly()
    {
        CMorphCore withTarget, sourceTwice;
        auto doc = MakeDoc(TestImages::Pattern(50, 40), OtherPattern(50, 40));
        auto same = MakeDoc(TestImages::Pattern(50, 40), TestImages::Pattern(50, 40));
        for (CMorphData* d : {doc.get(), same.get()}) {
            d->m_aHandles.Add(CMorphHandle{CPoint(20, 15), CPoint(30, 25)});
            d->m_aHandles.Add(CMorphHandle{CPoint(40, 30), CPoint(10, 35)});
        }
        withTarget.BuildMesh(doc.get());
        sourceTwice.BuildMesh(same.get());
        CImage a, b;
        QVERIFY(a.Create(50, 40) && b.Create(50, 40));
        for (int p : {1, 2, 3, 4}) {
            withTarget.RenderFrame(a, Position(p));
            sourceTwice.RenderFrame(b, Position(p));
            QCOMPARE(TestImages::SamePixels(a, b), p < 4);
        }
    }

    // Without pairs, 640 × 480 at position 500 is a plain cross-fade, the right
    // border column included: flat pictures blend to exactly α everywhere, and
    // patterned ones come within the truncation of the sampling (a step in
    // each direction of the texture).
    void noPairsIsCrossFade()
    {
        CMorphCore core;
        CImage out;
        QVERIFY(out.Create(640, 480));
        auto flat = MakeDoc(Solid(640, 480, RGB(0, 0, 0)), Solid(640, 480, RGB(255, 255, 255)));
        core.BuildMesh(flat.get());
        core.RenderFrame(out, Position(500));
        QVERIFY(TestImages::SamePixels(out, *Solid(640, 480, RGB(127, 127, 127))));

        auto doc = MakeDoc(TestImages::Pattern(640, 480), OtherPattern(640, 480));
        core.BuildMesh(doc.get());
        core.RenderFrame(out, Position(500));
        int worst = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                for (int c = 0; c < 3; ++c) {
                    const uint8_t s = doc->m_pSourceImage->PixelAddress(x, y)[c];
                    const uint8_t t = doc->m_pTargetImage->PixelAddress(x, y)[c];
                    worst = std::max(worst, std::abs(out.PixelAddress(x, y)[c] - Blend(t, s, 127)));
                }
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
    }

    // The in-between vertex is trunc(t·T + (1 − t)·S): at t = 0.25 the pair
    // (10, 10) → (21, 31) sits at (12, 15) and shows S(10, 10) blended with T(21, 31).
    void betweenVertex()
    {
        auto doc = MakeDoc(TestImages::Pattern(64, 48), OtherPattern(64, 48));
        doc->m_aHandles.Add(CMorphHandle{CPoint(10, 10), CPoint(21, 31)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        CImage out;
        QVERIFY(out.Create(64, 48));
        core.RenderFrame(out, 0.25f);
        const uint8_t* s = doc->m_pSourceImage->PixelAddress(10, 10);
        const uint8_t* t = doc->m_pTargetImage->PixelAddress(21, 31);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(out.PixelAddress(12, 15)[c], Blend(t[c], s[c], 63));
    }

    // Frames depend on the mesh, the pictures and t only, whatever came before.
    void framesAreIndependent()
    {
        auto doc = MakeDoc(TestImages::Pattern(60, 45), OtherPattern(60, 45));
        doc->m_aHandles.Add(CMorphHandle{CPoint(30, 20), CPoint(10, 40)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        CImage first, again;
        QVERIFY(first.Create(60, 45) && again.Create(60, 45));
        core.RenderFrame(first, 0.3f);
        core.RenderFrame(again, 0.9f);
        core.RenderFrame(again, 0.3f);
        QVERIFY(TestImages::SamePixels(first, again));
    }

    // Drawing in row bands on several threads gives the same bytes as one pass,
    // with overlapping triangles, points outside the picture and odd band edges.
    void bandsGiveTheSameFrame_data()
    {
        QTest::addColumn<int>("threads");
        for (int threads : {2, 3, 7, 16})
            QTest::newRow(qPrintable(QString::number(threads))) << threads;
    }
    void bandsGiveTheSameFrame()
    {
        QFETCH(int, threads);
        auto doc = MakeDoc(TestImages::Pattern(97, 61), OtherPattern(97, 61));
        uint32_t seed = 12345;
        auto next = [&seed](int range) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % uint32_t(range));
        };
        for (int i = 0; i < 25; ++i)
            doc->m_aHandles.Add(CMorphHandle{CPoint(next(130) - 16, next(90) - 14), CPoint(next(130) - 16, next(90) - 14)});
        doc->m_aHandles.Add(CMorphHandle{CPoint(40, 30), CPoint(2000000000, -2000000000)});
        CMorphCore single, banded;
        single.SetThreadCount(1);
        banded.SetThreadCount(threads);
        single.BuildMesh(doc.get());
        banded.BuildMesh(doc.get());
        CImage a, b;
        QVERIFY(a.Create(97, 61) && b.Create(97, 61));
        for (float t : {0.001f, 0.25f, 0.5f, 0.999f}) {
            single.RenderFrame(a, t);
            banded.RenderFrame(b, t);
            QVERIFY(TestImages::SamePixels(a, b));
        }
    }

    // A band job that throws, on the caller's band or on a worker's, reaches
    // the caller only after every other band has ended; the runner works on.
    void bandExceptionReachesTheCaller_data()
    {
        QTest::addColumn<int>("throwing");
        QTest::newRow("caller's band") << 0;
        QTest::newRow("worker's band") << 2;
    }
    void bandExceptionReachesTheCaller()
    {
        QFETCH(int, throwing);
        constexpr int kBands = 3;
        CBandRunner runner;
        std::atomic<int> finished{0};
        auto job = [&](int band) {
            if (band == throwing)
                throw std::runtime_error("band " + std::to_string(band));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++finished;
        };
        try {
            runner.Run(kBands, job);
            QFAIL("no exception");
        } catch (const std::runtime_error& error) {
            QCOMPARE(QString::fromStdString(error.what()), QStringLiteral("band %1").arg(throwing));
        }
        QCOMPARE(finished.load(), kBands - 1);
        auto count = [&](int) { ++finished; };
        runner.Run(kBands, count);
        QCOMPARE(finished.load(), 2 * kBands - 1);
    }

    // Every vector kernel the processor has draws the same frames as the
    // scalar one, on one thread and on two, over meshes with points outside the
    // picture, far-away targets and pictures whose rows need no padding.
    void kernelsGiveTheSameFrame_data()
    {
        Columns<int, int, int, int, int>({"kind", "threads", "width", "height", "pairs"});
        for (const auto& [name, kind] : {std::pair{"avx2", CSpanKernel::EKind::Avx2}, std::pair{"avx512", CSpanKernel::EKind::Avx512}})
            for (int threads : {1, 2}) {
                QTest::addRow("%s %d threads 97x61", name, threads) << int(kind) << threads << 97 << 61 << 30;
                QTest::addRow("%s %d threads 320x240", name, threads) << int(kind) << threads << 320 << 240 << 120;
                QTest::addRow("%s %d threads 3x5", name, threads) << int(kind) << threads << 3 << 5 << 4;
            }
    }
    void kernelsGiveTheSameFrame()
    {
        QFETCH(int, kind);
        QFETCH(int, threads);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, pairs);
        const CSpanKernel* kernel = CSpanKernel::Find(CSpanKernel::EKind(kind));
        if (!kernel)
            QSKIP(qPrintable(QStringLiteral("this processor has no %1 kernel").arg(CSpanKernel::KindName(CSpanKernel::EKind(kind)))));
        auto doc = MakeDoc(TestImages::Pattern(width, height), OtherPattern(width, height));
        uint32_t seed = uint32_t(width * 7919 + pairs);
        auto next = [&seed](int range) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 8) % uint32_t(range));
        };
        for (int i = 0; i < pairs; ++i) {
            const CPoint s(next(width + 20) - 10, next(height + 20) - 10);
            const CPoint t(s.x + next(width / 2 + 9) - width / 4 - 4, s.y + next(height / 2 + 9) - height / 4 - 4);
            doc->m_aHandles.Add(CMorphHandle{s, t});
        }
        doc->m_aHandles.Add(CMorphHandle{CPoint(width / 2, height / 3), CPoint(2000000000, -2000000000)});
        CMorphCore reference, fast;
        reference.SetThreadCount(1);
        reference.SetKernel(*CSpanKernel::Find(CSpanKernel::EKind::Scalar));
        fast.SetThreadCount(threads);
        fast.SetKernel(*kernel);
        reference.BuildMesh(doc.get());
        fast.BuildMesh(doc.get());
        CImage a, b;
        QVERIFY(a.Create(width, height) && b.Create(width, height));
        for (float t : {0.001f, 0.13f, 0.5f, 0.77f, 0.999f}) {
            reference.RenderFrame(a, t);
            fast.RenderFrame(b, t);
            QVERIFY2(TestImages::SamePixels(a, b), qPrintable(QString::number(t)));
        }
    }

    // Vertices far outside the picture render like any other.
    void farVertices()
    {
        auto doc = MakeDoc(Solid(32, 24, RGB(200, 200, 200)), Solid(32, 24, RGB(100, 100, 100)));
        doc->m_aHandles.Add(CMorphHandle{CPoint(2000000000, -2000000000), CPoint(-2000000000, 2000000000)});
        doc->m_aHandles.Add(CMorphHandle{CPoint(16, 12), CPoint(2147483647, 2147483647)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        CImage out;
        QVERIFY(out.Create(32, 24));
        for (float t : {0.1f, 0.5f, 0.99f})
            core.RenderFrame(out, t);
        // At t = 0.99 most of the picture lies in triangles that reach far away;
        // whatever is drawn is the blend of the two flat colours.
        const int v = out.PixelAddress(0, 0)[0];
        QVERIFY(v == 0 || v == Blend(100, 200, 252));
    }

    // Nothing is drawn before a mesh exists.
    void noMeshNoFrame()
    {
        CMorphCore core;
        auto out = Solid(8, 8, RGB(77, 77, 77));
        core.RenderFrame(*out, 0.5f);
        QCOMPARE(int(out->PixelAddress(3, 3)[0]), 77);
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "tst_frame.moc"
