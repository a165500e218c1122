#pragma once

#include "CImage.h"
#include "CPoint.h"
#include "CSpanKernel.h"

#include <climits>
#include <cstdint>
#include <vector>

// The picture the engine warps triangles into. A triangle is drawn by walking
// its three edges into a per-row table of span ends, then filling each row's
// span with bilinear samples of a texture picture.
class CMorphCanvas : public CImage
{
public:
    // The span of the current triangle on one row, with the exact edge x and the
    // texture coordinates at each end.
    class CLineInfo
    {
    public:
        int32_t m_nLeft;
        double m_dLeftX;
        double m_dLeftU;
        double m_dLeftV;
        int32_t m_nRight;
        double m_dRightX;
        double m_dRightU;
        double m_dRightV;
    };

    CMorphCanvas() = default;
    ~CMorphCanvas() override = default;

    // Replaces the picture by a black w × h one. The row table gets h records
    // only when the picture could be created; returns whether it could.
    bool Prepare(int32_t width, int32_t height);

    // Fills the whole canvas, or the rows [rowBegin, rowEnd) between the
    // columns [colBegin, colEnd), with black.
    void Clear();
    void ClearRows(int32_t rowBegin, int32_t rowEnd, int32_t colBegin = 0, int32_t colEnd = INT32_MAX);

    // Maps the texture triangle tex[0..2] of texture onto the canvas triangle
    // dst[0..2], vertex by vertex. Nothing is drawn while the canvas is empty.
    void FillTriangle(const CPoint tex[3], const CPoint dst[3], const CImage& texture);
    // The same, drawing only the rows [rowBegin, rowEnd) and touching only their
    // row records, so disjoint row bands can be drawn at the same time, and
    // only the columns [colBegin, colEnd): each pixel's colour depends on its
    // own column alone, so the pixels drawn are those of the whole triangle.
    void FillTriangleRows(const CPoint tex[3], const CPoint dst[3], const CImage& texture, int32_t rowBegin,
                          int32_t rowEnd, int32_t colBegin = 0, int32_t colEnd = INT32_MAX);

    // Walks the canvas segment A → B, one point per row, with the texture
    // segment (uA, vA) → (uB, vB), and widens the spans of the rows it reaches.
    void ScanEdge(int32_t xA, int32_t yA, int32_t xB, int32_t yB, int32_t uA, int32_t vA, int32_t uB, int32_t vB);

    // The pixel loop that fills the spans: the processor's best unless set.
    void SetKernel(const CSpanKernel& kernel) { m_pKernel = &kernel; }
    const CSpanKernel& GetKernel() const { return *m_pKernel; }

    std::vector<CLineInfo> m_aLineInfo;

private:
    void ScanEdgeRows(int32_t xA, int32_t yA, int32_t xB, int32_t yB, int32_t uA, int32_t vA, int32_t uB, int32_t vB,
                      int32_t rowBegin, int32_t rowEnd);
    void FillRow(int32_t y, const CLineInfo& line, const CImage& texture, int32_t colBegin, int32_t colEnd);
    // Starts loading the texture lines the span of line will read first.
    static void PrefetchRow(const CLineInfo& line, const CImage& texture);
    // Rows that both the picture and the row table have.
    int32_t RowCount() const;

    const CSpanKernel* m_pKernel = &CSpanKernel::Best();
};
