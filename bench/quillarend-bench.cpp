// quillarend-bench: times frame rendering, mesh building and the preview page
// on generated pictures and prints one line per case:
//   render WxH pairs=N threads=T kernel=K median_ms=<ms> cpu_ms=<ms> vs_scalar=<ratio> vs_1_thread=<ratio>
//          mpx_per_s=<Mpx/s> cpu_vs_scalar=<ratio>
//   buildmesh <kind> pairs=N runs=R median_ms=<ms> cpu_ms=<ms> edges=E triangles=T
//   (or "buildmesh <kind> pairs=N refused: <reason>" past the build's limits)
//   preview WxH view=100 threads=T slider_to_screen_ms=<ms> set_to_screen_ms=<ms> render_ms=<ms> rebuild_ms=<ms>
//           paint_ms=<ms> after_render=<ratio>
//   match WxH pairs=N clicks=C median_ms=<ms> cpu_ms=<ms> max_ms=<ms> matched=<share> entry_ms=<ms> grey_ms=<ms>
//   findpairs WxH features=orb|akaze median_ms=<ms> cpu_ms=<ms> pairs=N median_err_px=<px> max_err_px=<px>
//   preview WxH view=fit threads=2 slider_to_screen_ms=<ms> draft_ms=<ms> exact_ms=<ms> repaint_ms=<ms>
//           first_draft_ms=<ms>
//   play WxH view=100|fit pairs=N threads=T target_fps=F frames=<n> shown=<n> fps=<reached> in_order=yes|no
// Every pixel-loop kernel the processor has renders the same frames with each
// thread count, one after the other in each round, so the ratios to the scalar
// kernel and to one thread come from the same moments of a noisy machine.
// The mesh cases use a 640 × 480 picture: random pairs, pairs all at one
// point, and pairs all on one row. The preview cases drive page 131 offscreen
// with 100 pairs at 100 %: slider_to_screen_ms is a user's move (the visible
// part rendered on the page's worker and painted), set_to_screen_ms a
// position the program sets (the exact whole frame rendered and painted),
// and then each stage is timed alone on the same frame. The fitted-view cases
// (1920 × 1080, 3840 × 2160, 4000 × 3000, 100 pairs, 2 threads) time a draft
// at the view's scale, the exact whole frame and the fitted view's repaint
// alone; slider_to_screen_ms is the page's own road from a user's slider
// move to its draft painted by the view (the worker's draft, the hand-over
// and the repaint). first_draft_ms includes the one-time shrink of both
// pictures.
// The play cases play 3 seconds of a sequence on the page in real time and
// count the frames shown.
// The assist cases (on one processor, --pin or 0) time a partner match at
// 3840 × 2160 and the pair finder at 1920 × 1080 on a textured picture and
// its copy moved by a known similarity, with both feature detectors.
// Options: --only render|mesh|preview|assist (default: render and mesh),
// --width W --height H (default 1920 × 1080 with 0, 16 and 100 pairs, and
// 3840 × 2160 with 100 pairs), --threads N (default: 2 and 4; one thread is
// always timed too), --pin CPU (one-thread cases run on that processor only).

#include "assist/CPairFinder.h"
#include "assist/CPartnerMatcher.h"
#include "document/CMorphData.h"
#include "document/CMorphTiming.h"
#include "engine/CDraftRenderer.h"
#include "engine/CMorphCore.h"
#include "engine/CSpanKernel.h"
#include "export/CSheet_Morph.h"
#include "platform/CImage.h"
#include "wizard/CMorphApp.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "wizard/CZoom.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

