#include "wizard/CDialogTemplate.h"

#include "wizard/CButton.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>

namespace {

int MulDiv(int a, int b, int c)
{
    const long long p = (long long)a * b;
    return int(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

} // namespace

// The templates were drawn for "MS UI Gothic" at 9 points, whose height is its
// em and whose letters average half an em: 6 × 12 px base units at 96 DPI, a
// 761 × 579 px frame. The dialog font keeps that size, 9 points, and the units
// are measured on it, so a substitute with taller lines or wider letters gets
// rectangles that grow with it instead of text squeezed into the design's
// pixels. Substitutes whose lines are far taller are made smaller, since the
// frame must keep to a 1366 × 768 screen: Noto Sans CJK's ascent plus descent
// is 1.45 em (17 px at 9 points), which would make the frame 887 × 820 px.
int CDialogTemplate::EmPixels(const QWidget* owner)
{
    return qMax(1, qRound(9 * owner->logicalDpiY() / 72.0));
}

// The first family found is used. IPA P Gothic comes before Noto Sans CJK:
// its height as Windows and Qt measure it (OS/2 win ascent plus descent) is
// 1.08 em against 1.45 em, so it is used at the full 9 points (12 px at 96
// DPI, 8 × 13 px units, a 1014 × 627 px frame) where Noto would be shrunk, and
// its kana are proportional like MS UI Gothic's.
QFont CDialogTemplate::DialogFont(int nEm)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"), QStringLiteral("Yu Gothic UI"),
                      QStringLiteral("Meiryo UI"), QStringLiteral("Hiragino Sans"),
                      QStringLiteral("Hiragino Kaku Gothic ProN"), QStringLiteral("VL Gothic"),
                      QStringLiteral("TakaoGothic")});
    font.setPixelSize(FittingPixelSize(nEm, [&font](int size) {
        QFont sized = font;
        sized.setPixelSize(size);
        return BaseUnits(sized);
    }));
    return font;
}

// A font whose line is at most 13/12 em and whose letters average at most
// 2/3 em is used at the full em (9 points): the frame is then at most
// 1014 × 627 px at 96 DPI, which leaves room for a title bar on a 768 px
// screen. A taller or wider one is made smaller until its units fit. Sizes
// below half the em would be unreadable; the smallest is kept then.
int CDialogTemplate::FittingPixelSize(int nEm, const std::function<QSize(int)>& baseUnits)
{
    int size = nEm;
    for (; size >= 1 && 2 * size > nEm; --size) {
        const QSize units = baseUnits(size);
        if (3 * units.width() <= 2 * nEm && 12 * units.height() <= 13 * nEm)
            break;
    }
    return qMax(1, size);
}

// bx is the average width of A–Z a–z rounded up: Windows rounds it to the
// nearest pixel, which leaves the longest Japanese texts short of room.
QSize CDialogTemplate::BaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((width + 51) / 52, metrics.height());
}

CDialogTemplate::CDialogTemplate(QWidget* owner) : m_pOwner(owner)
{
    const QFont font = DialogFont(EmPixels(owner));
    owner->setFont(font);
    const QSize units = BaseUnits(font);
    m_nBaseX = units.width();
    m_nBaseY = units.height();
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
    auto* button = new CButton(text, m_pOwner);
    button->setAutoDefault(false);
    button->setDefault(false);
    return Place(button, id, x, y, cx, cy);
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
