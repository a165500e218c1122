#pragma once

#include "platform/CImage.h"
#include "platform/Colors.h"
#include "platform/CRect.h"

#include <cstdint>

// A drawing surface over one image object. Every operation clips to the
// selected picture and does nothing when no picture is selected.
class CDC
{
public:
    CDC() = default;
    explicit CDC(CImage* pImage) : m_pImage(pImage) {}
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Selects a picture (or none) and returns the one selected before.
    CImage* SelectImage(CImage* pImage);
    CImage* GetImage() const { return m_pImage; }

    // Solid fill of (x, y, cx, cy); a negative extent reaches to the left/up.
    void FillSolidRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF color);
    void FillSolidRect(const CRect& rc, COLORREF color);

    // Plain copy of a cx × cy block from (xSrc, ySrc) of src to (x, y), clipped
    // to both pictures. Source and destination may be the same picture.
    void BitBlt(int32_t x, int32_t y, int32_t cx, int32_t cy, const CDC& src, int32_t xSrc, int32_t ySrc);

    // Scaled copy with an area-averaging filter: each destination pixel is the
    // mean of the source area it covers. Destination pixels outside the picture
    // are skipped; the source rectangle is limited to the source picture.
    void StretchBltAveraged(const CRect& dst, const CDC& src, const CRect& srcRect);

    // One-pixel frame: top row (but its last pixel) and left column (but its
    // last pixel) in topLeft, right column and bottom row in bottomRight.
    void Draw3dRect(int32_t x, int32_t y, int32_t cx, int32_t cy, COLORREF topLeft, COLORREF bottomRight);

private:
    // Fills the rectangle between the two corners, in any order, clipped.
    void Fill(int64_t l, int64_t t, int64_t r, int64_t b, COLORREF color);

    CImage* m_pImage = nullptr;
};
