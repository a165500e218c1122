#include "platform/CDC.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Clips a cx × cy block copied from (sx, sy) of a sw × sh picture to (dx, dy)
// of a dw × dh picture. 64-bit throughout, so any 32-bit arguments are safe.
struct BlockClip
{
    int32_t dx, dy, sx, sy, cx, cy;
    bool empty;
};

BlockClip ClipBlock(int64_t dx, int64_t dy, int64_t cx, int64_t cy, int64_t sx, int64_t sy, int64_t dw, int64_t dh,
                    int64_t sw, int64_t sh)
{
    if (sx < 0) { dx -= sx; cx += sx; sx = 0; }
    if (sy < 0) { dy -= sy; cy += sy; sy = 0; }
    if (dx < 0) { sx -= dx; cx += dx; dx = 0; }
    if (dy < 0) { sy -= dy; cy += dy; dy = 0; }
    cx = std::min({cx, dw - dx, sw - sx});
    cy = std::min({cy, dh - dy, sh - sy});
    if (cx <= 0 || cy <= 0)
        return {0, 0, 0, 0, 0, 0, true};
    return {int32_t(dx), int32_t(dy), int32_t(sx), int32_t(sy), int32_t(cx), int32_t(cy), false};
}

} // namespace

CImage* CDC::SelectImage(CImage* pImage)
{
    CImage* old = m_pImage;
    m_pImage = pImage;
    return old;
}

void CDC::FillSolidRect(const CRect& rc, COLORREF color)
{
    FillSolidRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, color);
}

void CDC::FillSolidRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF color)
{
    Fill(x, y, int64_t(x) + cx, int64_t(y) + cy, color);
}

void CDC::Fill(int64_t l, int64_t t, int64_t r, int64_t b, COLORREF color)
{
    if (!m_pImage || m_pImage->IsNull())
        return;
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    l = std::max<int64_t>(l, 0);
    t = std::max<int64_t>(t, 0);
    r = std::min<int64_t>(r, m_pImage->GetWidth());
    b = std::min<int64_t>(b, m_pImage->GetHeight());
    if (l >= r || t >= b)
        return;
    const uint8_t bgr[3] = {GetBValue(color), GetGValue(color), GetRValue(color)};
    const size_t bytes = size_t(r - l) * 3;
    for (int64_t row = t; row < b; ++row) {
        uint8_t* p = m_pImage->PixelAddress(int32_t(l), int32_t(row));
        if (bgr[0] == bgr[1] && bgr[1] == bgr[2]) {
            std::memset(p, bgr[0], bytes);
        } else {
            for (size_t i = 0; i < bytes; i += 3) {
                p[i] = bgr[0];
                p[i + 1] = bgr[1];
                p[i + 2] = bgr[2];
            }
        }
    }
}

void CDC::BitBlt(int32_t x, int32_t y, int32_t cx, int32_t cy, const CDC& src, int32_t xSrc, int32_t ySrc)
{
    const CImage* s = src.m_pImage;
    if (!m_pImage || m_pImage->IsNull() || !s || s->IsNull())
        return;
    const BlockClip c = ClipBlock(x, y, cx, cy, xSrc, ySrc, m_pImage->GetWidth(), m_pImage->GetHeight(),
                                  s->GetWidth(), s->GetHeight());
    if (c.empty)
        return;
    const size_t bytes = size_t(c.cx) * 3;
    // Walk the rows against the direction of the shift so an overlapping copy
    // within one picture reads every row before it is overwritten.
    const bool upward = s == m_pImage && c.dy > c.sy;
    for (int32_t i = 0; i < c.cy; ++i) {
        const int32_t row = upward ? c.cy - 1 - i : i;
        std::memmove(m_pImage->PixelAddress(c.dx, c.dy + row), s->PixelAddress(c.sx, c.sy + row), bytes);
    }
}

