#include "CConfigRenbanDlg.h"

#include "CDialogTemplate.h"
#include "CMessageBox.h"
#include "CSpinButtonCtrl.h"
#include "ControlIds.h"

#include "CVideoWriter.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace {

// The edit box text is read through a buffer of 64 characters with its terminator.
constexpr qsizetype kReadLength = 63;

bool IsScanSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool IsDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// The curve choices, in the order of CTimingCurve::EKind.
const char16_t* const s_aCurveNames[] = {u"直線", u"イーズイン", u"イーズアウト", u"イーズインアウト", u"ベジェ曲線"};

// The four numbers of a Bézier box as the Bézier choice shows them at first (CSS's ease).
const char16_t* const kDefaultBezier = u"0.25, 0.1, 0.25, 1";

QString BezierText(const CTimingCurve& curve)
{
    return QStringLiteral("%1, %2, %3, %4")
        .arg(curve.m_dX1, 0, 'g', 17)
        .arg(curve.m_dY1, 0, 'g', 17)
        .arg(curve.m_dX2, 0, 'g', 17)
        .arg(curve.m_dY2, 0, 'g', 17);
}

} // namespace

CConfigRenbanDlg::CConfigRenbanDlg(QWidget* parent, bool bVideo, int maxFps)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      m_bVideo(bVideo), m_nMaxFps(maxFps)
{
    setWindowTitle(QStringLiteral("連番書き出し設定"));
    CDialogTemplate dlg(this);
    setFixedSize(dlg.Size(210, 187));

    QPushButton* ok = dlg.AddButton(IDC_OK, QStringLiteral("OK"), 153, 7, 50, 14);
    QPushButton* cancel = dlg.AddButton(IDC_CANCEL, QStringLiteral("キャンセル"), 153, 24, 50, 14);
    ok->setAutoDefault(true);
    ok->setDefault(true);
    cancel->setAutoDefault(true);
    dlg.Place(new QGroupBox(QStringLiteral("設定"), this), -1, 7, 7, 139, 81);

    m_pEdit = dlg.Place(new QLineEdit(this), IDC_COUNT_EDIT, 54, 20, 40, 14);
    m_pEdit->setText(QString::number(m_nCount));

    m_ctlSpin = dlg.Place(new CSpinButtonCtrl(this), IDC_COUNT_SPIN, 98, 47, 10, 14);
    m_ctlSpin->SetBuddy(m_pEdit);
    m_ctlSpin->SetRange32(kMinCount, kMaxCount);

    QLabel* label = dlg.AddStatic(QStringLiteral("枚数(&M) : "), 14, 20, 38, 14);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setBuddy(m_pEdit);

    // The frame-rate row sits in the group box under the count row.
    QLabel* fpsLabel = dlg.AddStatic(QStringLiteral("フレームレート(&F)"), 14, 44, 72, 14);
    fpsLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pFpsEdit = dlg.Place(new QLineEdit(this), IDC_FPS_EDIT, 88, 44, 40, 14);
    m_pFpsEdit->setText(QString::number(m_nFps));
    auto* fpsSpin = dlg.Place(new CSpinButtonCtrl(this), IDC_FPS_SPIN, 132, 44, 10, 14);
    fpsSpin->SetBuddy(m_pFpsEdit);
    fpsSpin->SetRange32(kMinFps, maxFps);
    fpsLabel->setBuddy(m_pFpsEdit);
    for (QWidget* w : std::initializer_list<QWidget*>{fpsLabel, m_pFpsEdit, fpsSpin})
        w->setVisible(bVideo);

    // The timing, in a group of its own under the count's.
    dlg.Place(new QGroupBox(QStringLiteral("タイミング"), this), -1, 7, 92, 196, 88);
    m_pShapeCurve = AddCurveRow(dlg, QStringLiteral("形の変化(&S)"), 105, IDC_SHAPE_CURVE, IDC_SHAPE_BEZIER, m_pShapeBezier);
    m_pColorCurve = AddCurveRow(dlg, QStringLiteral("色の変化(&C)"), 123, IDC_COLOR_CURVE, IDC_COLOR_BEZIER, m_pColorBezier);
    const auto addHold = [&](const QString& text, int x, int id) {
        QLabel* holdLabel = dlg.AddStatic(text, x, 141, 50, 14);
        holdLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QLineEdit* edit = dlg.Place(new QLineEdit(QStringLiteral("0"), this), id, x + 50, 141, 40, 14);
        auto* spin = dlg.Place(new CSpinButtonCtrl(this), -1, x + 90, 141, 10, 14);
        spin->SetBuddy(edit);
        spin->SetRange32(0, CMorphTiming::kMaxHold);
        holdLabel->setBuddy(edit);
        connect(edit, &QLineEdit::textChanged, this, &CConfigRenbanDlg::UpdateLength);
        return edit;
    };
    m_pHoldStart = addHold(QStringLiteral("最初の静止(&H)"), 14, IDC_HOLD_START);
    m_pHoldEnd = addHold(QStringLiteral("最後の静止(&E)"), 110, IDC_HOLD_END);
    m_pLength = dlg.AddStatic(QString(), 14, 160, 182, 14, IDC_LENGTH);
    m_pLength->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_pEdit, &QLineEdit::textChanged, this, &CConfigRenbanDlg::UpdateLength);
    connect(m_pFpsEdit, &QLineEdit::textChanged, this, &CConfigRenbanDlg::UpdateLength);
    SetTiming(m_timing);

    // Opens ready for typing a count and Enter.
    m_pEdit->setFocus();
    m_pEdit->selectAll();

    connect(ok, &QPushButton::clicked, this, &CConfigRenbanDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CConfigRenbanDlg::reject);
}

