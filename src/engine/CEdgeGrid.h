#pragma once

#include "platform/CPoint.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The accepted edges of a mesh build between its vertices, answering whether
// the segment between two vertices crosses any of them (as
// CGeometry::SegmentsCross). The edges lie on a uniform grid over the
// vertices: each is listed in every cell its segment passes through (a few
// more near cell borders), so a crossing point, which lies on both segments,
// lies in a cell listed for both. Within a cell the edges are grouped by the
// line they lie on: a segment never crosses an edge on its own line, so a
// whole group of those is passed over at once.
class CEdgeGrid
{
public:
    // A grid over the bounding box of the vertices, about two cells per vertex.
    explicit CEdgeGrid(const std::vector<CPoint>& vertices);

    // Whether the segment between vertices i and j crosses an added edge.
    bool Crosses(int32_t i, int32_t j);
    // Adds the edge between vertices i and j. One of length 0 is not listed,
    // as a point crosses nothing.
    void Add(int32_t i, int32_t j);

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
    // CGeometry::SideOf, in plain 64-bit arithmetic when the vertices' span
    // is small.
    int Side(const CPoint& a, const CPoint& b, const CPoint& c) const;
    // Whether a–b crosses an added edge found through the cells; if so, hit
    // gets the ends of that edge.
    bool CrossesListed(const CPoint& a, const CPoint& b, CPoint (&hit)[2]) const;
    bool CrossesRecent(int32_t vertex, const CPoint& a, const CPoint& b) const;
    void Remember(int32_t vertex, const CPoint (&hit)[2]);
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
    std::vector<CPoint> m_aVertices;
    // Per vertex, the last few added edges that segments from it crossed:
    // later segments from it, in other directions, mostly cross one of the
    // same few, found there without a walk over the cells.
    static constexpr size_t kRecent = 8;
    std::vector<std::array<CPoint, 2 * kRecent>> m_aRecent;
    std::vector<uint8_t> m_aRecentNext;
    std::vector<std::vector<SEntry>> m_aCells; // entries sorted by line, then by age
    std::unordered_map<SLineKey, int32_t, SLineHash, SLineEqual> m_lineIds;
};
