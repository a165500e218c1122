#pragma once

#include "CBandRunner.h"
#include "CGeometry.h"
#include "CMorphCanvas.h"
#include "CRect.h"
#include "CMorphHandleArray.h"
#include "CMeshTooLargeError.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class CImage;
class CMorphData;

// The morph engine: a triangle mesh over the picture corners and the point
// pairs, chosen on the source points by greedy shortest-edge triangulation,
// and the rendering of in-between frames from it.
class CMorphCore
{
public:
    // One accepted edge between two vertices; nStart < nEnd.
    struct SLine
    {
        int32_t nStart;
        int32_t nEnd;
        double dLength; // distance between the two source points
    };

    // One triangle, its vertex indices ascending.
    struct SPolygon
    {
        int32_t nVertex1;
        int32_t nVertex2;
        int32_t nVertex3;
    };

    CMorphCore() = default;
    virtual ~CMorphCore() = default;
    CMorphCore(const CMorphCore&) = delete;
    CMorphCore& operator=(const CMorphCore&) = delete;

    // Rebuilds vertices, edges, triangles and the canvas from the document's
    // pairs and source picture size. Throws CMeshTooLargeError when the
    // points would need too much time or memory. The document must stay alive, with its
    // pictures unchanged, while frames are rendered from this mesh.
    void BuildMesh(CMorphData* pData);

    // Draws the frame at position t (0 = source, 1 = target) over all of out:
    // the mesh and the cross-fade both at t.
    void RenderFrame(CImage& out, float t) { RenderFrame(out, t, t); }
    // Draws the frame with the mesh at shape and the cross-fade at color. Only
    // reads the document's pictures, so frames may render from them on several
    // threads at once, each into its own picture with its own engine.
    void RenderFrame(CImage& out, float shape, float color);
    // Draws one rectangle of that frame: pixel (i, j) of out becomes pixel
    // (rect.left + i, rect.top + j) of the whole frame, byte for byte, for
    // every such pixel inside both out and the frame; out's other pixels are
    // left alone. Costs about the rectangle's share of a whole frame. Uses
    // this engine's canvas, like RenderFrame: one call at a time per engine.
    void RenderFrameRect(CImage& out, float shape, float color, const CRect& rect);

    // Makes this engine's mesh the mesh of full with every vertex carried to
    // pData's pictures, which are full's pictures shrunk (or grown) to another
    // size (at most full's): a pixel centre x maps to (x + 0.5) · scale − 0.5,
    // rounded, so the corners stay corners and points outside the pictures
    // stay outside. The triangles and their
    // order are full's; nothing is searched anew. Frames rendered from it move
    // full's vertices at full size and carry the in-between points the same
    // way, so they are drafts that look like full's frames scaled alike.
    void BuildScaledMesh(const CMorphCore& full, CMorphData* pData);

    // The document of the last build, or null.
    const CMorphData* GetData() const { return m_pData; }

    // Whether segments a–b and c–d cross properly, as CGeometry decides it.
    static bool SegmentsCross(const CPoint& a, const CPoint& b, const CPoint& c, const CPoint& d)
    {
        return CGeometry::SegmentsCross(a, b, c, d);
    }
    // Whether a's source point is strictly nearer to the centre of the last
    // build than b's.
    static bool IsNearerToCenter(const CMorphHandle& a, const CMorphHandle& b);
    static bool IsShorter(const SLine& a, const SLine& b);

    const CMorphHandleArray& GetPoints() const { return m_points; }
    const std::vector<SLine>& GetLines() const { return m_lines; }
    const std::vector<SPolygon>& GetPolygons() const { return m_polygons; }
    const CMorphCanvas& GetCanvas() const { return m_canvas; }

    // How many threads draw one frame, in bands of rows; 0 (the default) uses
    // one per processor. The frame is the same byte for byte whatever the count.
    void SetThreadCount(int threads) { m_nThreads = threads; }
    // The pixel loops frames are drawn with: the processor's best unless set.
    void SetKernel(const CSpanKernel& kernel) { m_canvas.SetKernel(kernel); }
    // How many candidate edges the build sorts at a time, at least 1; fewer
    // take less memory and more passes over the vertex pairs.
    void SetCandidateChunk(size_t count) { m_nCandidateChunk = std::max<size_t>(count, 1); }
    // How many pairs of edges (p, q), (q, r) plus tests of far corners the
    // triangle search may take; a build that would need more throws
    // CMeshTooLargeError, as it does past its limits on edges and candidates.
    void SetEdgePairLimit(uint64_t limit) { m_nEdgePairLimit = limit; }
    static constexpr uint64_t kDefaultEdgePairLimit = 300'000'000;

private:
    // What the triangle search will visit, counted as edges are accepted.
    struct SEdgeTally;

    void AcceptEdges();
    // Appends line to m_lines; throws past the limits on edges and edge pairs.
    void Accept(const SLine& line, SEdgeTally& tally);
    void FindTriangles();
    // Whether an earlier triangle refuses the candidate (p, q, r): one whose
    // first two vertices are p, q (far corners in farOfPQ), whose last two are
    // q, r (farOfQR), or whose first and last are p, r (farOfPR), and whose far
    // corner lies inside the candidate. Each corner tested counts in
    // cornerTests; past cornerLimit the build throws.
    bool IsRefused(int32_t p, int32_t q, int32_t r, const std::vector<int32_t>& farOfPQ,
                   const std::vector<int32_t>& farOfQR, const std::vector<int32_t>& farOfPR, uint64_t& cornerTests,
                   uint64_t cornerLimit) const;

    CMorphHandleArray m_points;
    // For a scaled mesh: full's vertices, and the factors from full's size to this one.
    CMorphHandleArray m_fullPoints;
    double m_dScaleX = 1.0, m_dScaleY = 1.0;
    std::vector<SLine> m_lines;
    std::vector<SPolygon> m_polygons;
    CMorphCanvas m_canvas;
    CMorphData* m_pData = nullptr;
    int m_nThreads = 0;
    size_t m_nCandidateChunk = size_t(1) << 22;
    uint64_t m_nEdgePairLimit = kDefaultEdgePairLimit;
    CBandRunner m_bandRunner;
};
