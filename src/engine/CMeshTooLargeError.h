#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Thrown by the mesh build when the work or memory that a point set needs
// passes the build's limits: many points at one position or on one line make
// the edges grow with the square and the triangle search with the cube of
// their number. what() says which count passed which limit, in English.
class CMeshTooLargeError : public std::runtime_error
{
public:
    CMeshTooLargeError(const std::string& strWhat, uint64_t nEdges, uint64_t nEdgePairs);

    // Edges accepted (or known to be accepted) when the build stopped.
    uint64_t GetEdgeCount() const { return m_nEdges; }
    // Pairs of edges the triangle search would visit, at least.
    uint64_t GetEdgePairCount() const { return m_nEdgePairs; }

private:
    uint64_t m_nEdges;
    uint64_t m_nEdgePairs;
};
