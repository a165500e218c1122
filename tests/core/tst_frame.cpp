#include "DataTable.h"
#include "document/CMorphData.h"
#include "document/CPairsFile.h"
#include "engine/CDraftRenderer.h"
#include "engine/CMorphCore.h"
#include "engine/CSpanKernel.h"
#include "platform/CDC.h"
#include "TestImages.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
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

// A photo-like w × h picture: smooth shading, a few soft-edged discs and fine
// noise, from a fixed seed.
std::unique_ptr<CImage> PhotoLike(int32_t w, int32_t h, uint32_t seed)
{
    return TestImages::Painted(w, h, [=](int32_t x, int32_t y, uint8_t* p) {
        uint32_t n = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ (seed * 83492791u);
        n = (n ^ (n >> 13)) * 1274126177u;
        const double noise = double(n >> 28) - 7.5;
        for (int c = 0; c < 3; ++c) {
            double v = 60 + 120 * (0.5 + 0.5 * std::sin(x * (0.011 + 0.003 * c) + y * 0.007 + seed + c));
            for (int k = 0; k < 4; ++k) {
                const double cx = w * (0.2 + 0.2 * k), cy = h * (0.3 + 0.13 * ((k + seed) % 4)), r = h * 0.12;
                const double d = std::hypot(x - cx, y - cy);
                v += 50 * std::clamp((r - d) / 6.0, 0.0, 1.0) * (c == k % 3 ? 1 : -0.5);
            }
            p[c] = uint8_t(std::clamp(v + noise, 0.0, 255.0));
        }
    });
}

