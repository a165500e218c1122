#include "wizard/CFramePlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

CFramePlacement::CFramePlacement(QWidget* window)
    : QObject(window), m_pWindow(window), m_pTimer(new QTimer(this))
{
    m_pTimer->setInterval(kCheckMs);
    connect(m_pTimer, &QTimer::timeout, this, &CFramePlacement::Check);
}

void CFramePlacement::Install(QWidget* window)
{
    window->installEventFilter(new CFramePlacement(window));
}

QPoint CFramePlacement::Inside(const QRect& frame, const QRect& area)
{
    const auto axis = [](int at, int size, int start, int room) {
        if (at + size > start + room)
            at = start + room - size;
        return at < start ? start : at;
    };
    return QPoint(axis(frame.x(), frame.width(), area.x(), area.width()),
                  axis(frame.y(), frame.height(), area.y(), area.height()));
}

bool CFramePlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pWindow && event->type() == QEvent::Show) {
        m_shown.start();
        m_pTimer->start();
    }
    return QObject::eventFilter(watched, event);
}

void CFramePlacement::Check()
{
    if (Keep() || m_shown.elapsed() >= kSettleMs)
        m_pTimer->stop();
}

bool CFramePlacement::Keep()
{
    if (!m_pWindow->isVisible() || !m_pWindow->screen())
        return false;
    const QRect frame = m_pWindow->frameGeometry();
    QRect area = m_pWindow->screen()->availableGeometry();
    // At a fractional scale the frame's margins come rounded to whole
    // logical pixels, and may be up to one short.
    const qreal ratio = m_pWindow->devicePixelRatioF();
    if (ratio != qRound(ratio))
        area.adjust(1, 1, -1, -1);
    const QPoint to = Inside(frame, area);
    if (to != frame.topLeft())
        m_pWindow->move(to);
    return frame != m_pWindow->geometry();
}