namespace {

constexpr int kRenderFrames = 15;
constexpr int kBuildRuns = 5;

// A fixed pseudo-random sequence, the same on every platform.
class Lcg
{
public:
    uint32_t Next()
    {
        m_nState = m_nState * 6364136223846793005ULL + 1442695040888963407ULL;
        return uint32_t(m_nState >> 33);
    }
    int32_t Below(int32_t limit) { return int32_t(Next() % uint32_t(limit)); }

private:
    uint64_t m_nState = 20240601;
};

std::unique_ptr<CImage> MakePicture(int32_t w, int32_t h, int variant)
{
    auto image = std::make_unique<CImage>();
    if (!image->Create(w, h))
        return nullptr;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = image->PixelAddress(0, y);
        for (int32_t x = 0; x < w; ++x, p += 3) {
            p[0] = uint8_t(x * (3 + variant) + y);
            p[1] = uint8_t((x ^ y) + variant * 40);
            p[2] = uint8_t(y * (2 + variant) - x);
        }
    }
    return image;
}

// Pairs inside the picture, each target a short way from its source.
void SetPairs(CMorphData& doc, int count)
{
    const int32_t w = doc.m_pSourceImage->GetWidth(), h = doc.m_pSourceImage->GetHeight();
    const int32_t reach = std::max(1, std::min(w, h) / 20);
    Lcg random;
    doc.m_aHandles.RemoveAll();
    for (int i = 0; i < count; ++i) {
        const CPoint s(random.Below(w), random.Below(h));
        const CPoint t(std::clamp(s.x + random.Below(2 * reach + 1) - reach, 0, w - 1),
                       std::clamp(s.y + random.Below(2 * reach + 1) - reach, 0, h - 1));
        doc.m_aHandles.Add(CMorphHandle{s, t});
    }
}

double Median(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
}

template <class F>
double TimeMs(F&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Every pair at the centre, or all on the middle row at random columns.
void SetDegeneratePairs(CMorphData& doc, int count, bool oneRow)
{
    const int32_t w = doc.m_pSourceImage->GetWidth(), h = doc.m_pSourceImage->GetHeight();
    Lcg random;
    doc.m_aHandles.RemoveAll();
    for (int i = 0; i < count; ++i) {
        const CPoint s(oneRow ? random.Below(w) : w / 2, h / 2);
        doc.m_aHandles.Add(CMorphHandle{s, s});
    }
}

// Processor time of the whole process in ms: on a shared machine it leaves
// out the other programs' turns, which the wall time counts.
double CpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

template <class F>
double MedianMs(int runs, F&& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(TimeMs(work));
    return Median(ms);
}

// Runs the calling thread on processor cpu alone, or (cpu < 0) on the
// processors it was given at start. Workers started later inherit the mask
// of the moment, so the multi-thread cases run unpinned.
bool PinThread(int cpu)
{
#ifdef __linux__
    static cpu_set_t s_startMask;
    static const bool s_bHaveStart = sched_getaffinity(0, sizeof s_startMask, &s_startMask) == 0;
    if (cpu < 0)
        return s_bHaveStart && sched_setaffinity(0, sizeof s_startMask, &s_startMask) == 0;
    cpu_set_t mask;
    CPU_ZERO(&mask);
    CPU_SET(cpu, &mask);
    return s_bHaveStart && sched_setaffinity(0, sizeof mask, &mask) == 0;
#else
    return cpu < 0;
#endif
}

bool SameBytes(const CImage& a, const CImage& b)
{
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.PixelAddress(0, y), b.PixelAddress(0, y), size_t(a.GetWidth()) * 3) != 0)
            return false;
    return true;
}

