#include "export/CExportProgressDlg.h"

#include "platform/CMessageBox.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/ControlIds.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

CExportProgressDlg::CExportProgressDlg(QWidget* parent, int count)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_nCount(count)
{
    setWindowTitle(CMessageBox::Caption());
    setWindowModality(Qt::ApplicationModal);
    CDialogTemplate dlg(this);
    setFixedSize(dlg.Size(200, 62));
    m_pText = dlg.AddStatic(QString(), 7, 7, 186, 14);
    m_pBar = dlg.Place(new QProgressBar(this), -1, 7, 24, 186, 12);
    m_pBar->setRange(0, count);
    m_pStop = dlg.AddButton(IDC_CANCEL, QStringLiteral("中止"), 143, 41, 50, 14);
    m_pStop->setAutoDefault(false);
    connect(m_pStop, &QPushButton::clicked, this, &CExportProgressDlg::reject);
    ShowFrame(0);
}

CExportProgressDlg::~CExportProgressDlg() = default;

void CExportProgressDlg::ShowFrame(int index)
{
    m_pText->setText(QStringLiteral("%1 / %2 枚目を書き出しています...").arg(index + 1).arg(m_nCount));
    m_pBar->setValue(index);
}

void CExportProgressDlg::ShowFinishing()
{
    m_pText->setText(QStringLiteral("ファイルを仕上げています..."));
    m_pBar->setValue(m_nCount);
    m_pStop->setEnabled(false);
}

bool CExportProgressDlg::IsStopRequested()
{
    QCoreApplication::processEvents();
    return m_bStopped;
}

QString CExportProgressDlg::GetText() const
{
    return m_pText->text();
}

void CExportProgressDlg::reject()
{
    if (m_bStopped)
        return;
    m_bStopped = true;
    m_pText->setText(QStringLiteral("中止しています..."));
}
