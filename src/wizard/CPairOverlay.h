#pragma once

#include "CMorphCore.h"
#include "CMorphHandleArray.h"
#include "CRect.h"
#include "CZoom.h"

#include <QImage>

#include <cstdint>

// What a point editor can show over its picture besides the squares, each on
// a switch that is off at first: the pairs' numbers, the partner of the pair
// under the mouse in the other view, a ring that makes the selected pair
// stand out on any picture, the mesh's edges, and the triangles that turn
// over between source and target (where a morph tears) in a warning colour.
class CPairOverlay
{
public:
    struct SShow
    {
        bool bNumbers = false;
        bool bPartner = false;
        bool bSelection = false;
        bool bMesh = false;
        bool bTurned = false;

        bool Any() const { return bNumbers || bPartner || bSelection || bMesh || bTurned; }
    };

    // One view's place: its side, its zoom and where the picture lies.
    struct SView
    {
        bool bSource;
        CZoom zoom;
        CRect rcImage;
    };

    static constexpr QRgb kTurnedFill = qRgba(255, 110, 0, 120);
    static constexpr QRgb kMeshEdge = qRgba(0, 80, 255, 170);

    // Whether the triangle's corners go round the other way in the target
    // than in the source, or the target triangle has no area left: the
    // exact orientation test the mesh build uses.
    static bool IsTurned(const CMorphCore& mesh, const CMorphCore::SPolygon& polygon);

    // Draws what show asks for over screen, the view's client area. nHover is
    // the pair under the mouse in the other view (−1 for none); pMesh may be
    // null when there is no mesh.
    static void Paint(QImage& screen, const SView& view, const CMorphHandleArray& pairs, const SShow& show,
                      int32_t nSelected, int32_t nHover, const CMorphCore* pMesh);
};
