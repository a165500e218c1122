#include "document/CMorphTiming.h"

CMorphTiming::SPosition CMorphTiming::AtTime(double u) const
{
    return {m_shape.Apply(u), m_color.Apply(u)};
}

double CMorphTiming::FrameTime(int64_t index) const
{
    const int64_t i = index - m_nHoldStart;
    const int64_t steps = int64_t(m_nCount) - 1;
    if (i <= 0)
        return 0.0;
    if (i >= steps)
        return 1.0;
    return (double)i / (double)steps;
}

CMorphTiming::SPosition CMorphTiming::Frame(int64_t index) const
{
    if (index < m_nHoldStart)
        return {0.0f, 0.0f};
    if (index - m_nHoldStart >= m_nCount)
        return {1.0f, 1.0f};
    return AtTime(FrameTime(index));
}
