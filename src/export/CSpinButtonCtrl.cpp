#include "export/CSpinButtonCtrl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* parent)
    : QWidget(parent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this))
{
    for (QToolButton* button : {m_pUp, m_pDown}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(false);
    }
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

CSpinButtonCtrl::~CSpinButtonCtrl() = default;

void CSpinButtonCtrl::SetBuddy(QLineEdit* buddy)
{
    if (m_pBuddy)
        m_pBuddy->removeEventFilter(this);
    m_pBuddy = buddy;
    if (!buddy)
        return;
    buddy->installEventFilter(this);
    const QRect rect = buddy->geometry();
    const int width = std::min(this->width(), rect.width() - 1);
    buddy->setGeometry(rect.adjusted(0, 0, -width, 0));
    setGeometry(rect.right() + 1 - width, rect.top(), width, rect.height());
}

void CSpinButtonCtrl::SetRange32(int lower, int upper)
{
    m_nLower = lower;
    m_nUpper = upper;
}

void CSpinButtonCtrl::Step(int delta)
{
    if (!m_pBuddy)
        return;
    bool ok = false;
    const int value = m_pBuddy->text().toInt(&ok);
    if (ok)
        m_nPos = value;
    const int lower = std::min(m_nLower, m_nUpper);
    const int upper = std::max(m_nLower, m_nUpper);
    // 64 bits: stepping past INT_MAX or INT_MIN must not overflow.
    const long long next = std::clamp((long long)std::clamp(m_nPos, lower, upper) + delta, (long long)lower,
                                      (long long)upper);
    m_nPos = int(next);
    m_pBuddy->setText(QString::number(m_nPos));
}

bool CSpinButtonCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pBuddy && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CSpinButtonCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_pUp->setGeometry(0, 0, width(), half);
    m_pDown->setGeometry(0, half, width(), height() - half);
}
