#include "CDialogTemplate.h"

#include "CButton.h"

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

// Twice the horizontal base unit that Windows derives from a font.
int TwiceBaseX(const QFontMetrics& metrics)
{
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return 2 * ((width / 26 + 1) / 2);
}

} // namespace

// The templates were drawn for "MS UI Gothic" at 9 points, whose height is its
// em and whose letters average half an em: 6 × 12 px base units at 96 DPI, a
// 761 × 579 px frame. The units are taken from that design and not measured
// on the font in use, because a substitute's line spacing may be far larger:
// Noto Sans CJK's ascent plus descent is 1.45 em with no leading to drop
// (17 px at 9 points), which made the frame 887 × 820 px and pushed its
// buttons off a 768 px screen. The font is fitted to the units instead, so
// every control keeps its rectangle and every text the room it was given.
int CDialogTemplate::EmPixels(const QWidget* owner)
{
    return qMax(1, qRound(9 * owner->logicalDpiY() / 72.0));
}

// The first family found is used. IPA P Gothic comes before Noto Sans CJK:
// its height as Windows and Qt measure it (OS/2 win ascent plus descent) is
// 1.08 em against 1.45 em, so it fits the units at 10 px at 96 DPI where Noto
// fits only at 8 px, and its kana are proportional like MS UI Gothic's, which
// the templates' Japanese texts need. IPA Gothic fits the units at 11 px, but
// its full-width kana are too wide for the labels and buttons at 10 and 11 px.
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
        const QFontMetrics metrics(sized);
        return QSize(TwiceBaseX(metrics), metrics.height());
    }));
    return font;
}

// A font whose line is one em and whose letters average half an em, like the
// design font, is used at the full em (9 points); a taller or wider one is
// made smaller until its units fit. Sizes below half the em would be
// unreadable; the smallest is kept then.
int CDialogTemplate::FittingPixelSize(int nEm, const std::function<QSize(int)>& twiceBaseUnits)
{
    int size = nEm;
    for (; size >= 1 && 2 * size > nEm; --size) {
        const QSize units = twiceBaseUnits(size);
        if (units.width() <= nEm && units.height() <= nEm)
            break;
    }
    return qMax(1, size);
}

CDialogTemplate::CDialogTemplate(QWidget* owner) : m_pOwner(owner), m_nEm(EmPixels(owner))
{
    owner->setFont(DialogFont(m_nEm));
}

int CDialogTemplate::X(int du) const
{
    return MulDiv(du, m_nEm, 8);
}

int CDialogTemplate::Y(int du) const
{
    return MulDiv(du, m_nEm, 8);
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