using TestImages::Psnr;
using TestImages::Shrunk;

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

    // A rectangle of the frame is that rectangle of the whole frame, byte for
    // byte, at random positions, sizes (reaching past the frame, and with out
    // larger than the rectangle) and meshes; out's pixels beyond it stay.
    void rectIsPartOfWholeFrame()
    {
        uint32_t seed = 777;
        auto next = [&seed](int range) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % uint32_t(range));
        };
        const int32_t w = 131, h = 87;
        auto doc = MakeDoc(PhotoLike(w, h, 1), OtherPattern(w, h));
        CMorphCore core;
        CImage whole;
        QVERIFY(whole.Create(w, h));
        for (int mesh = 0; mesh < 6; ++mesh) {
            doc->m_aHandles.RemoveAll();
            for (int i = 0, n = next(30); i < n; ++i)
                doc->m_aHandles.Add(CMorphHandle{CPoint(next(w + 40) - 20, next(h + 40) - 20),
                                                 CPoint(next(w + 40) - 20, next(h + 40) - 20)});
            core.BuildMesh(doc.get());
            core.SetThreadCount(1 + mesh % 3);
            for (int k = 0; k < 12; ++k) {
                const float positions[] = {0.0f, 1.0f, Position(next(1001))};
                const float shape = positions[k % 3], color = k % 4 == 3 ? Position(next(1001)) : shape;
                core.RenderFrame(whole, shape, color);
                const CRect rect(next(w + 20) - 10, next(h + 20) - 10, 0, 0);
                const CRect r(rect.left, rect.top, rect.left + 1 + next(w), rect.top + 1 + next(h));
                const int32_t outW = r.Width() + next(3), outH = r.Height() + next(3);
                auto out = Solid(outW, outH, RGB(1, 2, 3));
                core.RenderFrameRect(*out, shape, color, r);
                for (int32_t j = 0; j < outH; ++j)
                    for (int32_t i = 0; i < outW; ++i) {
                        const int32_t x = r.left + i, y = r.top + j;
                        const bool inside = x >= 0 && y >= 0 && x < w && y < h && x < r.right && y < r.bottom;
                        const uint8_t* got = out->PixelAddress(i, j);
                        const uint8_t expected[3] = {3, 2, 1};
                        const uint8_t* want = inside ? whole.PixelAddress(x, y) : expected;
                        if (std::memcmp(got, want, 3) != 0)
                            QFAIL(qPrintable(QStringLiteral("mesh %1 case %2 rect %3,%4 %5x%6: pixel %7,%8")
                                                 .arg(mesh).arg(k).arg(r.left).arg(r.top).arg(r.Width())
                                                 .arg(r.Height()).arg(x).arg(y)));
                    }
            }
        }
    }

    // A draft looks like the whole frame shrunk the same way, on the sample
    // pictures with their pairs and on a photo-like pair with random pairs.
    void draftLooksLikeShrunkFrame_data()
    {
        QTest::addColumn<bool>("samples");
        QTest::addColumn<double>("scale");
        QTest::newRow("samples 0.4") << true << 0.4;
        QTest::newRow("samples 0.3") << true << 0.3;
        QTest::newRow("samples 0.7") << true << 0.7;
        QTest::newRow("samples 0.2") << true << 0.2;
        QTest::newRow("samples 1/4") << true << 0.25;
        QTest::newRow("samples 0.12") << true << 0.12;
        QTest::newRow("photo 1/4") << false << 0.25;
        QTest::newRow("photo 0.18") << false << 0.18;
        QTest::newRow("photo 0.37") << false << 0.37;
    }
    void draftLooksLikeShrunkFrame()
    {
        QFETCH(bool, samples);
        QFETCH(double, scale);
        auto doc = std::make_unique<CMorphData>();
        if (samples) {
            QVERIFY(doc->LoadSource(QStringLiteral(QUILLAREND_SAMPLES_DIR "/source.png")));
            QVERIFY(doc->LoadTarget(QStringLiteral(QUILLAREND_SAMPLES_DIR "/target.png")));
            CReadError error;
            QVERIFY2(CPairsFile::Load(QStringLiteral(QUILLAREND_SAMPLES_DIR "/pairs.txt"), doc->m_aHandles, error),
                     qPrintable(error.English()));
        } else {
            doc = MakeDoc(PhotoLike(1200, 900, 2), PhotoLike(1200, 900, 3));
            uint32_t seed = 4242;
            auto next = [&seed](int range) {
                seed = seed * 1103515245u + 12345u;
                return int((seed >> 16) % uint32_t(range));
            };
            // A pair whose target lies far right of the picture.
            doc->m_aHandles.Add(CMorphHandle{CPoint(700, 400), CPoint(1500, 420)});
            for (int i = 0; i < 60; ++i) {
                const CPoint s(next(1200), next(900));
                doc->m_aHandles.Add(CMorphHandle{s, CPoint(std::clamp(s.x + next(121) - 60, 0, 1199),
                                                           std::clamp(s.y + next(121) - 60, 0, 899))});
            }
        }
        const int32_t w = doc->m_pSourceImage->GetWidth(), h = doc->m_pSourceImage->GetHeight();
        CMorphCore core;
        core.BuildMesh(doc.get());
        CDraftRenderer drafts;
        CImage whole, draft;
        QVERIFY(whole.Create(w, h));
        for (const float t : {0.0f, 0.3f, 0.5f, 0.999f}) {
            core.RenderFrame(whole, t);
            QVERIFY(drafts.Render(draft, core, scale, t, t));
            QCOMPARE(draft.GetWidth(), int32_t(w * scale));
            QCOMPARE(draft.GetHeight(), int32_t(h * scale));
            auto expected = Shrunk(whole, draft.GetWidth(), draft.GetHeight());
            const double psnr = Psnr(*expected, draft);
            QVERIFY2(psnr >= 35.0, qPrintable(QStringLiteral("t %1: %2 dB").arg(t).arg(psnr)));
        }
        // Scales outside (0, 1] and engines without a document draw nothing.
        for (const double bad : {0.0, -0.5, 1.5, std::nan("")})
            QVERIFY(!drafts.Render(draft, core, bad, 0.5f, 0.5f));
        CMorphCore empty;
        QVERIFY(!drafts.Render(draft, empty, 0.5, 0.5f, 0.5f));
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