// Renders t = 0.5 with every kernel and thread count, interleaved round by
// round, for each pair count; fails when two kernels give different bytes.
bool RenderCases(int32_t w, int32_t h, std::initializer_list<int> pairCounts, const std::vector<int32_t>& threadCounts,
                 int pinCpu)
{
    std::vector<const CSpanKernel*> kernels;
    for (const auto kind : {CSpanKernel::EKind::Scalar, CSpanKernel::EKind::Avx2, CSpanKernel::EKind::Avx512})
        if (const CSpanKernel* kernel = CSpanKernel::Find(kind))
            kernels.push_back(kernel);

    CMorphData doc;
    doc.m_pSourceImage = MakePicture(w, h, 0);
    doc.m_pTargetImage = MakePicture(w, h, 1);
    std::vector<std::unique_ptr<CImage>> frames;
    for (size_t k = 0; k < kernels.size(); ++k) {
        frames.push_back(std::make_unique<CImage>());
        if (!frames.back()->Create(w, h))
            frames.back().reset();
    }
    if (!doc.m_pSourceImage || !doc.m_pTargetImage || std::find(frames.begin(), frames.end(), nullptr) != frames.end()) {
        std::fprintf(stderr, "quillarend-bench: not enough memory for %dx%d pictures\n", int(w), int(h));
        return false;
    }

    CMorphCore core;
    for (const int pairs : pairCounts) {
        SetPairs(doc, pairs);
        core.BuildMesh(&doc);
        // ms[i][k], cpu[i][k]: the wall and processor times of thread count i with kernel k.
        std::vector<std::vector<std::vector<double>>> ms(threadCounts.size(),
                                                         std::vector<std::vector<double>>(kernels.size()));
        auto cpu = ms;
        for (int round = -1; round < kRenderFrames; ++round) { // round −1 warms up
            for (size_t i = 0; i < threadCounts.size(); ++i) {
                core.SetThreadCount(threadCounts[i]);
                if (pinCpu >= 0 && !PinThread(threadCounts[i] == 1 ? pinCpu : -1)) {
                    std::fprintf(stderr, "quillarend-bench: cannot pin to processor %d\n", pinCpu);
                    return false;
                }
                for (size_t k = 0; k < kernels.size(); ++k) {
                    core.SetKernel(*kernels[k]);
                    const double cpuStart = CpuMs();
                    const double time = TimeMs([&] { core.RenderFrame(*frames[k], 0.5f); });
                    if (round >= 0) {
                        ms[i][k].push_back(time);
                        cpu[i][k].push_back(CpuMs() - cpuStart);
                    }
                }
            }
        }
        for (size_t i = 0; i < threadCounts.size(); ++i) {
            const double scalarMs = Median(ms[i][0]), scalarCpuMs = Median(cpu[i][0]);
            for (size_t k = 0; k < kernels.size(); ++k) {
                const double median = Median(ms[i][k]), cpuMedian = Median(cpu[i][k]);
                std::printf("render %dx%d pairs=%d threads=%d kernel=%s median_ms=%.2f cpu_ms=%.2f vs_scalar=%.3f "
                            "vs_1_thread=%.3f mpx_per_s=%.1f cpu_vs_scalar=%.3f\n",
                            int(w), int(h), pairs, int(threadCounts[i]), kernels[k]->GetName(), median, cpuMedian,
                            median / scalarMs, median / Median(ms[0][k]), double(w) * h / 1e6 / (median / 1000.0),
                            cpuMedian / scalarCpuMs);
                if (!SameBytes(*frames[k], *frames[0])) {
                    std::fprintf(stderr, "quillarend-bench: kernel %s gives other bytes than the scalar one\n",
                                 kernels[k]->GetName());
                    return false;
                }
            }
        }
        std::fflush(stdout);
    }
    return true;
}

