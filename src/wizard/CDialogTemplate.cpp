#include "CDialogTemplate.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

int MulDiv(int a, int b, int c)
{
    const long long p = (long long)a * b;
    return int(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

} // namespace

QFont CDialogTemplate::DialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("Yu Gothic UI"),
                      QStringLiteral("Meiryo UI"), QStringLiteral("Hiragino Sans"),
                      QStringLiteral("Hiragino Kaku Gothic ProN"), QStringLiteral("VL Gothic"),
                      QStringLiteral("TakaoGothic")});
    font.setPointSize(9);
    return font;
}

CDialogTemplate::CDialogTemplate(QWidget* owner) : m_pOwner(owner)
{
    const QFont font = DialogFont();
    owner->setFont(font);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = qMax(1, (width / 26 + 1) / 2);
    m_nBaseY = qMax(1, metrics.height());
}

int CDialogTemplate::X(int du) const
{
    return MulDiv(du, m_nBaseX, 4);
}

int CDialogTemplate::Y(int du) const
{
    return MulDiv(du, m_nBaseY, 8);
}

QRect CDialogTemplate::Rect(int x, int y, int cx, int cy) const
{
    const int left = X(x), top = Y(y);
    return QRect(left, top, X(x + cx) - left, Y(y + cy) - top);
}

void CDialogTemplate::SetId(QWidget* control, int id)
{
    if (id >= 0)
        control->setObjectName(QString::number(id));
}

QLabel* CDialogTemplate::AddStatic(const QString& text, int x, int y, int cx, int cy, int id)
{
    auto* label = new QLabel(text, m_pOwner);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
    return Place(label, id, x, y, cx, cy);
}

QPushButton* CDialogTemplate::AddButton(int id, const QString& text, int x, int y, int cx, int cy)
{
    auto* button = new QPushButton(text, m_pOwner);
    button->setAutoDefault(false);
    button->setDefault(false);
    Place(button, id, x, y, cx, cy);
    // Japanese fonts here run wider than the one the layout was measured for;
    // a label that would be cut is set a little smaller instead.
    QFont font = button->font();
    while (button->sizeHint().width() > button->width() && font.pointSizeF() > 7.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        button->setFont(font);
    }
    return button;
}

QLineEdit* CDialogTemplate::AddReadOnlyEdit(int id, int x, int y, int cx, int cy)
{
    auto* edit = new QLineEdit(m_pOwner);
    edit->setReadOnly(true);
    return Place(edit, id, x, y, cx, cy);
}

QFrame* CDialogTemplate::AddPlaceholder(int id, int x, int y, int cx, int cy)
{
    auto* frame = new QFrame(m_pOwner);
    frame->setFrameShape(QFrame::Box);
    frame->hide();
    return Place(frame, id, x, y, cx, cy);
}

QFrame* CDialogTemplate::AddEtchedLine(int x, int y, int cx, int cy)
{
    auto* line = new QFrame(m_pOwner);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    QRect rect = Rect(x, y, cx, cy);
    rect.setHeight(qMax(2, rect.height()));
    line->setGeometry(rect);
    return line;
}
