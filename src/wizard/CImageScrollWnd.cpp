#include "wizard/CImageScrollWnd.h"

#include "document/CBmpDC.h"
#include "platform/Colors.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QFocusEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

namespace {

// Width of the sunken edge around the client area and the bars.
constexpr int kEdge = 2;
// Angle of one wheel notch, in eighths of a degree.
constexpr int kWheelNotch = 120;

// Range 0 … size − page, page step one client extent; a bar with nothing to
// scroll stays visible but disabled, so the client area never changes.
void SetBar(QScrollBar* bar, int64_t size, int32_t page)
{
    const QSignalBlocker block(bar);
    const int64_t max = std::clamp<int64_t>(size - page, 0, std::numeric_limits<int>::max());
    bar->setRange(0, int(max));
    bar->setPageStep(page);
    bar->setEnabled(max > 0);
}

// Enlarges with the nearest picture pixel for every client pixel: the visible
// part only, so a large zoom costs no more than the client area. picture
// holds the pixels of the rectangle part of the whole picture; client pixels
// that fall outside it are left alone.
void DrawNearest(CImage& buffer, const CImage& picture, const CRect& part, const CRect& rc,
                 const CImageScrollWnd& view)
{
    if (buffer.IsNull() || picture.IsNull())
        return;
    const int64_t x0 = std::max<int64_t>(0, rc.left), x1 = std::min<int64_t>(buffer.GetWidth(), rc.right);
    const int64_t y0 = std::max<int64_t>(0, rc.top), y1 = std::min<int64_t>(buffer.GetHeight(), rc.bottom);
    if (x0 >= x1 || y0 >= y1)
        return;
    const auto source = [](int64_t p, int32_t from, int32_t size) {
        return p >= from && p - from < size ? int32_t(p - from) : -1;
    };
    std::vector<int32_t> columns(size_t(x1 - x0));
    for (int64_t x = x0; x < x1; ++x)
        columns[size_t(x - x0)] = source(view.Zoom().ClientToPicture(x, rc.left), part.left, picture.GetWidth());
    for (int64_t y = y0; y < y1; ++y) {
        const int32_t sy = source(view.Zoom().ClientToPicture(y, rc.top), part.top, picture.GetHeight());
        if (sy < 0)
            continue;
        const uint8_t* src = picture.PixelAddress(0, sy);
        uint8_t* dst = buffer.PixelAddress(int32_t(x0), int32_t(y));
        for (const int32_t sx : columns) {
            if (sx >= 0) {
                const uint8_t* p = src + 3 * ptrdiff_t(sx);
                dst[0] = p[0];
                dst[1] = p[1];
                dst[2] = p[2];
            }
            dst += 3;
        }
    }
}

} // namespace

CImageScrollWnd::CImageScrollWnd()
    : m_pHScroll(new QScrollBar(Qt::Horizontal, this)), m_pVScroll(new QScrollBar(Qt::Vertical, this))
{
    for (QScrollBar* bar : {m_pHScroll, m_pVScroll}) {
        bar->setRange(0, 0);
        bar->setSingleStep(kLineStep);
        bar->setEnabled(false);
        bar->setCursor(Qt::ArrowCursor);
        connect(bar, &QScrollBar::valueChanged, this, &CImageScrollWnd::OnScroll);
    }
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click gives the view the focus frame; the point editors also take Tab.
    setFocusPolicy(Qt::ClickFocus);
    setToolTip(CCommandKeys::ToolTip(CCommandKeys::kPreview));
    hide();
}

CImageScrollWnd::~CImageScrollWnd()
{
    m_imgBuffer.Destroy();
}

bool CImageScrollWnd::Create(const QRect& rect, QWidget* pParent)
{
    if (!pParent || parentWidget())
        return false;
    setParent(pParent);
    setGeometry(rect);

    const int barW = m_pVScroll->sizeHint().width();
    const int barH = m_pHScroll->sizeHint().height();
    const int clientW = std::max(0, rect.width() - 2 * kEdge - barW);
    const int clientH = std::max(0, rect.height() - 2 * kEdge - barH);
    m_ptClientOrigin = QPoint(kEdge, kEdge);
    m_pVScroll->setGeometry(kEdge + clientW, kEdge, barW, clientH);
    m_pHScroll->setGeometry(kEdge, kEdge + clientH, clientW, barH);
    show();

    m_rcClient = CRect(0, 0, clientW, clientH);
    m_imgBuffer.Create(clientW, clientH);
    return true;
}

void CImageScrollWnd::UpdateScrollBars()
{
    if (!m_pImage)
        return;
    SetBar(m_pHScroll, m_zoom.Zoomed(m_pImage->GetWidth()), m_rcClient.Width());
    SetBar(m_pVScroll, m_zoom.Zoomed(m_pImage->GetHeight()), m_rcClient.Height());
}

