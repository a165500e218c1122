#include "CMorphCore.h"

#include "CBmpDC.h"
#include "CEdgeGrid.h"
#include "CMorphData.h"
#include "CMeshTooLargeError.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

// Centre of the source picture of the last build, read by the vertex order.
CPoint s_ptCenter;

// trunc toward zero, saturated to the int32 range; NaN gives 0.
int32_t TruncToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= -2147483649.0)
        return std::numeric_limits<int32_t>::min();
    if (v >= 2147483648.0)
        return std::numeric_limits<int32_t>::max();
    return int32_t(v);
}

// Sorts lines made in (nStart, nEnd) order by length, keeping that order
// among equal lengths: a stable radix sort on the bits of the length, which
// order as the lengths do since no length is negative.
void SortByLength(std::vector<CMorphCore::SLine>& lines, std::vector<CMorphCore::SLine>& scratch)
{
    constexpr int kDigitBits = 11;
    constexpr uint64_t kDigitMask = (uint64_t(1) << kDigitBits) - 1;
    const auto bits = [](const CMorphCore::SLine& line) { return std::bit_cast<uint64_t>(line.dLength); };
    uint64_t differing = 0;
    for (const CMorphCore::SLine& line : lines)
        differing |= bits(line) ^ bits(lines.front());
    scratch.resize(lines.size());
    for (int shift = 0; shift < 64; shift += kDigitBits) {
        if (((differing >> shift) & kDigitMask) == 0)
            continue; // every key has the same digit here
        std::vector<size_t> offsets(size_t(kDigitMask) + 2, 0);
        for (const CMorphCore::SLine& line : lines)
            ++offsets[size_t((bits(line) >> shift) & kDigitMask) + 1];
        for (size_t d = 1; d < offsets.size(); ++d)
            offsets[d] += offsets[d - 1];
        for (const CMorphCore::SLine& line : lines)
            scratch[offsets[size_t((bits(line) >> shift) & kDigitMask)]++] = line;
        lines.swap(scratch);
    }
}