CConfigRenbanDlg::~CConfigRenbanDlg() = default;

QComboBox* CConfigRenbanDlg::AddCurveRow(CDialogTemplate& dlg, const QString& text, int y, int comboId, int bezierId,
                                         QLineEdit*& bezier)
{
    QLabel* label = dlg.AddStatic(text, 14, y, 50, 14);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* combo = dlg.Place(new QComboBox(this), comboId, 64, y, 62, 14);
    for (const char16_t* name : s_aCurveNames)
        combo->addItem(QString::fromUtf16(name));
    label->setBuddy(combo);
    bezier = dlg.Place(new QLineEdit(QString::fromUtf16(kDefaultBezier), this), bezierId, 130, y, 66, 14);
    bezier->setToolTip(QStringLiteral("x1, y1, x2, y2（それぞれ 0 から 1）"));
    bezier->setEnabled(false);
    QLineEdit* box = bezier;
    connect(combo, &QComboBox::currentIndexChanged, box,
            [box](int index) { box->setEnabled(index == CTimingCurve::kBezier); });
    return combo;
}

int CConfigRenbanDlg::MaxFps(const QString& path)
{
    const bool gif = QFileInfo(path).suffix().compare(QLatin1String("gif"), Qt::CaseInsensitive) == 0;
    return gif ? int(CVideoWriter::kMaxGifFps) : kMaxFps;
}

bool CConfigRenbanDlg::Ask(QWidget* parent, const QString& path, CMorphTiming& timing)
{
    CConfigRenbanDlg dlg(parent, CVideoWriter::IsVideoPath(path), MaxFps(path));
    dlg.SetTiming(timing);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    timing = dlg.m_timing;
    return true;
}

void CConfigRenbanDlg::SetTiming(const CMorphTiming& timing)
{
    m_timing = timing;
    m_nCount = timing.m_nCount;
    m_pEdit->setText(QString::number(m_nCount));
    m_pEdit->selectAll();
    // The dialog takes whole rates; a rate that is not one starts at its nearest.
    m_nFps = std::clamp(int(timing.m_dFps + 0.5), kMinFps, m_nMaxFps);
    m_pFpsEdit->setText(QString::number(m_nFps));
    const std::pair<QComboBox*, QLineEdit*> rows[] = {{m_pShapeCurve, m_pShapeBezier}, {m_pColorCurve, m_pColorBezier}};
    const CTimingCurve* curves[] = {&timing.m_shape, &timing.m_color};
    for (int i = 0; i < 2; ++i) {
        rows[i].first->setCurrentIndex(curves[i]->m_eKind);
        if (curves[i]->m_eKind == CTimingCurve::kBezier)
            rows[i].second->setText(BezierText(*curves[i]));
    }
    m_pHoldStart->setText(QString::number(timing.m_nHoldStart));
    m_pHoldEnd->setText(QString::number(timing.m_nHoldEnd));
    UpdateLength();
}

QString CConfigRenbanDlg::GetLengthText() const
{
    return m_pLength->text();
}

