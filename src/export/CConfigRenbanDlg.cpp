#include "CConfigRenbanDlg.h"

#include "CDialogTemplate.h"
#include "CMessageBox.h"
#include "CSpinButtonCtrl.h"
#include "ControlIds.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <climits>
#include <initializer_list>

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

} // namespace

CConfigRenbanDlg::CConfigRenbanDlg(QWidget* parent, bool bVideo)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      m_bVideo(bVideo)
{
    setWindowTitle(QStringLiteral("連番書き出し設定"));
    CDialogTemplate dlg(this);
    setFixedSize(dlg.Size(210, 95));

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
    fpsSpin->SetRange32(kMinFps, kMaxFps);
    fpsLabel->setBuddy(m_pFpsEdit);
    for (QWidget* w : std::initializer_list<QWidget*>{fpsLabel, m_pFpsEdit, fpsSpin})
        w->setVisible(bVideo);

    // Opens ready for typing a count and Enter.
    m_pEdit->setFocus();
    m_pEdit->selectAll();

    connect(ok, &QPushButton::clicked, this, &CConfigRenbanDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CConfigRenbanDlg::reject);
}

CConfigRenbanDlg::~CConfigRenbanDlg() = default;

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
    if (m_bVideo && !(fps = Validate(m_pFpsEdit, kMinFps, kMaxFps)))
        return;
    m_nCount = *count;
    m_nFps = *fps;
    QDialog::accept();
}
