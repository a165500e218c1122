#pragma once

#include "CPoint.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The accepted edges of a mesh build on a uniform grid over the vertices,
// answering whether a new segment crosses any of them. Each edge is listed in
// every cell its segment passes through (a few more near cell borders), so a
// crossing point, which lies on both segments, lies in a cell listed for both.
// Within a cell the edges are grouped by the line they lie on: a segment
// never crosses an edge on its own line, so a whole group of those is passed
// over at once.
class CEdgeGrid
{
public:
    // A grid over the bounding box of the n points, about two cells per point.
    CEdgeGrid(const CPoint* points, int32_t n);

    // Whether a–b crosses an added edge (as CGeometry::SegmentsCross); if
    // so, and pHit is given, pHit[0] and pHit[1] get the ends of that edge.
    bool Crosses(const CPoint& a, const CPoint& b, CPoint* pHit = nullptr);
    // Adds the edge a–b; a != b (a point never crosses anything).
    void Add(const CPoint& a, const CPoint& b);

private:
    // An edge as listed in a cell: its ends and the line it lies on.
    struct SEntry
    {
        CPoint a, b;
        int32_t nLine;
    };
    // A line through two different points, equal to any other on the same line.
    struct SLineKey
    {
        int64_t nDirX, nDirY; // direction reduced by the gcd, first nonzero part positive
        CPoint a, b;
    };
    struct SLineHash
    {
        size_t operator()(const SLineKey& key) const;
    };
    struct SLineEqual
    {
        bool operator()(const SLineKey& k1, const SLineKey& k2) const;
    };

    int32_t LineOf(const CPoint& a, const CPoint& b);
    // CGeometry::SideOf, in plain 64-bit arithmetic when the points' span is
    // small.
    int Side(const CPoint& a, const CPoint& b, const CPoint& c) const;
    // Calls visit(cell) for the cells a–b passes through, from a towards b,
    // until it returns true; returns whether it did.
    template <class F>
    bool Walk(const CPoint& a, const CPoint& b, F&& visit) const;
    int64_t CellX(int64_t x) const { return (x - m_nX0) >> m_nShift; }
    int64_t CellY(int64_t y) const { return (y - m_nY0) >> m_nShift; }

    // Square cells of 2^m_nShift pixels, m_nColumns × m_nRows of them.
    int64_t m_nX0 = 0, m_nY0 = 0, m_nColumns = 1, m_nRows = 1;
    int m_nShift = 0;
    bool m_bSmall = true;
    size_t m_nEdges = 0;
    std::vector<std::vector<SEntry>> m_aCells; // entries sorted by line, then by age
    std::unordered_map<SLineKey, int32_t, SLineHash, SLineEqual> m_lineIds;
};
