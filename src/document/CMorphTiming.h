#pragma once

#include "document/CTimingCurve.h"

#include <cstdint>

// The timing of a morph sequence: a shape curve (where the mesh is), a colour
// curve (how far the cross-fade is), hold frames that show exactly the source
// before and exactly the target after the transition, the frame count of the
// transition and the frame rate. A sequence is hold-start + count + hold-end
// frames, numbered on from 0.
class CMorphTiming
{
public:
    // Where frame or slider time stands: the mesh at fShape, the cross-fade at fColor.
    struct SPosition
    {
        float fShape;
        float fColor;
        bool operator==(const SPosition&) const = default;
    };

    // The preview slider runs from 0 to kSliderMax; position p is time
    // p / kSliderMax, divided in double.
    static constexpr int kSliderMax = 1000;
    static double SliderTime(int p) { return p / double(kSliderMax); }

    // The position at time u of the transition (0 = its first frame, 1 = its
    // last), through both curves.
    SPosition AtTime(double u) const;
    // The time of frame index of the whole sequence: 0 in the start holds, 1
    // in the end holds, and i / (count - 1) for frame i of the transition,
    // divided in double.
    double FrameTime(int64_t index) const;
    // The position of frame index, holds included: (0, 0) in the start holds,
    // (1, 1) in the end holds, and AtTime(FrameTime(index)) in between.
    SPosition Frame(int64_t index) const;
    // Hold-start + count + hold-end.
    int64_t TotalFrames() const { return int64_t(m_nHoldStart) + m_nCount + m_nHoldEnd; }
    // Seconds the whole sequence lasts at m_dFps.
    double Duration() const { return double(TotalFrames()) / m_dFps; }

    bool operator==(const CMorphTiming&) const = default;

    static constexpr int kMinCount = 2;
    static constexpr int kMaxCount = 99999;
    static constexpr int kMaxHold = 99999;

    CTimingCurve m_shape;
    CTimingCurve m_color;
    int m_nHoldStart = 0;
    int m_nHoldEnd = 0;
    int m_nCount = 30;
    double m_dFps = 25.0;
};
