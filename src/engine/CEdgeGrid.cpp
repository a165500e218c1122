#include "engine/CEdgeGrid.h"

#include "engine/CGeometry.h"

#include <algorithm>
#include <cmath>
#include <numeric>

CEdgeGrid::CEdgeGrid(const std::vector<CPoint>& vertices)
    : m_aVertices(vertices), m_aRecent(vertices.size()), m_aRecentNext(vertices.size(), 0)
{
    const CGeometry::SBounds box = CGeometry::BoundsOf(vertices.data(), vertices.size());
    m_nX0 = box.nMinX;
    m_nY0 = box.nMinY;
    m_bSmall = CGeometry::IsSmallSpan(box);
    // About two cells per vertex, with no more than 2^16 cells.
    const int64_t spanX = box.nMaxX - m_nX0, spanY = box.nMaxY - m_nY0;
    const double cellsWanted = std::clamp(2.0 * double(vertices.size()), 1.0, 65536.0);
    while (m_nShift < 40 && double((spanX >> m_nShift) + 1) * double((spanY >> m_nShift) + 1) > cellsWanted)
        ++m_nShift;
    m_nColumns = (spanX >> m_nShift) + 1;
    m_nRows = (spanY >> m_nShift) + 1;
    m_aCells.resize(size_t(m_nColumns * m_nRows));
}

size_t CEdgeGrid::SLineHash::operator()(const SLineKey& key) const
{
    // The line's offset from the origin, modulo 2^64: equal for equal lines.
    const uint64_t offset = uint64_t(key.nDirX) * uint64_t(int64_t(key.a.y))
        - uint64_t(key.nDirY) * uint64_t(int64_t(key.a.x));
    uint64_t h = offset * 0x9E3779B97F4A7C15ULL;
    h ^= uint64_t(key.nDirX) + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2);
    h ^= uint64_t(key.nDirY) + 0x85157AF5ULL + (h << 6) + (h >> 2);
    return size_t(h ^ (h >> 32));
}

bool CEdgeGrid::SLineEqual::operator()(const SLineKey& k1, const SLineKey& k2) const
{
    return k1.nDirX == k2.nDirX && k1.nDirY == k2.nDirY && CGeometry::SideOf(k1.a, k1.b, k2.a) == 0;
}

int32_t CEdgeGrid::LineOf(const CPoint& a, const CPoint& b)
{
    int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
    const int64_t g = std::gcd(dx, dy); // > 0, as a != b
    dx /= g;
    dy /= g;
    if (dx < 0 || (dx == 0 && dy < 0)) {
        dx = -dx;
        dy = -dy;
    }
    const auto [it, added] = m_lineIds.try_emplace(SLineKey{dx, dy, a, b}, int32_t(m_lineIds.size()));
    (void)added;
    return it->second;
}

inline int CEdgeGrid::Side(const CPoint& a, const CPoint& b, const CPoint& c) const
{
    return m_bSmall ? CGeometry::SideOfSmall(a, b, c) : CGeometry::SideOf(a, b, c);
}

template <class F>
bool CEdgeGrid::Walk(const CPoint& a, const CPoint& b, F&& visit) const
{
    const int64_t ax = a.x, ay = a.y, bx = b.x, by = b.y;
    const int64_t minX = std::min(ax, bx), maxX = std::max(ax, bx);
    const int64_t minY = std::min(ay, by), maxY = std::max(ay, by);
    const int64_t c0 = CellX(ax), c1 = CellX(bx), step = c1 >= c0 ? 1 : -1;
    const bool downwards = by >= ay;
    for (int64_t cx = c0;; cx += step) {
        int64_t r0 = CellY(minY), r1 = CellY(maxY);
        if (c0 != c1) {
            // The rows the segment passes through within this column, widened
            // by one pixel either way against rounding.
            const int64_t left = m_nX0 + (cx << m_nShift);
            const int64_t xl = std::max(minX, left), xh = std::min(maxX, left + (int64_t(1) << m_nShift));
            const double slope = double(by - ay) / double(bx - ax);
            double yl = double(ay) + double(xl - ax) * slope, yh = double(ay) + double(xh - ax) * slope;
            if (yl > yh)
                std::swap(yl, yh);
            r0 = CellY(std::clamp<int64_t>(int64_t(std::floor(yl)) - 1, minY, maxY));
            r1 = CellY(std::clamp<int64_t>(int64_t(std::floor(yh)) + 1, minY, maxY));
        }
        for (int64_t k = 0; k <= r1 - r0; ++k) {
            const int64_t cy = downwards ? r0 + k : r1 - k;
            if (visit(size_t(cy * m_nColumns + cx)))
                return true;
        }
        if (cx == c1)
            return false;
    }
}

