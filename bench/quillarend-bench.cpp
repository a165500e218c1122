// quillarend-bench: times frame rendering and mesh building on generated
// pictures and prints one line per case:
//   render WxH pairs=N threads=T kernel=K median_ms=<ms> vs_scalar=<ratio> vs_1_thread=<ratio> mpx_per_s=<Mpx/s>
//   buildmesh <kind> pairs=N runs=R median_ms=<ms> cpu_ms=<ms> edges=E triangles=T
// Every pixel-loop kernel the processor has renders the same frames with each
// thread count, one after the other in each round, so the ratios to the scalar
// kernel and to one thread come from the same moments of a noisy machine.
// The mesh cases use a 640 × 480 picture: random pairs, pairs all at one
// point, and pairs all on one row.
// Options: --width W --height H (default 1920 × 1080 with 0, 16 and 100 pairs,
// and 3840 × 2160 with 100 pairs), --threads N (default: one per processor;
// one thread is always timed too).

#include "CImage.h"
#include "CMorphCore.h"
#include "CMorphData.h"
#include "CSpanKernel.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <new>
#include <thread>
#include <vector>

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

template <class F>
double MedianMs(int runs, F&& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(TimeMs(work));
    return Median(ms);
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
bool RenderCases(int32_t w, int32_t h, std::initializer_list<int> pairCounts, const std::vector<int32_t>& threadCounts)
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
        // ms[i][k]: the times of thread count i with kernel k.
        std::vector<std::vector<std::vector<double>>> ms(threadCounts.size(),
                                                         std::vector<std::vector<double>>(kernels.size()));
        for (int round = -1; round < kRenderFrames; ++round) { // round −1 warms up
            for (size_t i = 0; i < threadCounts.size(); ++i) {
                core.SetThreadCount(threadCounts[i]);
                for (size_t k = 0; k < kernels.size(); ++k) {
                    core.SetKernel(*kernels[k]);
                    const double time = TimeMs([&] { core.RenderFrame(*frames[k], 0.5f); });
                    if (round >= 0)
                        ms[i][k].push_back(time);
                }
            }
        }
        for (size_t i = 0; i < threadCounts.size(); ++i) {
            const double scalarMs = Median(ms[i][0]);
            for (size_t k = 0; k < kernels.size(); ++k) {
                const double median = Median(ms[i][k]);
                std::printf("render %dx%d pairs=%d threads=%d kernel=%s median_ms=%.2f vs_scalar=%.3f "
                            "vs_1_thread=%.3f mpx_per_s=%.1f\n",
                            int(w), int(h), pairs, int(threadCounts[i]), kernels[k]->GetName(), median,
                            median / scalarMs, median / Median(ms[0][k]), double(w) * h / 1e6 / (median / 1000.0));
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
    int32_t w = 1920, h = 1080, threads = 0;
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const bool isWidth = std::strcmp(argv[i], "--width") == 0;
        const bool isHeight = std::strcmp(argv[i], "--height") == 0;
        const bool isThreads = std::strcmp(argv[i], "--threads") == 0;
        bool ok = i + 1 < argc && (isWidth || isHeight || isThreads);
        if (ok)
            ok = isThreads ? ParseNumber(argv[i + 1], 1, 16, threads)
                           : ParseNumber(argv[i + 1], 2, 30000, isWidth ? w : h);
        if (!ok) {
            std::fprintf(stderr, "usage: quillarend-bench [--width W] [--height H] (2 to 30000) [--threads N] (1 to 16)\n");
            return 2;
        }
        sizeGiven |= !isThreads;
        ++i;
    }

    // One thread always, for the ratios, and the count asked for or one per processor.
    std::vector<int32_t> threadCounts{1};
    const int32_t more = threads > 0 ? threads : int32_t(std::min(16u, std::thread::hardware_concurrency()));
    if (more > 1)
        threadCounts.push_back(more);
    if (!RenderCases(w, h, {0, 16, 100}, threadCounts))
        return 1;
    if (!sizeGiven && !RenderCases(3840, 2160, {100}, threadCounts))
        return 1;

    CMorphCore core;
    core.SetThreadCount(threads);
    CMorphData meshDoc;
    meshDoc.m_pSourceImage = MakePicture(640, 480, 0);
    meshDoc.m_pTargetImage = MakePicture(640, 480, 1);
    if (!meshDoc.m_pSourceImage || !meshDoc.m_pTargetImage) {
        std::fprintf(stderr, "quillarend-bench: not enough memory for 640x480 pictures\n");
        return 1;
    }
    struct MeshCase
    {
        const char* kind;
        int pairs;
        int runs;
    };
    const MeshCase meshCases[] = {{"coincident", 300, kBuildRuns}, {"collinear", 300, kBuildRuns},
                                  {"random", 100, kBuildRuns},     {"random", 300, kBuildRuns},
                                  {"random", 1000, kBuildRuns},    {"random", 3000, 3},
                                  {"random", 10000, 1}};
    for (const MeshCase& c : meshCases) {
        if (std::strcmp(c.kind, "random") == 0)
            SetPairs(meshDoc, c.pairs);
        else
            SetDegeneratePairs(meshDoc, c.pairs, std::strcmp(c.kind, "collinear") == 0);
        // Processor time too: on a shared machine the wall time also counts
        // the other programs' turns.
        double ms = 0;
        std::vector<double> cpuMs;
        try {
            ms = MedianMs(c.runs, [&] {
                const std::clock_t start = std::clock();
                core.BuildMesh(&meshDoc);
                cpuMs.push_back(double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC);
            });
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
    return 0;
}