CRect CImageScrollWnd::GetImageRect() const
{
    if (!m_pImage)
        return CRect();
    const auto offset = [](int64_t window, int64_t picture, const QScrollBar* bar) {
        return int32_t(window >= picture ? (window - picture) / 2 : -bar->value());
    };
    const int64_t w = m_zoom.Zoomed(m_pImage->GetWidth()), h = m_zoom.Zoomed(m_pImage->GetHeight());
    const int32_t x = offset(m_rcClient.Width(), w, m_pHScroll);
    const int32_t y = offset(m_rcClient.Height(), h, m_pVScroll);
    return CRect(x, y, int32_t(x + w), int32_t(y + h));
}

QPoint CImageScrollWnd::ClientCentre() const
{
    return QPoint(m_rcClient.Width() / 2, m_rcClient.Height() / 2);
}

bool CImageScrollWnd::MouseInClient(QPoint& ptClient) const
{
    const QPoint at = mapFromGlobal(QCursor::pos()) - m_ptClientOrigin;
    if (!isVisible() || at.x() < 0 || at.y() < 0 || at.x() >= m_rcClient.Width() || at.y() >= m_rcClient.Height())
        return false;
    ptClient = at;
    return true;
}

void CImageScrollWnd::SetZoom(int nZoom, const QPoint& ptAnchor)
{
    const int before = m_zoom.GetPercent();
    const CRect rcBefore = GetImageRect();
    m_zoom.SetPercent(nZoom);
    if (m_zoom.GetPercent() == before)
        return;
    if (!m_pImage) {
        update();
        return;
    }
    UpdateScrollBars();
    const auto place = [&](QScrollBar* bar, int32_t origin, int anchor) {
        const QSignalBlocker block(bar);
        const int64_t position = m_zoom.KeepAnchor(origin, anchor, before);
        bar->setValue(int(std::clamp<int64_t>(position, bar->minimum(), bar->maximum())));
    };
    place(m_pHScroll, rcBefore.left, ptAnchor.x());
    place(m_pVScroll, rcBefore.top, ptAnchor.y());
    Redraw(true);
    update(); // the zoom label and the bars
    Q_EMIT ViewMoved();
}

void CImageScrollWnd::ZoomCommand(CCommandKeys::ECommand eCommand, const QPoint& ptAnchor)
{
    switch (eCommand) {
    case CCommandKeys::ZoomIn:
        ZoomByUser(m_zoom.NextStep(true), ptAnchor);
        break;
    case CCommandKeys::ZoomOut:
        ZoomByUser(m_zoom.NextStep(false), ptAnchor);
        break;
    case CCommandKeys::ZoomActual:
        ZoomByUser(100, ptAnchor);
        break;
    case CCommandKeys::ZoomFit:
        if (m_pImage)
            ZoomByUser(CZoom::Fit(m_rcClient.Width(), m_rcClient.Height(), m_pImage->GetWidth(),
                                  m_pImage->GetHeight()),
                       ptAnchor);
        break;
    default:
        break;
    }
}

void CImageScrollWnd::ZoomByUser(int nZoom, const QPoint& ptAnchor)
{
    const int before = m_zoom.GetPercent();
    SetZoom(nZoom, ptAnchor);
    if (m_zoom.GetPercent() != before)
        Q_EMIT ZoomChanged(m_zoom.GetPercent(), ptAnchor);
}

void CImageScrollWnd::SetDraft(CImage* pDraft, const CRect& rcPart, int nZoom)
{
    m_pDraft = pDraft;
    m_rcDraftPart = rcPart;
    m_nDraftZoom = nZoom;
}

CRect CImageScrollWnd::VisiblePictureRect() const
{
    if (!m_pImage)
        return CRect();
    const CRect rc = GetImageRect();
    const auto span = [&](int32_t origin, int32_t client, int32_t extent, int32_t& from, int32_t& to) {
        const int64_t first = m_zoom.ClientToPicture(std::max<int64_t>(0, origin), origin);
        const int64_t last = m_zoom.ClientToPicture(std::max<int64_t>(0, client) - 1, origin);
        from = int32_t(std::clamp<int64_t>(first, 0, extent));
        to = int32_t(std::clamp<int64_t>(last + 1, from, extent));
    };
    CRect visible;
    span(rc.left, m_rcClient.Width(), m_pImage->GetWidth(), visible.left, visible.right);
    span(rc.top, m_rcClient.Height(), m_pImage->GetHeight(), visible.top, visible.bottom);
    return visible;
}

void CImageScrollWnd::Redraw(bool bToScreen)
{
    DrawImage();
    Present(bToScreen);
}

