#include "CMorphCore.h"

#include "CBmpDC.h"
#include "CMorphData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Centre of the source picture of the last build, read by the vertex order.
CPoint s_ptCenter;

// √(dx² + dy²). The sum is exact in 64 bits wherever it fits, so the result
// equals that of 32-bit squares wherever those do not overflow.
double Distance(int64_t dx, int64_t dy)
{
    const uint64_t ax = uint64_t(std::llabs(dx)), ay = uint64_t(std::llabs(dy));
    const uint64_t sx = ax * ax, sy = ay * ay; // |d| < 2^32, so each square fits
    const uint64_t sum = sx + sy;
    if (sum >= sx)
        return std::sqrt(double(sum));
    return std::sqrt(double(sx) + double(sy));
}

double SourceDistance(const CPoint& a, const CPoint& b)
{
    return Distance(int64_t(a.x) - b.x, int64_t(a.y) - b.y);
}

int Sign(int64_t v)
{
    return (v > 0) - (v < 0);
}

// Sign of a·b + c·d for |a|, |b|, |c|, |d| < 2^32, exact: the products'
// magnitudes fit in 64 unsigned bits even where the sum would not fit at all.
int SignOfProductSum(int64_t a, int64_t b, int64_t c, int64_t d)
{
    const int s1 = Sign(a) * Sign(b), s2 = Sign(c) * Sign(d);
    if (s1 == 0 || s2 == 0 || s1 == s2)
        return s1 != 0 ? s1 : s2;
    const uint64_t m1 = uint64_t(std::llabs(a)) * uint64_t(std::llabs(b));
    const uint64_t m2 = uint64_t(std::llabs(c)) * uint64_t(std::llabs(d));
    return m1 > m2 ? s1 : (m1 < m2 ? s2 : 0);
}

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

} // namespace

bool CMorphCore::SegmentsCross(const CPoint& a, const CPoint& b, const CPoint& c, const CPoint& d)
{
    const int64_t ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y, dx = d.x, dy = d.y;
    // Sides of c and d relative to the line a–b.
    const int d1 = SignOfProductSum(ax - bx, cy - ay, ax - cx, ay - by);
    const int d2 = SignOfProductSum(ax - bx, dy - ay, ax - dx, ay - by);
    if (d1 * d2 >= 0)
        return false;
    // Sides of a and b relative to the line c–d.
    const int e1 = SignOfProductSum(cx - dx, ay - cy, cx - ax, cy - dy);
    const int e2 = SignOfProductSum(cx - dx, by - cy, cx - bx, cy - dy);
    return e1 * e2 < 0;
}

bool CMorphCore::IsNearerToCenter(const CMorphHandle& a, const CMorphHandle& b)
{
    return SourceDistance(s_ptCenter, a.m_ptSource) < SourceDistance(s_ptCenter, b.m_ptSource);
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

    m_points.RemoveAll();
    for (const CPoint corner : {CPoint(0, 0), CPoint(w - 1, 0), CPoint(0, h - 1), CPoint(w - 1, h - 1)})
        m_points.Add(CMorphHandle{corner, corner});
    if (pData) {
        for (int32_t i = 0; i < pData->m_aHandles.GetSize(); ++i)
            m_points.Add(pData->m_aHandles[i]);
    }

    s_ptCenter = CPoint(w / 2, h / 2);
    std::stable_sort(m_points.GetData(), m_points.GetData() + m_points.GetSize(), IsNearerToCenter);

    const int32_t n = m_points.GetSize();
    std::vector<SLine> candidates;
    candidates.reserve(size_t(n) * size_t(n - 1) / 2);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = i + 1; j < n; ++j)
            candidates.push_back(SLine{i, j, SourceDistance(m_points[i].m_ptSource, m_points[j].m_ptSource)});
    std::stable_sort(candidates.begin(), candidates.end(), IsShorter);
    AcceptEdges(candidates);

    FindTriangles();

    m_canvas.Prepare(w, h);
    m_pData = pData;
}

