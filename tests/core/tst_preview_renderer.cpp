#include "DataTable.h"
#include "engine/CPreviewRenderer.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using SRequest = CPreviewRenderer::SRequest;

SRequest At(int64_t key)
{
    return SRequest{key, {float(key) / 100.0f, float(key) / 100.0f}};
}

// A render function that notes every position it draws, marks the picture
// with it and can be held inside a render until released; key 13 throws.
struct FakeRender
{
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int64_t> drawn;
    bool bHold = false;
    bool bInside = false;
    int nReady = 0;

    void Render(CImage& out, CMorphTiming::SPosition pos)
    {
        const auto key = int64_t(pos.fShape * 100.0f + 0.5f);
        std::unique_lock lock(mutex);
        bInside = true;
        changed.notify_all();
        changed.wait(lock, [this] { return !bHold; });
        bInside = false;
        drawn.push_back(key);
        if (key == 13)
            throw std::runtime_error("thirteen");
        *out.PixelAddress(0, 0) = uint8_t(key);
    }
    void Ready()
    {
        std::lock_guard lock(mutex);
        ++nReady;
        changed.notify_all();
    }
    void Hold(bool hold)
    {
        std::lock_guard lock(mutex);
        bHold = hold;
        changed.notify_all();
    }
    // Each false after ten seconds, so a fault fails rather than hangs.
    bool WaitInside()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return bInside; });
    }
    bool WaitReady(int count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return nReady >= count; });
    }
    std::vector<int64_t> Drawn()
    {
        std::lock_guard lock(mutex);
        return drawn;
    }
};

struct Fixture
{
    FakeRender fake;
    CPreviewRenderer renderer{[this](CImage& out, const CPreviewRenderer::SRequest& r) { fake.Render(out, r.pos); },
                              [this] { fake.Ready(); }};
    CImage frame;
    Fixture() { QVERIFY(renderer.Resize(4, 3) && frame.Create(4, 3)); }
};

} // namespace

class TestPreviewRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void latestWins_data()
    {
        Columns<int>({"waiting"});
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
        QTest::newRow("fifty") << 50;
    }

    // Requests made while a frame renders replace each other: only the last
    // renders after it, and it is the frame taken.
    void latestWins()
    {
        QFETCH(int, waiting);
        Fixture f;
        f.fake.Hold(true);
        QVERIFY(f.renderer.Request(At(1)));
        QVERIFY(f.fake.WaitInside());
        for (int i = 0; i < waiting; ++i)
            QVERIFY(f.renderer.Request(At(20 + i)));
        QVERIFY(f.renderer.IsBusy());
        f.fake.Hold(false);
        f.renderer.Wait();
        QVERIFY(!f.renderer.IsBusy());
        const int64_t last = 20 + waiting - 1;
        QCOMPARE(f.fake.Drawn(), (std::vector<int64_t>{1, last}));
        // The first frame was replaced by the newer one before it was taken.
        const auto taken = f.renderer.Take(f.frame);
        QVERIFY(taken);
        QCOMPARE(*taken, At(last));
        QCOMPARE(*f.frame.PixelAddress(0, 0), uint8_t(last));
        QVERIFY(!f.renderer.Take(f.frame));
    }

    // A frame taken and then another: each comes once, in its own picture,
    // and the worker goes on with the picture given back.
    void framesTakenInTurn()
    {
        Fixture f;
        for (int64_t key : {3, 4, 5}) {
            QVERIFY(f.renderer.Request(At(key)));
            f.renderer.Wait();
            QCOMPARE(f.renderer.Take(f.frame).value(), At(key));
            QCOMPARE(*f.frame.PixelAddress(0, 0), uint8_t(key));
        }
        QVERIFY(f.fake.WaitReady(3)); // told once per frame, after the frame is there to take
    }

    // The exception of a render comes out of Take on the owner's thread, and
    // the renderer goes on working.
    void exceptionReachesCaller()
    {
        Fixture f;
        QVERIFY(f.renderer.Request(At(13)));
        QVERIFY(f.fake.WaitReady(1));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.renderer.Take(f.frame));
        QVERIFY(!f.renderer.Take(f.frame));
        QVERIFY(f.renderer.Request(At(14)));
        f.renderer.Wait();
        QCOMPARE(f.renderer.Take(f.frame).value(), At(14));
    }

    // Destroyed while a frame renders: the frame in hand ends before the
    // destructor returns, the waiting request never starts, and nothing is
    // called afterwards.
    void destructionWhileRendering()
    {
        FakeRender fake;
        std::thread release;
        {
            CPreviewRenderer renderer([&](CImage& out, const CPreviewRenderer::SRequest& r) { fake.Render(out, r.pos); },
                                      [&] { fake.Ready(); });
            QVERIFY(renderer.Resize(4, 3));
            fake.Hold(true);
            QVERIFY(renderer.Request(At(1)));
            QVERIFY(fake.WaitInside());
            QVERIFY(renderer.Request(At(2)));
            release = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                fake.Hold(false);
            });
        }
        QCOMPARE(fake.Drawn(), (std::vector<int64_t>{1}));
        QCOMPARE(fake.nReady, 1);
        release.join();
    }

    // Without pictures (none made, or no memory for them) the owner is told
    // to render by itself.
    void noPictures()
    {
        FakeRender fake;
        CPreviewRenderer renderer([&](CImage& out, const CPreviewRenderer::SRequest& r) { fake.Render(out, r.pos); },
                                  [&] { fake.Ready(); });
        QVERIFY(!renderer.Request(At(1)));
        QVERIFY(!renderer.Resize(1 << 30, 1 << 30));
        QVERIFY(!renderer.Request(At(1)));
        QVERIFY(renderer.Resize(2, 2));
        QVERIFY(renderer.Request(At(1)));
        renderer.Wait();
        QCOMPARE(fake.Drawn(), (std::vector<int64_t>{1}));
    }
};

QTEST_MAIN(TestPreviewRenderer)
#include "tst_preview_renderer.moc"
