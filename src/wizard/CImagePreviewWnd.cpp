#include "wizard/CImagePreviewWnd.h"

#include "document/CBmpDC.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace {

// Width of the sunken edge around the client area.
constexpr int kEdge = 1;

} // namespace

CImagePreviewWnd::CImagePreviewWnd()
{
    // The whole window is painted from the buffer and the edge; no erasing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContentsMargins(kEdge, kEdge, kEdge, kEdge);
    hide();
}

CImagePreviewWnd::~CImagePreviewWnd() = default;

COLORREF CImagePreviewWnd::ButtonFaceColor()
{
    const QColor c = QGuiApplication::palette().color(QPalette::Button);
    return RGB(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

bool CImagePreviewWnd::Create(const QRect& rect, QWidget* pParent)
{
    setParent(pParent);
    setGeometry(rect);
    show();

    const QRect client = contentsRect();
    m_imgBuffer.Destroy();
    if (m_imgBuffer.Create(std::max(client.width(), 0), std::max(client.height(), 0))) {
        CBmpDC dc(m_imgBuffer);
        dc.FillSolidRect(0, 0, m_imgBuffer.GetWidth(), m_imgBuffer.GetHeight(), ButtonFaceColor());
    }
    return true;
}

void CImagePreviewWnd::SetImage(const CImage& image)
{
    CBmpDC dc(m_imgBuffer);
    dc.FillSolidRect(0, 0, m_imgBuffer.GetWidth(), m_imgBuffer.GetHeight(), ButtonFaceColor());
    const QRect client = contentsRect();
    const CRect rcFit = CalcFitRect(CRect(0, 0, client.width(), client.height()), image.GetWidth(),
                                    image.GetHeight());
    // The surface on the picture is only read from.
    CBmpDC dcImage(const_cast<CImage&>(image));
    dc.StretchBltAveraged(rcFit, dcImage, CRect(0, 0, image.GetWidth(), image.GetHeight()));
    update();
}

CRect CImagePreviewWnd::CalcFitRect(const CRect& rcBox, int32_t w, int32_t h)
{
    const int64_t boxW = int64_t(rcBox.right) - rcBox.left;
    const int64_t boxH = int64_t(rcBox.bottom) - rcBox.top;
    int64_t cx = std::max(w, 1);
    int64_t cy = std::max(h, 1);
    if (cx > boxW || cy > boxH) {
        if (boxW <= 0 || boxH <= 0) {
            cx = 1;
            cy = 1;
        } else {
            const float boxRatio = float(boxW) / float(boxH);
            const float ratio = float(double(cx) / double(cy));
            if (ratio > boxRatio) {
                cx = boxW;
                cy = int64_t(double(boxW) / double(ratio));
            } else if (ratio < boxRatio) {
                cy = boxH;
                cx = int64_t(double(boxH) * double(ratio));
            } else {
                cx = boxW;
                cy = boxH;
            }
            // Rounding of the ratios must not push the picture out of a huge box.
            cx = std::clamp<int64_t>(cx, 1, boxW);
            cy = std::clamp<int64_t>(cy, 1, boxH);
        }
    }
    const int64_t left = (int64_t(rcBox.right) + rcBox.left - cx) / 2;
    const int64_t top = (int64_t(rcBox.bottom) + rcBox.top - cy) / 2;
    return CRect(int32_t(left), int32_t(top), int32_t(left + cx), int32_t(top + cy));
}

void CImagePreviewWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect outer = rect();
    // Thin sunken edge: shadow above and left, light below and right.
    painter.fillRect(outer.left(), outer.top(), outer.width(), kEdge, palette().color(QPalette::Dark));
    painter.fillRect(outer.left(), outer.top(), kEdge, outer.height(), palette().color(QPalette::Dark));
    painter.fillRect(outer.left(), outer.bottom(), outer.width(), kEdge, palette().color(QPalette::Light));
    painter.fillRect(outer.right(), outer.top(), kEdge, outer.height(), palette().color(QPalette::Light));
    if (m_imgBuffer.IsNull())
        return;
    // The buffer's rows lie bottom-up in memory: view them from the lowest
    // address as a top-down image and draw that mirrored, without a copy.
    const int32_t height = m_imgBuffer.GetHeight();
    const QImage rows(m_imgBuffer.PixelAddress(0, height - 1), m_imgBuffer.GetWidth(), height,
                      qsizetype(-m_imgBuffer.GetPitch()), QImage::Format_BGR888);
    const QRect client = contentsRect();
    painter.setTransform(QTransform(1, 0, 0, -1, client.left(), client.top() + height));
    painter.drawImage(0, 0, rows);
}