// The least square sum below 2^63 whose length √ reaches the given length.
uint64_t FirstSumReaching(double length)
{
    uint64_t low = 0, high = uint64_t(1) << 63;
    while (low < high) {
        const uint64_t mid = low + (high - low) / 2;
        if (std::sqrt(double(mid)) >= length)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

// Limits that keep a build within about 30 s and 2 GB on a desktop machine.
// Accepted edges: each costs about 130 bytes by the end of the build.
constexpr uint64_t kMaxEdges = 12'000'000;
// Vertex pairs made over all passes of the candidate chunks.
constexpr uint64_t kMaxCandidateWork = 4'000'000'000;

[[noreturn]] void ThrowTooLarge(int32_t vertices, const char* what, uint64_t count, uint64_t limit,
                                uint64_t edges, uint64_t edgePairs)
{
    throw CMeshTooLargeError("the mesh of " + std::to_string(vertices) + " vertices " + what + " " +
                                 std::to_string(count) + ", more than the limit of " + std::to_string(limit),
                             edges, edgePairs);
}

// Every pair of vertices at one position is accepted, and every three of
// them are visited by the triangle search, so large groups are refused
// before any candidate is made.
void RefuseLargeGroups(const std::vector<CPoint>& points, uint64_t edgePairLimit)
{
    std::vector<CPoint> sorted(points);
    std::sort(sorted.begin(), sorted.end(),
              [](const CPoint& a, const CPoint& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    uint64_t zeroEdges = 0, zeroPairs = 0;
    for (size_t begin = 0, end = 0; begin < sorted.size(); begin = end) {
        while (end < sorted.size() && sorted[end] == sorted[begin])
            ++end;
        const uint64_t k = end - begin;
        zeroEdges += k * (k - 1) / 2;
        zeroPairs += k * (k - 1) / 2 * (k - 2) / 3; // k(k−1)/2 is whole, and so is C(k, 3)
    }
    const int32_t n = int32_t(points.size());
    if (zeroEdges > kMaxEdges)
        ThrowTooLarge(n, "would have at least this many edges of length 0:", zeroEdges, kMaxEdges, zeroEdges,
                      zeroPairs);
    if (zeroPairs > edgePairLimit)
        ThrowTooLarge(n, "would visit at least this many edge pairs in its triangle search:", zeroPairs,
                      edgePairLimit, zeroEdges, zeroPairs);
}

// Candidate lengths fall into buckets by the top bits of their double, which
// order as the lengths do (lengths are ≥ 0).
constexpr int kBucketShift = 44;
constexpr size_t kBuckets = size_t(1) << (64 - kBucketShift);

size_t BucketOf(double length)
{
    return size_t(std::bit_cast<uint64_t>(length) >> kBucketShift);
}

// Calls take(i, j, length) for every vertex pair i < j, in that order, whose
// length lies in the buckets [begin, end). Within a small span the length is
// √ of the exact square sum, rounded once, so it grows with the sum: the
// buckets are then one range of sums, tested without a root.
template <class Take>
void MakeCandidates(const std::vector<CPoint>& points, bool smallSpan, size_t begin, size_t end, Take&& take)
{
    const auto pairs = [p = points.data(), n = int32_t(points.size()), &take](const auto& lengthIfTaken) {
        for (int32_t i = 0; i < n; ++i) {
            const CPoint a = p[i];
            for (int32_t j = i + 1; j < n; ++j)
                if (const std::optional<double> length = lengthIfTaken(a, p[j]))
                    take(i, j, *length);
        }
    };
    if (!smallSpan) {
        pairs([=](const CPoint& a, const CPoint& b) -> std::optional<double> {
            const double length = CGeometry::Distance(a, b);
            return BucketOf(length) >= begin && BucketOf(length) < end ? std::optional(length) : std::nullopt;
        });
        return;
    }
    const auto firstSum = [](size_t bucket) {
        return bucket == kBuckets ? std::numeric_limits<uint64_t>::max()
                                  : FirstSumReaching(std::bit_cast<double>(uint64_t(bucket) << kBucketShift));
    };
    const uint64_t sumBegin = firstSum(begin), sumEnd = firstSum(end);
    pairs([=](const CPoint& a, const CPoint& b) -> std::optional<double> {
        const uint64_t sum = CGeometry::SquareSumOfSmall(a, b);
        return sum >= sumBegin && sum < sumEnd ? std::optional(std::sqrt(double(sum))) : std::nullopt;
    });
}

// The candidates, made and sorted in chunks of at most a given size, each
// covering a range of buckets, so that the n(n − 1)/2 of them are never held
// at once: how many fall into each bucket, or no counts when all of them fit
// in one chunk.
struct SChunkPlan
{
    uint64_t nTotal = 0;
    std::vector<uint64_t> aCounts;
};

// Each pass over the vertex pairs makes one chunk, after a first pass that
// counts them.
SChunkPlan PlanChunks(const std::vector<CPoint>& points, bool smallSpan, size_t chunkLimit)
{
    const int32_t n = int32_t(points.size());
    SChunkPlan plan;
    plan.nTotal = uint64_t(n) * uint64_t(std::max(n - 1, 0)) / 2;
    const uint64_t leastPasses = plan.nTotal > chunkLimit ? 1 + (plan.nTotal + chunkLimit - 1) / chunkLimit : 1;
    if (plan.nTotal > kMaxCandidateWork / leastPasses)
        ThrowTooLarge(n, "would make this many candidate edges over all passes:", plan.nTotal * leastPasses,
                      kMaxCandidateWork, 0, 0);
    if (plan.nTotal > chunkLimit) {
        plan.aCounts.assign(kBuckets, 0);
        MakeCandidates(points, smallSpan, 0, kBuckets,
                       [&](int32_t, int32_t, double length) { ++plan.aCounts[BucketOf(length)]; });
    }
    return plan;
}

// The chunk from bucket begin: sets end past its last bucket and returns how
// many candidates it holds, 0 when none are left. A chunk takes all buckets
// when there are no counts, else as many as fit, and at least one.
uint64_t NextChunk(const SChunkPlan& plan, size_t begin, size_t chunkLimit, size_t& end)
{
    if (plan.aCounts.empty()) {
        end = kBuckets;
        return begin == 0 ? plan.nTotal : 0;
    }
    uint64_t size = 0;
    for (end = begin; end < kBuckets && (size == 0 || size + plan.aCounts[end] <= chunkLimit); ++end)
        size += plan.aCounts[end];
    return size;
}

} // namespace

bool CMorphCore::IsNearerToCenter(const CMorphHandle& a, const CMorphHandle& b)
{
    return CGeometry::Distance(s_ptCenter, a.m_ptSource) < CGeometry::Distance(s_ptCenter, b.m_ptSource);
}

bool CMorphCore::IsShorter(const SLine& a, const SLine& b)
{
    return a.dLength < b.dLength;
}

void CMorphCore::BuildMesh(CMorphData* pData)
{
    const CImage* source = pData ? pData->m_pSourceImage.get() : nullptr;
    const int32_t w = source ? source->GetWidth() : 0;
    const int32_t h = source ? source->GetHeight() : 0;

    m_fullPoints.RemoveAll();
    m_points.RemoveAll();
    for (const CPoint corner : {CPoint(0, 0), CPoint(w - 1, 0), CPoint(0, h - 1), CPoint(w - 1, h - 1)})
        m_points.Add(CMorphHandle{corner, corner});
    if (pData) {
        for (int32_t i = 0; i < pData->m_aHandles.GetSize(); ++i)
            m_points.Add(pData->m_aHandles[i]);
    }

    s_ptCenter = CPoint(w / 2, h / 2);
    std::stable_sort(m_points.GetData(), m_points.GetData() + m_points.GetSize(), IsNearerToCenter);

    AcceptEdges();
    FindTriangles();

    m_canvas.Prepare(w, h);
    m_pData = pData;
}

// The triangle search visits, for each edge (p, q), every edge that starts
// at q. That count is kept as edges come in: a new edge (s, e) adds the
// edges leaving e, and one for each edge that ends at s.
struct CMorphCore::SEdgeTally
{
    std::vector<uint32_t> aLeaving, aArriving;
    uint64_t nEdgePairs = 0;
};

void CMorphCore::AcceptEdges()
{
    m_lines.clear();
    const int32_t n = m_points.GetSize();
    std::vector<CPoint> points(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k)
        points[size_t(k)] = m_points[k].m_ptSource;
    RefuseLargeGroups(points, m_nEdgePairLimit);

    // Candidates are every pair i < j, taken by length and, among equal
    // lengths, in (i, j) order, chunk by chunk.
    const bool smallSpan = CGeometry::IsSmallSpan(CGeometry::BoundsOf(points.data(), points.size()));
    const SChunkPlan plan = PlanChunks(points, smallSpan, m_nCandidateChunk);
    CEdgeGrid grid(points);
    SEdgeTally tally{std::vector<uint32_t>(size_t(n), 0), std::vector<uint32_t>(size_t(n), 0)};
    std::vector<SLine> chunk, scratch;
    for (size_t begin = 0, end = 0;; begin = end) {
        const uint64_t size = NextChunk(plan, begin, m_nCandidateChunk, end);
        if (size == 0)
            break;
        chunk.clear();
        chunk.reserve(size_t(size));
        MakeCandidates(points, smallSpan, begin, end,
                       [&](int32_t i, int32_t j, double length) { chunk.push_back(SLine{i, j, length}); });
        SortByLength(chunk, scratch);
        for (const SLine& line : chunk) {
            if (grid.Crosses(line.nStart, line.nEnd))
                continue;
            Accept(line, tally);
            grid.Add(line.nStart, line.nEnd);
        }
    }
}

void CMorphCore::Accept(const SLine& line, SEdgeTally& tally)
{
    const int32_t n = m_points.GetSize();
    tally.nEdgePairs += tally.aLeaving[size_t(line.nEnd)] + uint64_t(tally.aArriving[size_t(line.nStart)]);
    ++tally.aLeaving[size_t(line.nStart)];
    ++tally.aArriving[size_t(line.nEnd)];
    if (m_lines.size() >= kMaxEdges)
        ThrowTooLarge(n, "would have at least this many edges:", m_lines.size() + 1, kMaxEdges, m_lines.size() + 1,
                      tally.nEdgePairs);
    if (tally.nEdgePairs > m_nEdgePairLimit)
        ThrowTooLarge(n, "would visit at least this many edge pairs in its triangle search:", tally.nEdgePairs,
                      m_nEdgePairLimit, m_lines.size() + 1, tally.nEdgePairs);
    m_lines.push_back(line);
}

void CMorphCore::FindTriangles()
{
    m_polygons.clear();
    const size_t n = size_t(m_points.GetSize());
    // Edges by start vertex, in list order: offsets into byStart, which holds
    // each edge's index in m_lines.
    std::vector<size_t> first(n + 1, 0);
    for (const SLine& line : m_lines)
        ++first[size_t(line.nStart) + 1];
    for (size_t v = 0; v < n; ++v)
        first[v + 1] += first[v];
    std::vector<size_t> byStart(m_lines.size());
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (size_t e = 0; e < m_lines.size(); ++e)
        byStart[fill[size_t(m_lines[e].nStart)]++] = e;

    // Per edge, the far corners of the triangles found so far that hold it at
    // the positions (first, second), (second, third) and (first, third).
    std::vector<std::vector<int32_t>> farOfFirstSecond(m_lines.size()), farOfSecondThird(m_lines.size()),
        farOfFirstThird(m_lines.size());
    // For the current p: the index of the edge (p, r) plus one, or 0.
    std::vector<size_t> edgeFromP(n, 0);
    // The search visits edgePairs pairs (e1, e2); tests of far corners may
    // take up the rest of the limit.
    uint64_t edgePairs = 0;
    for (const SLine& line : m_lines)
        edgePairs += first[size_t(line.nEnd) + 1] - first[size_t(line.nEnd)];
    uint64_t cornerTests = 0;
    const uint64_t cornerLimit = m_nEdgePairLimit - std::min(edgePairs, m_nEdgePairLimit);

    for (int32_t p = 0; p < int32_t(n); ++p) {
        for (size_t k = first[size_t(p)]; k < first[size_t(p) + 1]; ++k)
            edgeFromP[size_t(m_lines[byStart[k]].nEnd)] = byStart[k] + 1;
        for (size_t k1 = first[size_t(p)]; k1 < first[size_t(p) + 1]; ++k1) {
            const size_t e1 = byStart[k1];
            const int32_t q = m_lines[e1].nEnd;
            for (size_t k2 = first[size_t(q)]; k2 < first[size_t(q) + 1]; ++k2) {
                const size_t e2 = byStart[k2];
                const int32_t r = m_lines[e2].nEnd;
                if (edgeFromP[size_t(r)] == 0)
                    continue;
                const size_t e3 = edgeFromP[size_t(r)] - 1;
                if (IsRefused(p, q, r, farOfFirstSecond[e1], farOfSecondThird[e2], farOfFirstThird[e3],
                              cornerTests, cornerLimit))
                    continue;
                m_polygons.push_back(SPolygon{p, q, r});
                farOfFirstSecond[e1].push_back(r);
                farOfSecondThird[e2].push_back(p);
                farOfFirstThird[e3].push_back(q);
            }
        }
        for (size_t k = first[size_t(p)]; k < first[size_t(p) + 1]; ++k)
            edgeFromP[size_t(m_lines[byStart[k]].nEnd)] = 0;
    }
}

bool CMorphCore::IsRefused(int32_t p, int32_t q, int32_t r, const std::vector<int32_t>& farOfPQ,
                           const std::vector<int32_t>& farOfQR, const std::vector<int32_t>& farOfPR,
                           uint64_t& cornerTests, uint64_t cornerLimit) const
{
    const CPoint P = m_points[p].m_ptSource, Q = m_points[q].m_ptSource, R = m_points[r].m_ptSource;
    // Sums of three int32 fit in 64 bits; their thirds fit in 32.
    const CPoint G(int32_t((int64_t(P.x) + Q.x + R.x) / 3), int32_t((int64_t(P.y) + Q.y + R.y) / 3));
    // A point is inside when the segment from G to it leaves through no edge.
    const auto inside = [&](int32_t vertex) {
        const CPoint C = m_points[vertex].m_ptSource;
        return !SegmentsCross(G, C, P, Q) && !SegmentsCross(G, C, Q, R) && !SegmentsCross(G, C, R, P);
    };
    // Any one earlier triangle whose far corner is inside refuses the
    // candidate, so the order of looking does not change the answer.
    // When G lies on the line of all three edges (the points are on one line,
    // or at one position), no segment from G leaves through an edge, so every
    // corner is inside.
    if (CGeometry::SideOf(P, Q, G) == 0 && CGeometry::SideOf(Q, R, G) == 0 && CGeometry::SideOf(R, P, G) == 0)
        return !farOfPQ.empty() || !farOfQR.empty() || !farOfPR.empty();
    const auto anyInside = [&](const std::vector<int32_t>& far) {
        for (const int32_t corner : far) {
            if (++cornerTests > cornerLimit)
                ThrowTooLarge(m_points.GetSize(), "would test at least this many far corners:", cornerTests,
                              cornerLimit, m_lines.size(), m_nEdgePairLimit);
            if (inside(corner))
                return true;
        }
        return false;
    };
    return anyInside(farOfPQ) || anyInside(farOfQR) || anyInside(farOfPR);
}

void CMorphCore::RenderFrame(CImage& out, float shape, float color)
{
    RenderFrameRect(out, shape, color, CRect(0, 0, INT32_MAX, INT32_MAX));
}

namespace {

// Pixel centre v of a picture carried to one scale times its size, rounded:
// for scales up to 1, 0 stays 0 and size − 1 becomes the new size − 1, and
// points outside the picture stay outside by as far, scaled.
int32_t CarryAxis(int32_t v, double scale)
{
    return TruncToInt32(std::floor((v + 0.5) * scale));
}

} // namespace

void CMorphCore::BuildScaledMesh(const CMorphCore& full, CMorphData* pData)
{
    const CImage* source = pData ? pData->m_pSourceImage.get() : nullptr;
    const int32_t w = source ? source->GetWidth() : 0, h = source ? source->GetHeight() : 0;
    const int32_t fullW = full.m_canvas.GetWidth(), fullH = full.m_canvas.GetHeight();
    m_dScaleX = fullW > 0 ? double(w) / fullW : 0.0;
    m_dScaleY = fullH > 0 ? double(h) / fullH : 0.0;
    m_fullPoints = full.m_points;
    m_points.RemoveAll();
    for (int32_t k = 0; k < full.m_points.GetSize(); ++k) {
        const CMorphHandle& v = full.m_points[k];
        m_points.Add(CMorphHandle{CPoint(CarryAxis(v.m_ptSource.x, m_dScaleX), CarryAxis(v.m_ptSource.y, m_dScaleY)),
                                  CPoint(CarryAxis(v.m_ptTarget.x, m_dScaleX), CarryAxis(v.m_ptTarget.y, m_dScaleY))});
    }
    m_lines = full.m_lines;
    m_polygons = full.m_polygons;
    if (m_canvas.GetWidth() != w || m_canvas.GetHeight() != h || m_canvas.IsNull())
        m_canvas.Prepare(w, h);
    m_pData = pData;
}

void CMorphCore::RenderFrameRect(CImage& out, float shape, float color, const CRect& rect)
{
    if (!m_pData || !m_pData->m_pSourceImage || !m_pData->m_pTargetImage)
        return;
    const CImage& source = *m_pData->m_pSourceImage;
    const CImage& target = *m_pData->m_pTargetImage;
    // Frame pixel (x, y) goes to out's (x − rect.left, y − rect.top); only
    // frame pixels inside the rectangle, the frame and out are drawn. The
    // ends are copies of a picture, the frames between drawn on the canvas.
    const bool end = shape == color && (shape == 0.0f || shape == 1.0f);
    const CImage& frame = !end ? static_cast<const CImage&>(m_canvas) : shape == 0.0f ? source : target;
    const int32_t colBegin = std::max(rect.left, 0);
    const int32_t colEnd = int32_t(std::min<int64_t>({rect.right, frame.GetWidth(), int64_t(rect.left) + out.GetWidth()}));
    const int32_t rowBegin = std::max(rect.top, 0);
    const int32_t rowEnd =
        int32_t(std::min<int64_t>({rect.bottom, frame.GetHeight(), int64_t(rect.top) + out.GetHeight()}));
    if (colBegin >= colEnd || rowBegin >= rowEnd)
        return;
    const auto outAddress = [&](int32_t x, int32_t y) { return out.PixelAddress(x - rect.left, y - rect.top); };

    // The ends are exact copies, row by row: no drawing surface is lent out
    // of the shared pictures.
    if (end) {
        for (int32_t y = rowBegin; y < rowEnd; ++y)
            std::memcpy(outAddress(colBegin, y), frame.PixelAddress(colBegin, y), size_t(colEnd - colBegin) * 3);
        return;
    }
    const double ds = shape, rs = 1.0 - ds;
    const int32_t n = m_points.GetSize();
    std::vector<CPoint> between(static_cast<size_t>(n));
    const bool scaled = m_fullPoints.GetSize() == n && n > 0;
    for (int32_t k = 0; k < n; ++k) {
        const CMorphHandle& v = scaled ? m_fullPoints[k] : m_points[k];
        const CPoint p(TruncToInt32(ds * v.m_ptTarget.x + rs * v.m_ptSource.x),
                       TruncToInt32(ds * v.m_ptTarget.y + rs * v.m_ptSource.y));
        between[size_t(k)] = scaled ? CPoint(CarryAxis(p.x, m_dScaleX), CarryAxis(p.y, m_dScaleY)) : p;
    }
    const double dc = color;
    const uint8_t alpha = uint8_t(std::clamp(TruncToInt32(dc * 255.0), 0, 255));
    const CSpanKernel& kernel = m_canvas.GetKernel();
    // Rows per slice: the canvas and output rows of a slice stay in the cache
    // between the steps, and the last slices to end keep the bands waiting little.
    constexpr int32_t kSliceRows = 16;

    struct STriangle
    {
        CPoint aSource[3];
        CPoint aTarget[3];
        CPoint aBetween[3];
        int32_t nTop;
        int32_t nBottom;
        int32_t nLeft;
        int32_t nRight;
    };
    std::vector<STriangle> triangles(m_polygons.size());
    for (size_t i = 0; i < m_polygons.size(); ++i) {
        const int32_t idx[3] = {m_polygons[i].nVertex1, m_polygons[i].nVertex2, m_polygons[i].nVertex3};
        STriangle& tri = triangles[i];
        for (int k = 0; k < 3; ++k) {
            tri.aSource[k] = m_points[idx[k]].m_ptSource;
            tri.aTarget[k] = m_points[idx[k]].m_ptTarget;
            tri.aBetween[k] = between[size_t(idx[k])];
        }
        tri.nTop = std::min({tri.aBetween[0].y, tri.aBetween[1].y, tri.aBetween[2].y});
        tri.nBottom = std::max({tri.aBetween[0].y, tri.aBetween[1].y, tri.aBetween[2].y});
        tri.nLeft = std::min({tri.aBetween[0].x, tri.aBetween[1].x, tri.aBetween[2].x});
        tri.nRight = std::max({tri.aBetween[0].x, tri.aBetween[1].x, tri.aBetween[2].x});
    }

    // Every step below works row by row, so disjoint slices of rows are drawn
    // independently and give the same bytes as one pass over all rows. Each
    // band takes the next slice not yet taken until none is left, so bands
    // that start late or meet costlier rows take fewer, and all end together.
    // A triangle's spans lie between its leftmost and rightmost vertex, so
    // one wholly beside the columns drawn changes none of them.
    const int32_t rows = rowEnd - rowBegin;
    const int32_t slices = int32_t((int64_t(rows) + kSliceRows - 1) / kSliceRows);
    std::atomic<int32_t> nextSlice{0};
    auto band = [&](int) {
        CBmpDC outDc(out);
        CBmpDC canvasDc(m_canvas);
        for (int32_t slice; (slice = nextSlice.fetch_add(1, std::memory_order_relaxed)) < slices;) {
            const int32_t first = rowBegin + slice * kSliceRows;
            const int32_t last = int32_t(std::min<int64_t>(int64_t(first) + kSliceRows, rowEnd));
            const auto fillAll = [&](bool fromTarget, const CImage& texture) {
                for (const STriangle& tri : triangles)
                    if (tri.nTop < last && tri.nBottom >= first && tri.nLeft < colEnd && tri.nRight >= colBegin)
                        m_canvas.FillTriangleRows(fromTarget ? tri.aTarget : tri.aSource, tri.aBetween, texture,
                                                  first, last, colBegin, colEnd);
            };
            m_canvas.ClearRows(first, last, colBegin, colEnd);
            fillAll(false, source);
            outDc.BitBlt(colBegin - rect.left, first - rect.top, colEnd - colBegin, last - first, canvasDc, colBegin,
                         first);
            m_canvas.ClearRows(first, last, colBegin, colEnd);
            fillAll(true, target);
            for (int32_t y = first; y < last; ++y)
                kernel.Blend(outAddress(colBegin, y), m_canvas.PixelAddress(colBegin, y), size_t(colEnd - colBegin) * 3,
                             alpha);
        }
    };

    // Small frames are not worth waking threads for.
    int bands = m_nThreads > 0 ? m_nThreads : int(std::max(1u, std::thread::hardware_concurrency()));
    bands = std::clamp(bands, 1, 16);
    if (int64_t(colEnd - colBegin) * rows < 65536 && m_nThreads <= 0)
        bands = 1;
    bands = std::min<int>(bands, std::max(slices, 1));
    if (bands == 1)
        band(0);
    else
        m_bandRunner.Run(bands, band);
}
