#pragma once

#include "platform/CImage.h"
#include "platform/Colors.h"
#include "platform/CRect.h"

#include <QWidget>

#include <cstdint>

// A small picture box: shows a whole picture, shrunk to fit with its
// proportions kept (never enlarged), centred on the button-face colour. The
// picture is scaled once into a back buffer of the client size; painting only
// copies that buffer, so the box keeps no reference to the picture.
class CImagePreviewWnd : public QWidget
{
    Q_OBJECT

public:
    CImagePreviewWnd();
    ~CImagePreviewWnd() override;

    // Places the box at rect of pParent with a thin sunken edge, shows it, and
    // makes the back buffer of the client size (rect less the edge), filled
    // with the button-face colour.
    bool Create(const QRect& rect, QWidget* pParent);

    // Redraws the back buffer from image (which stays the caller's) and
    // schedules a repaint.
    void SetImage(const CImage& image);

    // The rectangle of a w × h picture shrunk to fit rcBox with its proportions
    // kept, or at its own size when it fits, centred in rcBox. Aspect ratios
    // are compared in single precision; sizes are truncated and at least 1.
    // Sizes below 1 count as 1. The result always lies within rcBox when rcBox
    // is not empty.
    static CRect CalcFitRect(const CRect& rcBox, int32_t w, int32_t h);

    // What the box shows, for checks.
    const CImage& GetBuffer() const { return m_imgBuffer; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static COLORREF ButtonFaceColor();

    CImage m_imgBuffer;
};
