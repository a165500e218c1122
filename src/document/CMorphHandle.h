#pragma once

#include "platform/CPoint.h"

// One point pair: a point of the source picture and the corresponding point of
// the target picture, in picture pixels. Any 32-bit values are valid.
struct CMorphHandle
{
    CPoint m_ptSource;
    CPoint m_ptTarget;

    friend constexpr bool operator==(const CMorphHandle&, const CMorphHandle&) = default;
};