void CMorphCore::AcceptEdges(std::vector<SLine>& candidates)
{
    m_lines.clear();
    // The accepted edges with their bounding boxes, and a uniform grid over all
    // vertices that lists, per cell, the accepted edges whose box touches it.
    // A crossing point lies in both boxes, so its cell is in both cell ranges:
    // looking only at the edges listed in the candidate's cells finds every
    // crossing the full scan would find.
    struct Segment
    {
        CPoint a, b;
        int32_t minX, maxX, minY, maxY;
    };
    std::vector<Segment> accepted;
    std::vector<uint64_t> seenBy; // per accepted edge: the last candidate that looked at it

    const int32_t n = m_points.GetSize();
    int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (int32_t k = 0; k < n; ++k) {
        const CPoint p = m_points[k].m_ptSource;
        x0 = k ? std::min<int64_t>(x0, p.x) : p.x;
        x1 = k ? std::max<int64_t>(x1, p.x) : p.x;
        y0 = k ? std::min<int64_t>(y0, p.y) : p.y;
        y1 = k ? std::max<int64_t>(y1, p.y) : p.y;
    }
    const int64_t cells = std::clamp<int64_t>(int64_t(std::sqrt(double(n))) * 2, 1, 64);
    const int64_t cellW = (x1 - x0) / cells + 1, cellH = (y1 - y0) / cells + 1;
    std::vector<std::vector<uint32_t>> grid(size_t(cells * cells));
    const auto cellX = [&](int64_t x) { return (x - x0) / cellW; };
    const auto cellY = [&](int64_t y) { return (y - y0) / cellH; };

    uint64_t stamp = 0;
    for (const SLine& line : candidates) {
        const CPoint a = m_points[line.nStart].m_ptSource, b = m_points[line.nEnd].m_ptSource;
        const int32_t minX = std::min(a.x, b.x), maxX = std::max(a.x, b.x);
        const int32_t minY = std::min(a.y, b.y), maxY = std::max(a.y, b.y);
        const int64_t cx0 = cellX(minX), cx1 = cellX(maxX), cy0 = cellY(minY), cy1 = cellY(maxY);
        ++stamp;
        bool crosses = false;
        for (int64_t cy = cy0; cy <= cy1 && !crosses; ++cy) {
            for (int64_t cx = cx0; cx <= cx1 && !crosses; ++cx) {
                for (const uint32_t k : grid[size_t(cy * cells + cx)]) {
                    if (seenBy[k] == stamp)
                        continue;
                    seenBy[k] = stamp;
                    const Segment& s = accepted[k];
                    // Segments whose bounding boxes are apart cannot cross.
                    if (s.maxX < minX || s.minX > maxX || s.maxY < minY || s.minY > maxY)
                        continue;
                    if (SegmentsCross(a, b, s.a, s.b)) {
                        crosses = true;
                        break;
                    }
                }
            }
        }
        if (!crosses) {
            const uint32_t k = uint32_t(accepted.size());
            m_lines.push_back(line);
            accepted.push_back(Segment{a, b, minX, maxX, minY, maxY});
            seenBy.push_back(0);
            for (int64_t cy = cy0; cy <= cy1; ++cy)
                for (int64_t cx = cx0; cx <= cx1; ++cx)
                    grid[size_t(cy * cells + cx)].push_back(k);
        }
    }
    candidates.clear();
    candidates.shrink_to_fit();
}

void CMorphCore::FindTriangles()
{
    m_polygons.clear();
    const size_t n = size_t(m_points.GetSize());
    // Edges by start vertex, in list order: offsets into byStart.
    std::vector<size_t> first(n + 1, 0);
    for (const SLine& line : m_lines)
        ++first[size_t(line.nStart) + 1];
    for (size_t v = 0; v < n; ++v)
        first[v + 1] += first[v];
    std::vector<int32_t> byStart(m_lines.size());
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (const SLine& line : m_lines)
        byStart[fill[size_t(line.nStart)]++] = line.nEnd;
    // The same ends sorted, to look up whether an edge exists.
    std::vector<int32_t> sortedEnds = byStart;
    for (size_t v = 0; v < n; ++v)
        std::sort(sortedEnds.begin() + ptrdiff_t(first[v]), sortedEnds.begin() + ptrdiff_t(first[v + 1]));
    auto hasEdge = [&](int32_t p, int32_t r) {
        return std::binary_search(sortedEnds.begin() + ptrdiff_t(first[size_t(p)]),
                                  sortedEnds.begin() + ptrdiff_t(first[size_t(p) + 1]), r);
    };

    for (int32_t p = 0; p < int32_t(n); ++p) {
        for (size_t e1 = first[size_t(p)]; e1 < first[size_t(p) + 1]; ++e1) {
            const int32_t q = byStart[e1];
            for (size_t e2 = first[size_t(q)]; e2 < first[size_t(q) + 1]; ++e2) {
                const int32_t r = byStart[e2];
                if (hasEdge(p, r) && !IsRefused(p, q, r))
                    m_polygons.push_back(SPolygon{p, q, r});
            }
        }
    }
}