void CConfigRenbanDlg::UpdateLength()
{
    // Read as OK reads the boxes; shown only while all of them hold a number in range.
    const auto value = [](QLineEdit* edit, int lower, int upper) {
        const std::optional<int> v = ScanInt(edit->text().left(kReadLength));
        return v && *v >= lower && *v <= upper ? v : std::nullopt;
    };
    const std::optional<int> count = value(m_pEdit, kMinCount, kMaxCount);
    const std::optional<int> fps = m_bVideo ? value(m_pFpsEdit, kMinFps, m_nMaxFps) : std::optional<int>(m_nFps);
    const std::optional<int> start = value(m_pHoldStart, 0, CMorphTiming::kMaxHold);
    const std::optional<int> end = value(m_pHoldEnd, 0, CMorphTiming::kMaxHold);
    if (!count || !fps || !start || !end) {
        m_pLength->setText(QStringLiteral("長さ : －"));
        return;
    }
    const int64_t frames = int64_t(*start) + *count + *end;
    m_pLength->setText(QStringLiteral("長さ : %1 秒（%2 フレーム、%3 fps）")
                           .arg(double(frames) / *fps, 0, 'f', 2)
                           .arg(frames)
                           .arg(*fps));
}

std::optional<CTimingCurve> CConfigRenbanDlg::CurveOf(QComboBox* combo, QLineEdit* bezier)
{
    CTimingCurve curve;
    curve.m_eKind = CTimingCurve::EKind(combo->currentIndex());
    if (curve.m_eKind != CTimingCurve::kBezier)
        return curve;
    QString text = bezier->text();
    text.remove(QLatin1Char(' '));
    if (const std::optional<CTimingCurve> parsed = CTimingCurve::Parse(QStringLiteral("bezier:") + text))
        return parsed;
    CMessageBox::Show(QStringLiteral("Please enter four numbers between 0 and 1, separated by commas."),
                      MB_OK | MB_ICONWARNING);
    bezier->setFocus();
    bezier->selectAll();
    return std::nullopt;
}

std::optional<int> CConfigRenbanDlg::ScanInt(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsScanSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n || !IsDigit(text[i]))
        return std::nullopt;
    // Accumulated in 64 bits and held just past the int range, so any run of
    // digits saturates instead of overflowing.
    constexpr long long kLimit = (long long)INT_MAX + 1;
    long long value = 0;
    for (; i < n && IsDigit(text[i]); ++i)
        value = std::min(kLimit, value * 10 + (text[i].unicode() - u'0'));
    if (negative)
        return int(std::max((long long)INT_MIN, -value));
    return int(std::min((long long)INT_MAX, value));
}

std::optional<int> CConfigRenbanDlg::Validate(QLineEdit* edit, int lower, int upper)
{
    const std::optional<int> value = ScanInt(edit->text().left(kReadLength));
    if (!value) {
        CMessageBox::Show(QStringLiteral("Please enter an integer."), MB_OK | MB_ICONWARNING);
    } else if (*value < lower || *value > upper) {
        CMessageBox::Show(QStringLiteral("Please enter an integer between %1 and %2.").arg(lower).arg(upper),
                          MB_OK | MB_ICONWARNING);
    } else {
        return value;
    }
    edit->setFocus();
    edit->selectAll();
    return std::nullopt;
}

void CConfigRenbanDlg::accept()
{
    const std::optional<int> count = Validate(m_pEdit, kMinCount, kMaxCount);
    if (!count)
        return;
    std::optional<int> fps = m_nFps;
    if (m_bVideo && !(fps = Validate(m_pFpsEdit, kMinFps, m_nMaxFps)))
        return;
    const std::optional<CTimingCurve> shape = CurveOf(m_pShapeCurve, m_pShapeBezier);
    if (!shape)
        return;
    const std::optional<CTimingCurve> color = CurveOf(m_pColorCurve, m_pColorBezier);
    if (!color)
        return;
    const std::optional<int> start = Validate(m_pHoldStart, 0, CMorphTiming::kMaxHold);
    if (!start)
        return;
    const std::optional<int> end = Validate(m_pHoldEnd, 0, CMorphTiming::kMaxHold);
    if (!end)
        return;
    m_nCount = *count;
    m_nFps = *fps;
    m_timing.m_nCount = *count;
    if (m_bVideo)
        m_timing.m_dFps = *fps;
    m_timing.m_shape = *shape;
    m_timing.m_color = *color;
    m_timing.m_nHoldStart = *start;
    m_timing.m_nHoldEnd = *end;
    QDialog::accept();
}
