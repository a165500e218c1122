#pragma once

#include <cstdint>

// A point in whole pixels; any 32-bit values are valid.
struct CPoint
{
    int32_t x = 0;
    int32_t y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(int32_t px, int32_t py) : x(px), y(py) {}
    friend constexpr bool operator==(const CPoint&, const CPoint&) = default;
};