bool CEdgeGrid::Crosses(int32_t i, int32_t j)
{
    const CPoint& a = m_aVertices[size_t(i)];
    const CPoint& b = m_aVertices[size_t(j)];
    if (m_nEdges == 0 || a == b)
        return false;
    if (CrossesRecent(i, a, b) || CrossesRecent(j, a, b))
        return true;
    CPoint hit[2];
    if (!CrossesListed(a, b, hit))
        return false;
    Remember(i, hit);
    Remember(j, hit);
    return true;
}

bool CEdgeGrid::CrossesRecent(int32_t vertex, const CPoint& a, const CPoint& b) const
{
    const std::array<CPoint, 2 * kRecent>& list = m_aRecent[size_t(vertex)];
    for (size_t k = 0; k < kRecent; ++k)
        if (list[2 * k] != list[2 * k + 1] && CGeometry::SegmentsCross(a, b, list[2 * k], list[2 * k + 1]))
            return true;
    return false;
}

void CEdgeGrid::Remember(int32_t vertex, const CPoint (&hit)[2])
{
    const size_t k = m_aRecentNext[size_t(vertex)];
    m_aRecent[size_t(vertex)][2 * k] = hit[0];
    m_aRecent[size_t(vertex)][2 * k + 1] = hit[1];
    m_aRecentNext[size_t(vertex)] = uint8_t((k + 1) % kRecent);
}

bool CEdgeGrid::CrossesListed(const CPoint& a, const CPoint& b, CPoint (&hit)[2]) const
{
    int32_t ownLine = -1;
    const int32_t minX = std::min(a.x, b.x), maxX = std::max(a.x, b.x);
    const int32_t minY = std::min(a.y, b.y), maxY = std::max(a.y, b.y);
    const auto lineLess = [](int32_t line, const SEntry& e) { return line < e.nLine; };
    // An edge listed in several cells may be tested more than once, which
    // costs less than remembering which were.
    return Walk(a, b, [&](size_t cell) {
        const std::vector<SEntry>& entries = m_aCells[cell];
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->nLine == ownLine) {
                it = std::upper_bound(it, entries.end(), ownLine, lineLess) - 1;
                continue;
            }
            const CPoint& c = it->a;
            const CPoint& d = it->b;
            // Sharing an end, the two lie on one side of each other's line.
            if (c == a || c == b || d == a || d == b)
                continue;
            // Segments whose bounding boxes are apart cannot cross; but the
            // first of several edges on one line is looked at anyway, to pass
            // over the rest when the line is a–b's own.
            const bool apart = std::max(c.x, d.x) < minX || std::min(c.x, d.x) > maxX
                || std::max(c.y, d.y) < minY || std::min(c.y, d.y) > maxY;
            const bool grouped = it + 1 != entries.end() && (it + 1)->nLine == it->nLine;
            if (apart && !grouped)
                continue;
            const int d1 = Side(a, b, c), d2 = Side(a, b, d);
            if (d1 == 0 && d2 == 0) {
                ownLine = it->nLine; // on a–b's own line, as every edge of its group
                continue;
            }
            if (!apart && d1 * d2 < 0 && Side(c, d, a) * Side(c, d, b) < 0) {
                hit[0] = c;
                hit[1] = d;
                return true;
            }
        }
        return false;
    });
}

void CEdgeGrid::Add(int32_t i, int32_t j)
{
    const CPoint& a = m_aVertices[size_t(i)];
    const CPoint& b = m_aVertices[size_t(j)];
    if (a == b)
        return;
    const int32_t line = LineOf(a, b);
    ++m_nEdges;
    const auto lineLess = [](int32_t l, const SEntry& e) { return l < e.nLine; };
    Walk(a, b, [&](size_t cell) {
        std::vector<SEntry>& entries = m_aCells[cell];
        entries.insert(std::upper_bound(entries.begin(), entries.end(), line, lineLess), SEntry{a, b, line});
        return false;
    });
}
