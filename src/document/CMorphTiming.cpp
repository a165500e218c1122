#include "CMorphTiming.h"

CMorphTiming::SPosition CMorphTiming::AtTime(double u) const
{
    return {m_shape.Apply(u), m_color.Apply(u)};
}

CMorphTiming::SPosition CMorphTiming::Frame(int64_t index) const
{
    if (index < m_nHoldStart)
        return {0.0f, 0.0f};
    const int64_t i = index - m_nHoldStart;
    if (i >= m_nCount)
        return {1.0f, 1.0f};
    const int64_t steps = int64_t(m_nCount) - 1;
    return AtTime(steps > 0 ? (double)i / (double)steps : 0.0);
}