bool MeshCases(int32_t threads)
{
    CMorphCore core;
    core.SetThreadCount(threads);
    CMorphData meshDoc;
    meshDoc.m_pSourceImage = MakePicture(640, 480, 0);
    meshDoc.m_pTargetImage = MakePicture(640, 480, 1);
    if (!meshDoc.m_pSourceImage || !meshDoc.m_pTargetImage) {
        std::fprintf(stderr, "quillarend-bench: not enough memory for 640x480 pictures\n");
        return false;
    }
    struct MeshCase
    {
        const char* kind;
        int pairs;
        int runs;
    };
    const MeshCase meshCases[] = {{"coincident", 300, kBuildRuns}, {"collinear", 300, kBuildRuns},
                                  {"coincident", 1000, 3},         {"collinear", 1000, 3},
                                  {"random", 100, kBuildRuns},     {"random", 300, kBuildRuns},
                                  {"random", 1000, kBuildRuns},    {"random", 3000, 3},
                                  {"random", 10000, 1}};
    for (const MeshCase& c : meshCases) {
        if (std::strcmp(c.kind, "random") == 0)
            SetPairs(meshDoc, c.pairs);
        else
            SetDegeneratePairs(meshDoc, c.pairs, std::strcmp(c.kind, "collinear") == 0);
        double ms = 0;
        std::vector<double> cpuMs;
        try {
            ms = MedianMs(c.runs, [&] {
                const double start = CpuMs();
                core.BuildMesh(&meshDoc);
                cpuMs.push_back(CpuMs() - start);
            });
        } catch (const CMeshTooLargeError& error) {
            std::printf("buildmesh %s pairs=%d refused: %s\n", c.kind, c.pairs, error.what());
            std::fflush(stdout);
            continue;
        } catch (const std::bad_alloc&) {
            std::printf("buildmesh %s pairs=%d not enough memory\n", c.kind, c.pairs);
            std::fflush(stdout);
            continue;
        }
        std::sort(cpuMs.begin(), cpuMs.end());
        std::printf("buildmesh %s pairs=%d runs=%d median_ms=%.2f cpu_ms=%.2f edges=%zu triangles=%zu\n", c.kind,
                    c.pairs, c.runs, ms, cpuMs[cpuMs.size() / 2], core.GetLines().size(), core.GetPolygons().size());
        std::fflush(stdout);
    }
    return true;
}

// The wizard's pages with two w × h pictures and 100 pairs, page 131 on show;
// null after saying why not.
CSheet_Morph* OpenPreviewPage(CMorphDlg& dlg, int32_t w, int32_t h)
{
    CMorphApp::CreateSheets(dlg);
    CMorphData* doc = dlg.m_pMorphData.get();
    doc->m_pSourceImage = MakePicture(w, h, 0);
    doc->m_pTargetImage = MakePicture(w, h, 1);
    if (!doc->m_pSourceImage || !doc->m_pTargetImage) {
        std::fprintf(stderr, "quillarend-bench: not enough memory for %dx%d pictures\n", int(w), int(h));
        return nullptr;
    }
    SetPairs(*doc, 100);
    auto* page = qobject_cast<CSheet_Morph*>(dlg.GetSheet(IDD_SHEET_MORPH));
    if (!page) {
        std::fprintf(stderr, "quillarend-bench: the wizard has no preview page\n");
        return nullptr;
    }
    dlg.show();
    dlg.ShowPage(IDD_SHEET_MORPH);
    return page;
}

