#include "CMorphCanvas.h"

#include "CBmpDC.h"

#include <algorithm>

bool CMorphCanvas::Prepare(int32_t width, int32_t height)
{
    Destroy();
    if (!Create(width, height))
        return false;
    m_aLineInfo.resize(size_t(height), CLineInfo{});
    return true;
}

int32_t CMorphCanvas::RowCount() const
{
    if (IsNull())
        return 0;
    return int32_t(std::min<size_t>(size_t(GetHeight()), m_aLineInfo.size()));
}

void CMorphCanvas::Clear()
{
    ClearRows(0, GetHeight());
}

void CMorphCanvas::ClearRows(int32_t rowBegin, int32_t rowEnd, int32_t colBegin, int32_t colEnd)
{
    colBegin = std::max(colBegin, 0);
    colEnd = std::min(colEnd, GetWidth());
    if (IsNull() || rowBegin >= rowEnd || colBegin >= colEnd)
        return;
    CBmpDC dc(*this);
    dc.FillSolidRect(colBegin, rowBegin, colEnd - colBegin, rowEnd - rowBegin, RGB(0, 0, 0));
}

void CMorphCanvas::FillTriangle(const CPoint tex[3], const CPoint dst[3], const CImage& texture)
{
    FillTriangleRows(tex, dst, texture, 0, RowCount());
}

void CMorphCanvas::FillTriangleRows(const CPoint tex[3], const CPoint dst[3], const CImage& texture, int32_t rowBegin,
                                    int32_t rowEnd, int32_t colBegin, int32_t colEnd)
{
    // Only the rows between the highest and the lowest vertex can be reached;
    // the others keep an empty span and are skipped.
    const int32_t yMin = std::min({dst[0].y, dst[1].y, dst[2].y});
    const int32_t yMax = std::max({dst[0].y, dst[1].y, dst[2].y});
    const int32_t first = std::max({yMin, rowBegin, 0});
    const int32_t last = std::min({yMax, rowEnd - 1, RowCount() - 1});
    if (first > last)
        return;

    for (int32_t y = first; y <= last; ++y) {
        m_aLineInfo[size_t(y)].m_nLeft = GetWidth();
        m_aLineInfo[size_t(y)].m_nRight = -1;
    }
    for (int k = 0; k < 3; ++k) {
        const int k1 = (k + 1) % 3;
        ScanEdgeRows(dst[k].x, dst[k].y, dst[k1].x, dst[k1].y, tex[k].x, tex[k].y, tex[k1].x, tex[k1].y, first,
                     last + 1);
    }
    if (texture.IsNull())
        return;
    for (int32_t y = first; y <= last; ++y) {
        if (y < last)
            PrefetchRow(m_aLineInfo[size_t(y) + 1], texture);
        const CLineInfo& line = m_aLineInfo[size_t(y)];
        if (line.m_nLeft <= line.m_nRight)
            FillRow(y, line, texture, colBegin, colEnd);
    }
}

void CMorphCanvas::PrefetchRow(const CLineInfo& line, const CImage& texture)
{
#if defined(__GNUC__)
    // The span of the next row mostly reads one texture row that no span
    // before it read, at a place no hardware prefetcher foresees: ask for its
    // cache lines along the span while this row is drawn. Positions are
    // clamped into the texture so every address formed lies inside it.
    if (line.m_nLeft > line.m_nRight)
        return;
    const int32_t w = texture.GetWidth(), h = texture.GetHeight();
    const auto clamp = [](double v, int32_t size) {
        return v > 0.0 && v < double(size) ? int32_t(v) : v >= double(size) ? size - 1 : 0;
    };
    // One point per 16 pixels of the span (48 bytes, under a cache line), at most 32.
    const int32_t steps = int32_t(std::min<int64_t>(int64_t(line.m_nRight) - line.m_nLeft, 512) / 16);
    const double du = steps > 0 ? (line.m_dRightU - line.m_dLeftU) / steps : 0.0;
    const double dv = steps > 0 ? (line.m_dRightV - line.m_dLeftV) / steps : 0.0;
    double u = line.m_dLeftU, v = line.m_dLeftV + 1.0;
    for (int32_t i = 0; i <= steps; ++i, u += du, v += dv)
        __builtin_prefetch(texture.PixelAddress(clamp(u, w), clamp(v, h)));
#else
    (void)line;
    (void)texture;
#endif
}

void CMorphCanvas::ScanEdge(int32_t xA, int32_t yA, int32_t xB, int32_t yB, int32_t uA, int32_t vA, int32_t uB,
                            int32_t vB)
{
    ScanEdgeRows(xA, yA, xB, yB, uA, vA, uB, vB, 0, RowCount());
}

void CMorphCanvas::ScanEdgeRows(int32_t xA, int32_t yA, int32_t xB, int32_t yB, int32_t uA, int32_t vA, int32_t uB,
                                int32_t vB, int32_t rowBegin, int32_t rowEnd)
{
    const int64_t lo = std::max(rowBegin, 0);
    const int64_t hi = std::min(rowEnd, RowCount()); // exclusive
    if (lo >= hi)
        return;
    // Point i lies on row yA + i (downwards) or yA − i (upwards); visit only
    // the points whose row is in [lo, hi).
    const int64_t n = yA <= yB ? int64_t(yB) - yA : int64_t(yA) - yB;
    const bool down = yA <= yB;
    const int64_t iFirst = std::max<int64_t>(0, down ? lo - yA : yA - (hi - 1));
    const int64_t iLast = std::min<int64_t>(n, down ? hi - 1 - yA : yA - lo);
    const double dxA = xA, dxB = xB, duA = uA, duB = uB, dvA = vA, dvB = vB, dn = double(n);

    for (int64_t i = iFirst; i <= iLast; ++i) {
        const double s = n == 0 ? 0.0 : double(i) / dn;
        const double r = 1.0 - s;
        // A vertical edge keeps its column exactly; the blend of two equal
        // values could come out one ulp low and truncate into the column left of it.
        const double X = xA == xB ? dxA : dxA * r + dxB * s;
        const double U = duA * r + duB * s;
        const double V = dvA * r + dvB * s;
        // X lies between xA and xB up to rounding, so it truncates into int32 range.
        const int32_t xi = int32_t(X);
        CLineInfo& line = m_aLineInfo[size_t(down ? yA + i : yA - i)];
        if (xi < line.m_nLeft) {
            line.m_nLeft = xi;
            line.m_dLeftX = X;
            line.m_dLeftU = U;
            line.m_dLeftV = V;
        }
        if (xi > line.m_nRight) {
            line.m_nRight = xi;
            line.m_dRightX = X;
            line.m_dRightU = U;
            line.m_dRightV = V;
        }
    }
}

void CMorphCanvas::FillRow(int32_t y, const CLineInfo& line, const CImage& texture, int32_t colBegin, int32_t colEnd)
{
    const int32_t x0 = std::max({line.m_nLeft, colBegin, 0});
    const int32_t x1 = int32_t(std::min<int64_t>({line.m_nRight, int64_t(colEnd) - 1, GetWidth() - 1}));
    if (x0 > x1)
        return;
    const CSpanKernel::SSpan span{line.m_dLeftX, line.m_dLeftU, line.m_dLeftV,
                                  line.m_dRightX, line.m_dRightU, line.m_dRightV};
    const CSpanKernel::STexture tex{texture.GetBits(), texture.GetPitch(), texture.GetWidth(), texture.GetHeight()};
    m_pKernel->FillSpan(PixelAddress(x0, y), x0, x1, span, tex);
}
