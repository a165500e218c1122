#pragma once

#include "document/CMorphHandle.h"
#include "document/CMorphHandleArray.h"

#include <QList>

#include <cstdint>

// Point pairs written as source x, y and target x, y.
using Pairs = QList<CMorphHandle>;

inline CMorphHandle Pair(int32_t sx, int32_t sy, int32_t tx, int32_t ty)
{
    return CMorphHandle{CPoint(sx, sy), CPoint(tx, ty)};
}

// A pair whose two points stand at the same place.
inline CMorphHandle Pair(int32_t x, int32_t y)
{
    return Pair(x, y, x, y);
}

inline CMorphHandleArray HandleArray(const Pairs& pairs)
{
    CMorphHandleArray array;
    for (const CMorphHandle& h : pairs)
        array.Add(h);
    return array;
}