// Page 131 with 100 pairs at each size and thread count: the slider moves
// between two positions and each frame is rendered and painted as the user
// would see it; then the stages are timed alone, interleaved round by round:
// RenderFrame, the view's back-buffer rebuild and its paint.
bool PreviewCases(const std::vector<int32_t>& threadCounts)
{
    const int32_t sizes[][2] = {{640, 480}, {1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        CMorphDlg dlg;
        CSheet_Morph* page = OpenPreviewPage(dlg, size[0], size[1]);
        if (!page)
            return false;
        for (const int32_t threads : threadCounts) {
            page->m_core.SetThreadCount(threads);
            std::vector<double> drag, total, render, rebuild, paint;
            for (int round = -1; round < kRenderFrames; ++round) {
                // A user's move: what the view shows renders on the worker and is painted.
                const int dragTo = round & 1 ? 600 : 400;
                const double dragMs = TimeMs([&] {
                    bool shown = false;
                    const QMetaObject::Connection watch = QObject::connect(
                        page, &CSheet_Morph::FrameShown, [&](qint64 key) { shown |= key == -1 - dragTo; });
                    page->m_bUserMove = true;
                    page->m_ctlSlider.setValue(dragTo);
                    while (!shown)
                        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                    QObject::disconnect(watch);
                });
                page->ShowLatestFrame();
                // A position the program sets: the exact whole frame, here.
                const int position = 500 + (round & 1);
                const double totalMs = TimeMs([&] {
                    page->m_ctlSlider.setValue(position);
                    QCoreApplication::processEvents();
                });
                const float t = float(CMorphTiming::SliderTime(position));
                const double renderMs = TimeMs([&] { page->m_core.RenderFrame(page->m_imgFrame, t); });
                const double rebuildMs = TimeMs([&] { page->m_wndPreview.Redraw(false); });
                // What a slider move paints: the client, not the edge and the bars.
                const CImageScrollWnd& view = page->m_wndPreview;
                const QRect client(view.GetClientOrigin(), QSize(view.m_rcClient.Width(), view.m_rcClient.Height()));
                const double paintMs = TimeMs([&] { page->m_wndPreview.repaint(client); });
                if (round < 0)
                    continue;
                drag.push_back(dragMs);
                total.push_back(totalMs);
                render.push_back(renderMs);
                rebuild.push_back(rebuildMs);
                paint.push_back(paintMs);
            }
            const double renderMs = Median(render), afterMs = Median(rebuild) + Median(paint);
            std::printf("preview %dx%d view=100 threads=%d slider_to_screen_ms=%.2f set_to_screen_ms=%.2f "
                        "render_ms=%.2f rebuild_ms=%.2f paint_ms=%.2f after_render=%.3f\n",
                        int(size[0]), int(size[1]), int(threads), Median(drag), Median(total), renderMs,
                        Median(rebuild), Median(paint), afterMs / renderMs);
            std::fflush(stdout);
        }
    }
    return true;
}

template <typename Paint>
std::unique_ptr<CImage> PaintedPicture(int32_t w, int32_t h, Paint paint)
{
    auto image = std::make_unique<CImage>();
    if (!image->Create(w, h))
        return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            paint(x, y, image->PixelAddress(x, y));
    return image;
}

// Blocks of random grey with a finer random grain: corners and texture at
// several sizes, the same on every run.
std::unique_ptr<CImage> MakeTexture(int32_t w, int32_t h)
{
    const auto hash = [](uint32_t x, uint32_t y) {
        uint32_t v = x * 0x8DA6B343u ^ y * 0xD8163841u;
        v ^= v >> 15;
        v *= 0x2C1B3C6Du;
        return uint8_t(v >> 24);
    };
    return PaintedPicture(w, h, [&](int32_t x, int32_t y, uint8_t* p) {
        const int v = hash(uint32_t(x / 13), uint32_t(y / 9)) / 2 + hash(uint32_t(x / 3), uint32_t(y / 3)) / 4
            + hash(uint32_t(x / 41), uint32_t(y / 37)) / 4;
        p[0] = p[1] = p[2] = uint8_t(v);
    });
}

// q = c + 1.05 · R(5°) · (p − c) + (20, 12) about the centre c.
struct SMove
{
    double dCx, dCy;
    void Forward(double x, double y, double& u, double& v) const
    {
        const double a = 5 * 3.14159265358979 / 180, s = 1.05;
        u = dCx + s * (std::cos(a) * (x - dCx) - std::sin(a) * (y - dCy)) + 20;
        v = dCy + s * (std::sin(a) * (x - dCx) + std::cos(a) * (y - dCy)) + 12;
    }
};

// The source moved by move, nearest pixel, 10 % brighter.
std::unique_ptr<CImage> MovedCopy(const CImage& source, const SMove& move)
{
    const int32_t w = source.GetWidth(), h = source.GetHeight();
    const double a = -5 * 3.14159265358979 / 180, s = 1 / 1.05;
    return PaintedPicture(w, h, [&](int32_t x, int32_t y, uint8_t* p) {
        const double dx = x - 20 - move.dCx, dy = y - 12 - move.dCy;
        const long sx = std::lround(move.dCx + s * (std::cos(a) * dx - std::sin(a) * dy));
        const long sy = std::lround(move.dCy + s * (std::sin(a) * dx + std::cos(a) * dy));
        const uint8_t v = sx >= 0 && sy >= 0 && sx < w && sy < h ? source.PixelAddress(int32_t(sx), int32_t(sy))[0] : 128;
        p[0] = p[1] = p[2] = uint8_t(std::min(255, v * 11 / 10));
    });
}

bool AssistCases(int32_t pinCpu)
{
    PinThread(pinCpu < 0 ? 0 : pinCpu);
    {
        const int32_t w = 3840, h = 2160;
        const auto source = MakeTexture(w, h);
        const SMove move{w / 2.0, h / 2.0};
        const auto target = source ? MovedCopy(*source, move) : nullptr;
        if (!target) {
            std::fprintf(stderr, "quillarend-bench: not enough memory for %dx%d pictures\n", int(w), int(h));
            return false;
        }
        CMorphHandleArray pairs;
        for (const double fx : {0.25, 0.5, 0.75})
            for (const double fy : {0.3, 0.7}) {
                double u, v;
                move.Forward(w * fx, h * fy, u, v);
                pairs.Add(CMorphHandle{CPoint(int32_t(w * fx), int32_t(h * fy)),
                                       CPoint(int32_t(std::lround(u)), int32_t(std::lround(v)))});
            }
        // The grey copies are made when the page is entered, not per click.
        CPartnerMatcher matcher;
        // What a page entry costs the user-interface thread, and the worker's
        // grey copies, ready long before the first key.
        const double aheadMs = TimeMs([&] { matcher.SetPicturesAhead(source.get(), target.get()); });
        const double greyMs = aheadMs + TimeMs([&] { matcher.HasPictures(); });
        std::vector<double> ms, cpu;
        int matched = 0;
        Lcg random;
        const int clicks = 60;
        for (int k = 0; k < clicks; ++k) {
            const CPoint click(100 + random.Below(w - 200), 100 + random.Below(h - 200));
            CPartnerMatcher::SSuggestion s;
            const double start = CpuMs();
            ms.push_back(TimeMs([&] { s = matcher.Suggest(pairs, -1, click, true); }));
            cpu.push_back(CpuMs() - start);
            matched += s.eResult == CPartnerMatcher::kMatched;
        }
        std::printf("match %dx%d pairs=%d clicks=%d median_ms=%.2f cpu_ms=%.2f max_ms=%.2f matched=%.2f "
                    "entry_ms=%.1f grey_ms=%.1f\n",
                    int(w), int(h), int(pairs.GetSize()), clicks, Median(ms), Median(cpu),
                    *std::max_element(ms.begin(), ms.end()), double(matched) / clicks, aheadMs, greyMs);
        std::fflush(stdout);
    }
    const int32_t w = 1920, h = 1080;
    const auto source = MakeTexture(w, h);
    const SMove move{w / 2.0, h / 2.0};
    const auto target = source ? MovedCopy(*source, move) : nullptr;
    if (!target)
        return false;
    // The detectors one after the other in each round, so both meet the same moments of a noisy machine.
    const CPairFinder::EFeatures kinds[] = {CPairFinder::kOrb, CPairFinder::kAkaze};
    std::vector<double> ms[2], cpu[2];
    CPairFinder::SResult found[2];
    for (int round = 0; round < 3; ++round)
        for (int k = 0; k < 2; ++k) {
            const double start = CpuMs();
            ms[k].push_back(TimeMs([&] { found[k] = CPairFinder::Find(*source, *target, {}, kinds[k]); }));
            cpu[k].push_back(CpuMs() - start);
        }
    for (int k = 0; k < 2; ++k) {
        std::vector<double> errors;
        for (const CMorphHandle& pair : found[k].aPairs) {
            double u, v;
            move.Forward(pair.m_ptSource.x, pair.m_ptSource.y, u, v);
            errors.push_back(std::hypot(pair.m_ptTarget.x - u, pair.m_ptTarget.y - v));
        }
        std::sort(errors.begin(), errors.end());
        std::printf("findpairs %dx%d features=%s median_ms=%.1f cpu_ms=%.1f pairs=%d median_err_px=%.2f "
                    "max_err_px=%.2f\n",
                    int(w), int(h), k == 0 ? "orb" : "akaze", Median(ms[k]), Median(cpu[k]), int(errors.size()),
                    errors.empty() ? 0.0 : errors[errors.size() / 2], errors.empty() ? 0.0 : errors.back());
        std::fflush(stdout);
    }
    PinThread(-1);
    return true;
}

// Page 131 in the fitted view at photo sizes with 100 pairs on 2 threads:
// the draft at the view's scale, the exact whole frame and the view's
// repaint, each timed alone, interleaved round by round.
bool FittedPreviewCases()
{
    constexpr int kThreads = 2;
    const int32_t sizes[][2] = {{1920, 1080}, {3840, 2160}, {4000, 3000}};
    for (const auto& size : sizes) {
        CMorphDlg dlg;
        CSheet_Morph* page = OpenPreviewPage(dlg, size[0], size[1]);
        if (!page)
            return false;
        page->m_core.SetThreadCount(kThreads);
        CImageScrollWnd& view = page->m_wndPreview;
        view.SetZoom(CZoom::Fit(view.m_rcClient.Width(), view.m_rcClient.Height(), size[0], size[1]),
                     view.ClientCentre());
        QCoreApplication::processEvents();
        const double scale = view.GetZoom() / 100.0;
        CDraftRenderer drafts;
        drafts.SetThreadCount(kThreads);
        CImage draft;
        const QRect client(view.GetClientOrigin(), QSize(view.m_rcClient.Width(), view.m_rcClient.Height()));
        double firstDraftMs = 0;
        std::vector<double> draftMs, exactMs, repaintMs, screenMs;
        for (int round = -1; round < kRenderFrames; ++round) {
            const float t = float(CMorphTiming::SliderTime(500 + (round & 1)));
            bool drawn = true;
            const double d = TimeMs([&] { drawn = drafts.Render(draft, page->m_core, scale, t, t); });
            if (!drawn) {
                std::fprintf(stderr, "quillarend-bench: no draft at scale %.3f\n", scale);
                return false;
            }
            const double e = TimeMs([&] { page->m_core.RenderFrame(page->m_imgFrame, t); });
            const double r = TimeMs([&] {
                view.Redraw(false);
                view.repaint(client);
            });
            // The page's own road: a user's move, the draft on its worker,
            // the view painting it; then the exact frame, untimed.
            const double s = TimeMs([&] {
                page->m_bUserMove = true;
                page->m_ctlSlider.setValue(round & 1 ? 600 : 400);
                while (!view.HasDraft())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            });
            page->ShowLatestFrame();
            if (round < 0) {
                firstDraftMs = d;
                continue;
            }
            draftMs.push_back(d);
            exactMs.push_back(e);
            repaintMs.push_back(r);
            screenMs.push_back(s);
        }
        std::printf("preview %dx%d view=fit threads=%d slider_to_screen_ms=%.2f draft_ms=%.2f exact_ms=%.2f "
                    "repaint_ms=%.2f first_draft_ms=%.2f zoom=%d\n",
                    int(size[0]), int(size[1]), kThreads, Median(screenMs), Median(draftMs), Median(exactMs),
                    Median(repaintMs), firstDraftMs, view.GetZoom());
        std::fflush(stdout);
    }
    return true;
}

// Playback on page 131 with 100 pairs on 2 threads, at 1920 × 1080 at 100 %
// and at 4000 × 3000 in the fitted view: three seconds of the sequence at
// each target rate, played once in real time; the rate reached and whether
// every frame came after the one before.
bool PlayCases()
{
    const struct
    {
        int32_t w, h;
        bool fit;
    } cases[] = {{1920, 1080, false}, {4000, 3000, true}};
    for (const auto& c : cases) {
        CMorphDlg dlg;
        CSheet_Morph* page = OpenPreviewPage(dlg, c.w, c.h);
        if (!page)
            return false;
        CMorphData* doc = dlg.m_pMorphData.get();
        page->m_core.SetThreadCount(2);
        CImageScrollWnd& view = page->m_wndPreview;
        if (c.fit)
            view.SetZoom(CZoom::Fit(view.m_rcClient.Width(), view.m_rcClient.Height(), c.w, c.h), view.ClientCentre());
        for (const int fps : {25, 50}) {
            doc->m_timing.m_dFps = fps;
            doc->m_timing.m_nCount = 3 * fps;
            page->GoToFrame(0);
            page->ShowLatestFrame();
            std::vector<qint64> shown;
            const QMetaObject::Connection watch =
                QObject::connect(page, &CSheet_Morph::FrameShown, [&](qint64 key) { shown.push_back(key); });
            const double ms = TimeMs([&] {
                page->Play();
                while (page->IsPlaying())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            });
            QObject::disconnect(watch);
            bool inOrder = true;
            for (size_t i = 1; i < shown.size(); ++i)
                inOrder &= shown[i] > shown[i - 1];
            std::printf("play %dx%d view=%s pairs=100 threads=2 target_fps=%d frames=%d shown=%zu fps=%.1f "
                        "in_order=%s\n",
                        int(c.w), int(c.h), c.fit ? "fit" : "100", fps, doc->m_timing.m_nCount, shown.size(),
                        double(shown.size()) * 1000.0 / ms, inOrder ? "yes" : "no");
            std::fflush(stdout);
            if (!inOrder)
                return false;
        }
    }
    return true;
}

bool ParseNumber(const char* text, long min, long max, int32_t& value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < min || v > max)
        return false;
    value = int32_t(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int32_t w = 1920, h = 1080, threads = 0, pinCpu = -1;
    bool sizeGiven = false;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool isWidth = std::strcmp(argv[i], "--width") == 0;
        const bool isHeight = std::strcmp(argv[i], "--height") == 0;
        const bool isThreads = std::strcmp(argv[i], "--threads") == 0;
        const bool isPin = std::strcmp(argv[i], "--pin") == 0;
        const bool isOnly = std::strcmp(argv[i], "--only") == 0;
        bool ok = i + 1 < argc && (isWidth || isHeight || isThreads || isPin || isOnly);
        if (ok && isOnly) {
            only = argv[i + 1];
            ok = std::strcmp(only, "render") == 0 || std::strcmp(only, "mesh") == 0 || std::strcmp(only, "preview") == 0
                || std::strcmp(only, "assist") == 0;
        } else if (ok) {
            ok = isThreads ? ParseNumber(argv[i + 1], 1, 16, threads)
                 : isPin   ? ParseNumber(argv[i + 1], 0, 1023, pinCpu)
                           : ParseNumber(argv[i + 1], 2, 30000, isWidth ? w : h);
        }
        if (!ok) {
            std::fprintf(stderr, "usage: quillarend-bench [--only render|mesh|preview|assist] [--width W] [--height H] "
                                 "(2 to 30000) [--threads N] (1 to 16) [--pin CPU]\n");
            return 2;
        }
        sizeGiven |= isWidth || isHeight;
        ++i;
    }
    const auto runs = [&](const char* group) {
        return only ? std::strcmp(only, group) == 0
                    : std::strcmp(group, "preview") != 0 && std::strcmp(group, "assist") != 0;
    };

    // One thread always, for the ratios, and the count asked for or 2 and 4.
    std::vector<int32_t> threadCounts{1};
    if (threads > 1)
        threadCounts.push_back(threads);
    else if (threads == 0)
        threadCounts.insert(threadCounts.end(), {2, 4});
    if (runs("render")) {
        if (!RenderCases(w, h, {0, 16, 100}, threadCounts, pinCpu))
            return 1;
        if (!sizeGiven && !RenderCases(3840, 2160, {100}, threadCounts, pinCpu))
            return 1;
        PinThread(-1);
    }
    if (runs("mesh") && !MeshCases(threads))
        return 1;
    if (runs("assist") && !AssistCases(pinCpu))
        return 1;
    if (runs("preview")) {
        // The page is driven offscreen unless a platform is named.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        std::vector<int32_t> previewThreads{1};
        if (threadCounts.size() > 1)
            previewThreads.push_back(threadCounts[1]);
        if (!PreviewCases(previewThreads) || !FittedPreviewCases() || !PlayCases())
            return 1;
    }
    return 0;
}
