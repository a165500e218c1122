#include "CImageScrollWnd.h"

#include "CBmpDC.h"
#include "Colors.h"

#include <QContextMenuEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <qdrawutil.h>

#include <algorithm>
#include <cstdint>

namespace {

// Width of the sunken edge around the client area and the bars.
constexpr int kEdge = 2;
// Angle of one wheel notch, in eighths of a degree.
constexpr int kWheelNotch = 120;

// Range 0 … size − page, page step one client extent; a bar with nothing to
// scroll stays visible but disabled, so the client area never changes.
void SetBar(QScrollBar* bar, int32_t size, int32_t page)
{
    const QSignalBlocker block(bar);
    const int64_t max = std::max<int64_t>(0, int64_t(size) - page);
    bar->setRange(0, int(max));
    bar->setPageStep(page);
    bar->setEnabled(max > 0);
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
    SetBar(m_pHScroll, m_pImage->GetWidth(), m_rcClient.Width());
    SetBar(m_pVScroll, m_pImage->GetHeight(), m_rcClient.Height());
}

CRect CImageScrollWnd::GetImageRect() const
{
    if (!m_pImage)
        return CRect();
    const auto offset = [](int32_t window, int32_t picture, const QScrollBar* bar) {
        return window >= picture ? (window - picture) / 2 : -bar->value();
    };
    const int32_t x = offset(m_rcClient.Width(), m_pImage->GetWidth(), m_pHScroll);
    const int32_t y = offset(m_rcClient.Height(), m_pImage->GetHeight(), m_pVScroll);
    return CRect(x, y, x + m_pImage->GetWidth(), y + m_pImage->GetHeight());
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
    if (m_pImage) {
        CBmpDC src(m_pImage);
        const CRect rc = GetImageRect();
        dc.BitBlt(rc.left, rc.top, m_pImage->GetWidth(), m_pImage->GetHeight(), src, 0, 0);
    }
}

void CImageScrollWnd::Present(bool bToScreen)
{
    m_imgScreen = m_imgBuffer.ToQImage();
    if (bToScreen)
        repaint(QRect(m_ptClientOrigin, QSize(m_rcClient.Width(), m_rcClient.Height())));
}

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
}

void CImageScrollWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), true);
    const QRect client(m_ptClientOrigin, QSize(m_rcClient.Width(), m_rcClient.Height()));
    // The square between the two bars.
    painter.fillRect(QRect(client.right() + 1, client.bottom() + 1, m_pVScroll->width(), m_pHScroll->height()),
                     palette().window());
    if (m_imgScreen.isNull())
        painter.fillRect(client, Qt::white);
    else
        painter.drawImage(client.topLeft(), m_imgScreen);
}

void CImageScrollWnd::wheelEvent(QWheelEvent* event)
{
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
