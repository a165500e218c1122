#include "engine/CDraftRenderer.h"

#include "platform/CDC.h"
#include "platform/CImage.h"

#include <algorithm>
#include <cmath>
#include <memory>

bool CDraftRenderer::DraftSize(int32_t width, int32_t height, double scale, int32_t& draftWidth,
                               int32_t& draftHeight)
{
    if (!(scale > 0.0 && scale <= 1.0) || width <= 0 || height <= 0)
        return false;
    draftWidth = std::max(int32_t(width * scale), 1);
    draftHeight = std::max(int32_t(height * scale), 1);
    return true;
}

bool CDraftRenderer::Render(CImage& out, const CMorphCore& full, double scale, float shape, float color)
{
    const CMorphData* doc = full.GetData();
    if (!doc || !doc->m_pSourceImage || !doc->m_pTargetImage || doc->m_pSourceImage->IsNull() ||
        doc->m_pTargetImage->IsNull())
        return false;
    const int32_t fullW = doc->m_pSourceImage->GetWidth(), fullH = doc->m_pSourceImage->GetHeight();
    int32_t w = 0, h = 0;
    if (!DraftSize(fullW, fullH, scale, w, h))
        return false;
    // Twice the draft's size halves by plain 2 × 2 means. A small draft is
    // drawn from at least kMinLargeScale of the full size instead and shrunk
    // by area averaging, so lines a pixel or two wide keep their weight;
    // past the full size the full-size frame is shrunk.
    int32_t largeW = w * 2, largeH = h * 2;
    if (scale * 2 < kMinLargeScale) {
        largeW = std::max(largeW, int32_t(fullW * kMinLargeScale));
        largeH = std::max(largeH, int32_t(fullH * kMinLargeScale));
    }
    const bool halve = largeW == w * 2 && largeH == h * 2 && largeW <= fullW && largeH <= fullH;
    largeW = std::min(largeW, fullW);
    largeH = std::min(largeH, fullH);
    if (!Shrink(*doc, largeW, largeH))
        return false;
    const auto make = [](CImage& picture, int32_t width, int32_t height) {
        if (!picture.IsNull() && picture.GetWidth() == width && picture.GetHeight() == height)
            return true;
        picture.Destroy();
        return picture.Create(width, height);
    };
    if (!make(out, w, h) || !make(m_large, largeW, largeH))
        return false;
    m_core.BuildScaledMesh(full, &m_small);
    if (m_core.GetCanvas().IsNull())
        return false;
    m_core.RenderFrame(m_large, shape, color);
    if (halve) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* upper = m_large.PixelAddress(0, 2 * y);
            const uint8_t* lower = m_large.PixelAddress(0, 2 * y + 1);
            uint8_t* p = out.PixelAddress(0, y);
            for (int32_t x = 0; x < w; ++x, upper += 6, lower += 6, p += 3)
                for (int c = 0; c < 3; ++c)
                    p[c] = uint8_t((upper[c] + upper[c + 3] + lower[c] + lower[c + 3] + 2) >> 2);
        }
    } else {
        CDC from(&m_large), to(&out);
        to.StretchBltAveraged(CRect(0, 0, w, h), from, CRect(0, 0, largeW, largeH));
    }
    return true;
}

void CDraftRenderer::Invalidate()
{
    m_small.m_pSourceImage.reset();
    m_small.m_pTargetImage.reset();
    m_pSourceKey = m_pTargetKey = nullptr;
}

bool CDraftRenderer::Shrink(const CMorphData& doc, int32_t width, int32_t height)
{
    const auto fits = [&](const std::unique_ptr<CImage>& small) {
        return small && small->GetWidth() == width && small->GetHeight() == height;
    };
    if (m_pSourceKey == doc.m_pSourceImage.get() && m_pTargetKey == doc.m_pTargetImage.get() &&
        fits(m_small.m_pSourceImage) && fits(m_small.m_pTargetImage))
        return true;
    Invalidate();
    const auto shrink = [&](const CImage& picture) -> std::unique_ptr<CImage> {
        auto small = std::make_unique<CImage>();
        if (!small->Create(width, height))
            return nullptr;
        // The drawing surface only reads the picture it is lent.
        CDC from(const_cast<CImage*>(&picture));
        CDC to(small.get());
        to.StretchBltAveraged(CRect(0, 0, width, height), from, CRect(0, 0, picture.GetWidth(), picture.GetHeight()));
        return small;
    };
    auto source = shrink(*doc.m_pSourceImage);
    auto target = source ? shrink(*doc.m_pTargetImage) : nullptr;
    if (!target)
        return false;
    m_small.m_pSourceImage = std::move(source);
    m_small.m_pTargetImage = std::move(target);
    m_pSourceKey = doc.m_pSourceImage.get();
    m_pTargetKey = doc.m_pTargetImage.get();
    return true;
}