void CDC::StretchBltAveraged(const CRect& dst, const CDC& src, const CRect& srcRect)
{
    const CImage* s = src.m_pImage;
    if (!m_pImage || m_pImage->IsNull() || !s || s->IsNull())
        return;
    const int64_t dw = int64_t(dst.right) - dst.left, dh = int64_t(dst.bottom) - dst.top;
    const int64_t sx0 = std::max<int64_t>(srcRect.left, 0), sy0 = std::max<int64_t>(srcRect.top, 0);
    const int64_t sx1 = std::min<int64_t>(srcRect.right, s->GetWidth());
    const int64_t sy1 = std::min<int64_t>(srcRect.bottom, s->GetHeight());
    const int64_t sw = sx1 - sx0, sh = sy1 - sy0;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;

    // Each destination column or row covers [i * scale, (i + 1) * scale) of the
    // source; source pixels cut by that interval's ends count by their share.
    struct Span
    {
        int64_t first, last;  // inclusive source indices
        double wFirst, wLast; // shares of the end pixels; the ones between count fully
    };
    auto makeSpan = [](int64_t i, double scale, int64_t limit) {
        const double a = double(i) * scale, b = double(i + 1) * scale;
        Span sp;
        sp.first = std::min<int64_t>(int64_t(a), limit - 1);
        sp.last = std::max<int64_t>(sp.first, std::min<int64_t>(int64_t(std::ceil(b)) - 1, limit - 1));
        if (sp.first == sp.last) {
            sp.wFirst = b - a;
            sp.wLast = 0;
        } else {
            sp.wFirst = double(sp.first + 1) - a;
            sp.wLast = b - double(sp.last);
        }
        return sp;
    };

    const double scaleX = double(sw) / double(dw), scaleY = double(sh) / double(dh);
    const int64_t colBegin = std::max<int64_t>(0, -int64_t(dst.left));
    const int64_t colEnd = std::min<int64_t>(dw, int64_t(m_pImage->GetWidth()) - dst.left);
    const int64_t rowBegin = std::max<int64_t>(0, -int64_t(dst.top));
    const int64_t rowEnd = std::min<int64_t>(dh, int64_t(m_pImage->GetHeight()) - dst.top);
    if (colBegin >= colEnd || rowBegin >= rowEnd)
        return;

    std::vector<Span> cols(size_t(colEnd - colBegin));
    for (int64_t i = colBegin; i < colEnd; ++i)
        cols[size_t(i - colBegin)] = makeSpan(i, scaleX, sw);
    std::vector<double> acc(cols.size() * 3);
    const double norm = 1.0 / (scaleX * scaleY);

    for (int64_t j = rowBegin; j < rowEnd; ++j) {
        std::fill(acc.begin(), acc.end(), 0.0);
        const Span rs = makeSpan(j, scaleY, sh);
        for (int64_t sy = rs.first; sy <= rs.last; ++sy) {
            const double wy = sy == rs.first ? rs.wFirst : (sy == rs.last ? rs.wLast : 1.0);
            const uint8_t* line = s->PixelAddress(int32_t(sx0), int32_t(sy0 + sy));
            for (size_t c = 0; c < cols.size(); ++c) {
                const Span& cs = cols[c];
                for (int ch = 0; ch < 3; ++ch) {
                    double v = line[cs.first * 3 + ch] * cs.wFirst;
                    for (int64_t sx = cs.first + 1; sx < cs.last; ++sx)
                        v += line[sx * 3 + ch];
                    if (cs.last != cs.first)
                        v += line[cs.last * 3 + ch] * cs.wLast;
                    acc[c * 3 + size_t(ch)] += v * wy;
                }
            }
        }
        uint8_t* out = m_pImage->PixelAddress(int32_t(dst.left + colBegin), int32_t(dst.top + j));
        for (size_t i = 0; i < acc.size(); ++i)
            out[i] = uint8_t(std::min(255.0, acc[i] * norm + 0.5));
    }
}

void CDC::Draw3dRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF topLeft, COLORREF bottomRight)
{
    const int64_t l = x, t = y, r = l + cx, b = t + cy;
    Fill(l, t, r - 1, t + 1, topLeft);
    Fill(l, t, l + 1, b - 1, topLeft);
    Fill(r - 1, t, r, b, bottomRight);
    Fill(l, b - 1, r, b, bottomRight);
}