void CImageScrollWnd::DrawImage()
{
    CBmpDC dc(m_imgBuffer);
    dc.FillSolidRect(m_rcClient, RGB(255, 255, 255));
    if (!m_pImage)
        return;
    const CRect rc = GetImageRect();
    const int zoom = m_zoom.GetPercent();
    const CRect whole(0, 0, m_pImage->GetWidth(), m_pImage->GetHeight());
    if (m_pDraft && m_nDraftZoom == zoom) {
        // A draft at this zoom's scale stands for the shrunk picture.
        CBmpDC src(m_pDraft);
        const CRect draft(0, 0, m_pDraft->GetWidth(), m_pDraft->GetHeight());
        if (draft.Width() == rc.Width() && draft.Height() == rc.Height())
            dc.BitBlt(rc.left, rc.top, draft.Width(), draft.Height(), src, 0, 0);
        else
            dc.StretchBltAveraged(rc, src, draft);
        return;
    }
    if (zoom == 100) {
        CBmpDC src(m_pImage);
        dc.BitBlt(rc.left, rc.top, whole.Width(), whole.Height(), src, 0, 0);
    } else if (zoom < 100) {
        CBmpDC src(m_pImage);
        dc.StretchBltAveraged(rc, src, whole);
    } else {
        DrawNearest(m_imgBuffer, *m_pImage, whole, rc, *this);
    }
    if (!m_pDraft || m_nDraftZoom != 0 || zoom < 100)
        return;
    // A rectangle of the picture drawn over it, where it lies.
    if (zoom == 100) {
        CBmpDC src(m_pDraft);
        dc.BitBlt(rc.left + m_rcDraftPart.left, rc.top + m_rcDraftPart.top, m_pDraft->GetWidth(),
                  m_pDraft->GetHeight(), src, 0, 0);
    } else {
        DrawNearest(m_imgBuffer, *m_pDraft, m_rcDraftPart, rc, *this);
    }
}

void CImageScrollWnd::Present(bool bToScreen)
{
    m_imgScreen = m_imgBuffer.ToQImage();
    DrawOverlay(m_imgScreen);
    if (bToScreen)
        repaint(QRect(m_ptClientOrigin, QSize(m_rcClient.Width(), m_rcClient.Height())));
}

void CImageScrollWnd::DrawOverlay(QImage&) {}

void CImageScrollWnd::InvalidateAll()
{
    update();
}

QScrollBar* CImageScrollWnd::GetScrollBar(Qt::Orientation o) const
{
    return o == Qt::Horizontal ? m_pHScroll : m_pVScroll;
}

void CImageScrollWnd::OnScroll()
{
    // Only real position changes arrive here: the bars do not signal when
    // an action leaves the position where it was, nor when the ranges change.
    Redraw(true);
    Q_EMIT ViewMoved();
}

void CImageScrollWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect client(m_ptClientOrigin, QSize(m_rcClient.Width(), m_rcClient.Height()));
    // At a fractional scale a screen pixel row between the edge's lines and
    // the client belongs to neither; without this fill it keeps whatever was
    // painted there first.
    painter.save();
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(client)));
    painter.fillRect(rect(), palette().window());
    painter.restore();
    if (hasFocus()) {
        // The focus frame takes the place of the sunken edge, so the picture
        // area looks the same with and without the focus.
        painter.setPen(palette().color(QPalette::Highlight));
        painter.setBrush(Qt::NoBrush);
        for (int i = 0; i < kEdge; ++i)
            painter.drawRect(rect().adjusted(i, i, -1 - i, -1 - i));
    } else {
        qDrawWinPanel(&painter, rect(), palette(), true);
    }
    // The square between the two bars.
    painter.fillRect(QRect(client.right() + 1, client.bottom() + 1, m_pVScroll->width(), m_pHScroll->height()),
                     palette().window());
    if (m_imgScreen.isNull())
        painter.fillRect(client, Qt::white);
    else
        painter.drawImage(client.topLeft(), m_imgScreen);

    // Over the picture, never in the back buffer.
    painter.setClipRect(client);
    if (m_zoom.GetPercent() != 100) {
        const QString text = QStringLiteral("%1 %").arg(m_zoom.GetPercent());
        const QFontMetrics metrics(font());
        const QRect label(client.left(), client.bottom() + 1 - metrics.height() - 4,
                          metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
        painter.fillRect(label, QColor(255, 255, 255, 200));
        painter.setPen(Qt::black);
        painter.drawText(label, Qt::AlignCenter, text);
    }
}

void CImageScrollWnd::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void CImageScrollWnd::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void CImageScrollWnd::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        // One zoom step per notch, about the point under the mouse.
        const int64_t total = int64_t(m_nZoomWheelDelta) + event->angleDelta().y();
        m_nZoomWheelDelta = int(total % kWheelNotch);
        const QPoint anchor = event->position().toPoint() - m_ptClientOrigin;
        const int64_t steps = std::size(CZoom::kSteps);
        for (int64_t n = std::clamp<int64_t>(total / kWheelNotch, -steps, steps); n != 0; n += n > 0 ? -1 : 1)
            ZoomByUser(m_zoom.NextStep(n > 0), anchor);
        event->accept();
        return;
    }
    // One line step per notch, upwards for a forward turn; high-resolution
    // wheels add up to whole notches.
    const int64_t total = int64_t(m_nWheelDelta) + event->angleDelta().y();
    m_nWheelDelta = int(total % kWheelNotch);
    const int64_t position = int64_t(m_pVScroll->value()) - total / kWheelNotch * kLineStep;
    m_pVScroll->setValue(int(std::clamp<int64_t>(position, m_pVScroll->minimum(), m_pVScroll->maximum())));
    event->accept();
}

void CImageScrollWnd::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}
