#include "engine/CMeshTooLargeError.h"

CMeshTooLargeError::CMeshTooLargeError(const std::string& strWhat, uint64_t nEdges, uint64_t nEdgePairs)
    : std::runtime_error(strWhat), m_nEdges(nEdges), m_nEdgePairs(nEdgePairs)
{
}
