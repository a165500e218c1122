// quillarend-bench: times frame rendering and mesh building on generated
// pictures and prints one line per case:
//   render WxH pairs=N median_ms=<ms> mpx_per_s=<Mpx/s>
//   buildmesh <kind> pairs=N runs=R median_ms=<ms> cpu_ms=<ms> edges=E triangles=T
//   (or "buildmesh <kind> pairs=N refused: <reason>" past the build's limits)
// The mesh cases use a 640 × 480 picture: random pairs, pairs all at one
// point, and pairs all on one row.
// Options: --width W --height H (default 1920 × 1080), --threads N (default:
// one per processor).

#include "CImage.h"
#include "CMorphCore.h"
#include "CMorphData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
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
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
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
        ++i;
    }

    CMorphData doc;
    doc.m_pSourceImage = MakePicture(w, h, 0);
    doc.m_pTargetImage = MakePicture(w, h, 1);
    CImage frame;
    if (!doc.m_pSourceImage || !doc.m_pTargetImage || !frame.Create(w, h)) {
        std::fprintf(stderr, "quillarend-bench: not enough memory for %dx%d pictures\n", int(w), int(h));
        return 1;
    }

    CMorphCore core;
    core.SetThreadCount(threads);
    for (const int pairs : {0, 16, 100}) {
        SetPairs(doc, pairs);
        core.BuildMesh(&doc);
        core.RenderFrame(frame, 0.5f); // warm-up
        const double ms = MedianMs(kRenderFrames, [&] { core.RenderFrame(frame, 0.5f); });
        std::printf("render %dx%d pairs=%d median_ms=%.2f mpx_per_s=%.1f\n", int(w), int(h), pairs, ms,
                    double(w) * h / 1e6 / (ms / 1000.0));
        std::fflush(stdout);
    }
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
                                  {"coincident", 1000, 3},         {"collinear", 1000, 3},
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
    return 0;
}
