#pragma once

#include "document/CMorphData.h"
#include "engine/CMorphCore.h"

#include <cstdint>

class CImage;

// Drafts: frames of a morph at a smaller scale, for a view that shows the
// frame shrunk. The frame is drawn at twice the draft's size (and at least
// at kMinLargeScale of the full size) from both pictures shrunk to that size
// (area averaging, as a view shrinks them), with the full engine's mesh
// carried to it, and then halved by 2 × 2 means (or shrunk by area
// averaging): the larger size keeps the blur of sampling shrunk pictures and
// the rounding of the carried vertices to whole pixels below what shows, and
// keeps thin lines of small drafts from fading. Above scale 1/2 the frame is
// drawn at full size and shrunk by area averaging, no cheaper than the exact
// frame. The shrunk pictures are kept for later drafts of the same size. A
// draft costs about max(2 · scale, kMinLargeScale)² of a full frame and looks
// like the full frame shrunk the same way; it is not byte-equal to it, so
// exports and the frame shown once the slider rests come from the full
// engine.
class CDraftRenderer
{
public:
    // The size of the draft of a width × height frame at scale: each side
    // trunc(side · scale), at least 1. Returns false for a scale outside (0, 1].
    static bool DraftSize(int32_t width, int32_t height, double scale, int32_t& draftWidth, int32_t& draftHeight);

    // Draws into out the frame of full (mesh at shape, cross-fade at color)
    // at the given scale, reading full's document. out is made anew at the
    // draft size when its size differs. Returns false, drawing nothing, when
    // full has no document with both pictures, the scale is outside (0, 1] or
    // a picture cannot be made. Call it on one thread at a time.
    bool Render(CImage& out, const CMorphCore& full, double scale, float shape, float color);

    // Drops the shrunk pictures; the next draft shrinks them anew. Call it
    // whenever the document's pictures change (a draft of another size is
    // noticed by itself).
    void Invalidate();

    // The least scale of the frame a draft is shrunk from.
    static constexpr double kMinLargeScale = 0.5;

    void SetThreadCount(int threads) { m_core.SetThreadCount(threads); }
    void SetKernel(const CSpanKernel& kernel) { m_core.SetKernel(kernel); }

private:
    // The document's pictures, shrunk to width × height (kept when they are
    // already); false if one cannot be made.
    bool Shrink(const CMorphData& doc, int32_t width, int32_t height);

    CMorphData m_small;
    // The frame at twice the draft's size (or the full size), before its last shrink.
    CImage m_large;
    // The pictures m_small was shrunk from.
    const CImage* m_pSourceKey = nullptr;
    const CImage* m_pTargetKey = nullptr;
    CMorphCore m_core;
};