bool CMorphCore::IsRefused(int32_t p, int32_t q, int32_t r) const
{
    const CPoint P = m_points[p].m_ptSource, Q = m_points[q].m_ptSource, R = m_points[r].m_ptSource;
    // Sums of three int32 fit in 64 bits; their thirds fit in 32.
    const CPoint G(int32_t((int64_t(P.x) + Q.x + R.x) / 3), int32_t((int64_t(P.y) + Q.y + R.y) / 3));
    // A point is inside when the segment from G to it leaves through no edge.
    auto inside = [&](int32_t vertex) {
        const CPoint C = m_points[vertex].m_ptSource;
        return !SegmentsCross(G, C, P, Q) && !SegmentsCross(G, C, Q, R) && !SegmentsCross(G, C, R, P);
    };
    for (const SPolygon& t : m_polygons) {
        if (t.nVertex1 == p && t.nVertex2 == q)
            return inside(t.nVertex3);
        if (t.nVertex2 == q && t.nVertex3 == r)
            return inside(t.nVertex1);
        if (t.nVertex3 == r && t.nVertex1 == p)
            return inside(t.nVertex2);
    }
    return false;
}

void CMorphCore::RenderFrame(CImage& out, float t)
{
    if (!m_pData || !m_pData->m_pSourceImage || !m_pData->m_pTargetImage)
        return;
    CImage& source = *m_pData->m_pSourceImage;
    CImage& target = *m_pData->m_pTargetImage;

    if (t == 0.0f || t == 1.0f) {
        CImage& picture = t == 0.0f ? source : target;
        CBmpDC dc(out);
        dc.BitBlt(0, 0, picture.GetWidth(), picture.GetHeight(), *picture.GetDC(), 0, 0);
        picture.ReleaseDC();
        return;
    }

    const double dt = t, rt = 1.0 - dt;
    const int32_t n = m_points.GetSize();
    std::vector<CPoint> between(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) {
        const CMorphHandle& v = m_points[k];
        between[size_t(k)] = CPoint(TruncToInt32(dt * v.m_ptTarget.x + rt * v.m_ptSource.x),
                                    TruncToInt32(dt * v.m_ptTarget.y + rt * v.m_ptSource.y));
    }
    const uint8_t alpha = uint8_t(std::clamp(TruncToInt32(dt * 255.0), 0, 255));
    const int32_t width = m_canvas.GetWidth(), height = m_canvas.GetHeight();
    const int32_t blendWidth = std::min(width, out.GetWidth());
    const int32_t blendHeight = std::min(height, out.GetHeight());
    const CSpanKernel& kernel = m_canvas.GetKernel();
    // Rows per slice: the canvas and output rows of a slice stay in the cache between the steps.
    constexpr int32_t kSliceRows = 32;

    struct STriangle
    {
        CPoint aSource[3];
        CPoint aTarget[3];
        CPoint aBetween[3];
        int32_t nTop;
        int32_t nBottom;
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
    }

    // Every step below works row by row, so disjoint bands of rows are drawn
    // independently and give the same bytes as one pass over all rows. A band
    // takes all steps one slice of rows at a time.
    auto band = [&](int index, int count) {
        const int32_t bandBegin = int32_t(int64_t(height) * index / count);
        const int32_t bandEnd = int32_t(int64_t(height) * (index + 1) / count);
        CBmpDC outDc(out);
        CBmpDC canvasDc(m_canvas);
        for (int32_t rowBegin = bandBegin, rowEnd; rowBegin < bandEnd; rowBegin = rowEnd) {
            rowEnd = int32_t(std::min<int64_t>(int64_t(rowBegin) + kSliceRows, bandEnd));
            const auto fillAll = [&](bool fromTarget, const CImage& texture) {
                for (const STriangle& tri : triangles)
                    if (tri.nTop < rowEnd && tri.nBottom >= rowBegin)
                        m_canvas.FillTriangleRows(fromTarget ? tri.aTarget : tri.aSource, tri.aBetween, texture,
                                                  rowBegin, rowEnd);
            };
            m_canvas.ClearRows(rowBegin, rowEnd);
            fillAll(false, source);
            outDc.BitBlt(0, rowBegin, width, rowEnd - rowBegin, canvasDc, 0, rowBegin);
            m_canvas.ClearRows(rowBegin, rowEnd);
            fillAll(true, target);
            for (int32_t y = rowBegin; y < std::min(rowEnd, blendHeight); ++y)
                kernel.Blend(out.PixelAddress(0, y), m_canvas.PixelAddress(0, y), size_t(blendWidth) * 3, alpha);
        }
    };

    // Small frames are not worth waking threads for.
    int bands = m_nThreads > 0 ? m_nThreads : int(std::max(1u, std::thread::hardware_concurrency()));
    bands = std::clamp(bands, 1, 16);
    if (int64_t(width) * height < 65536 && m_nThreads <= 0)
        bands = 1;
    bands = std::min<int>(bands, std::max(height, 1));
    auto job = [&](int index) { band(index, bands); };
    if (bands == 1)
        job(0);
    else
        m_bandRunner.Run(bands, job);
}
