#pragma once

#include <cstdint>

// Colours handed to drawing operations: 0x00BBGGRR, red in the low byte.
using COLORREF = uint32_t;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b)
{
    return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return uint8_t(c); }
constexpr uint8_t GetGValue(COLORREF c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return uint8_t(c >> 16); }

// The cross-fade of one channel: over at opacity alpha on under,
// (over · alpha + under · (255 − alpha) + 127) / 255 in unsigned 32-bit
// arithmetic. Every blend of a frame gives these bytes.
constexpr uint8_t BlendChannel(uint8_t over, uint8_t under, uint8_t alpha)
{
    const uint32_t a = alpha;
    return uint8_t((over * a + under * (255u - a) + 127u) / 255u);
}
