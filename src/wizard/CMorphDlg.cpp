#include "CMorphDlg.h"

#include "CAboutDlg.h"
#include "CDialogTemplate.h"
#include "CErrorReporter.h"
#include "CSheet.h"
#include "CWaitCursor.h"
#include "ControlIds.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>

#include <utility>

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

CMorphDlg* CMorphDlg::s_pMainWnd = nullptr;

// The resources live in a static library, so they are registered by hand.
static void InitResources()
{
    Q_INIT_RESOURCE(quillarend);
}

namespace {

// The About entry: shown in the system menu on Windows, elsewhere in the
// frame's context menu and under F1.
const char16_t* const kAboutEntry = u"バージョン情報(&A)...";
constexpr int kAboutCommand = 0x10;

const char16_t* const kQuitUnsaved = u"保存していないポイントがあります。保存せずに終了しますか？";

} // namespace

CMorphDlg::CMorphDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    InitResources();
    if (!s_pMainWnd)
        s_pMainWnd = this;
    m_hIcon.addFile(QStringLiteral(":/quillarend/icon.png"));
    m_hIcon.addFile(QStringLiteral(":/quillarend/icon-256.png"));
    m_pMorphData = std::make_unique<CMorphData>();

    setWindowTitle(QStringLiteral("Quillarend - Presented by Lumenhollow"));
    setWindowIcon(m_hIcon);
    CDialogTemplate dlg(this);
    setFixedSize(dlg.Size(507, 386));

    dlg.AddButton(IDC_CANCEL, QStringLiteral("キャンセル"), 315, 365, 50, 14);
    QPushButton* next = dlg.AddButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), 450, 365, 50, 14);
    QPushButton* back = dlg.AddButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), 400, 365, 50, 14);
    dlg.AddEtchedLine(7, 360, 495, 1);
    dlg.AddPlaceholder(IDC_SHEET_PLACE, 7, 7, 493, 347);
    // Tab order follows the template: Cancel, next, back, then the page's controls.
    QWidget::setTabOrder(GetButton(IDC_CANCEL), next);
    QWidget::setTabOrder(next, back);

    connect(GetButton(IDC_CANCEL), &QPushButton::clicked, this, &CMorphDlg::reject);
    connect(next, &QPushButton::clicked, this, &CMorphDlg::OnNextClicked);
    connect(back, &QPushButton::clicked, this, &CMorphDlg::OnBackClicked);
}

CMorphDlg::~CMorphDlg()
{
    // The pages go first: a page may still be rendering a frame from the
    // document, and its views point into the document's pictures.
    m_pCurSheet = nullptr;
    m_mapSheets.clear();
    m_pMorphData.reset();
    if (s_pMainWnd == this)
        s_pMainWnd = nullptr;
}

CMorphDlg* CMorphDlg::GetMainWnd()
{
    return s_pMainWnd;
}

void CMorphDlg::AddSheet(std::unique_ptr<CSheet> sheet)
{
    const int id = sheet->GetId();
    m_mapSheets[id] = std::move(sheet);
}

CSheet* CMorphDlg::GetSheet(int nId) const
{
    const auto it = m_mapSheets.find(nId);
    return it == m_mapSheets.end() ? nullptr : it->second.get();
}

QPushButton* CMorphDlg::GetButton(int nId) const
{
    return CDialogTemplate::Find<QPushButton>(this, nId);
}

void CMorphDlg::SetButton(int nId, const QString& text, bool enabled)
{
    if (QPushButton* button = GetButton(nId)) {
        button->setText(text);
        button->setEnabled(enabled);
    }
}

void CMorphDlg::ShowPage(int nId)
{
    CWaitCursor wait;
    QRect rect;
    if (const QWidget* place = CDialogTemplate::Find(this, IDC_SHEET_PLACE))
        rect = place->geometry();
    CSheet* previous = m_pCurSheet;
    if (m_pCurSheet)
        m_pCurSheet->hide();
    m_pCurSheet = GetSheet(nId);
    if (m_pCurSheet) {
        try {
            m_pCurSheet->OnEnter();
        } catch (...) {
            // The page could not be entered: the one before stays on show,
            // with its own buttons. The error is reported here, so that it
            // never unwinds through the button's event handling.
            m_pCurSheet = previous;
            if (previous) {
                previous->OnEnter();
                previous->show();
            }
            CErrorReporter::Report(std::current_exception());
            return;
        }
        m_pCurSheet->setGeometry(rect);
        m_pCurSheet->raise();
        m_pCurSheet->show();
        FocusFirstControl();
    }
}

void CMorphDlg::FocusFirstControl()
{
    // The page's first control that Tab reaches, else next; never Cancel, so
    // that Enter or Space right after a switch cannot end the program.
    for (QWidget* w = m_pCurSheet->nextInFocusChain(); w != m_pCurSheet; w = w->nextInFocusChain()) {
        if (m_pCurSheet->isAncestorOf(w) && w->isVisibleTo(m_pCurSheet) && w->isEnabled()
            && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    if (QPushButton* next = GetButton(IDC_NEXT))
        next->setFocus(Qt::TabFocusReason);
}

int CMorphDlg::exec()
{
    // Shown as a plain window: QDialog::exec() would make it application
    // modal, which window managers take as a dialog of the hidden client
    // leader window and may leave out of the taskbar and window switching.
    setResult(0);
    show();
    QEventLoop loop;
    m_pLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_pLoop = nullptr;
    return result();
}

void CMorphDlg::done(int nResult)
{
    QDialog::done(nResult);
    if (m_pLoop)
        m_pLoop->exit();
}

void CMorphDlg::EndDialog(int nResult)
{
    done(nResult);
}

bool CMorphDlg::MayQuit()
{
    return !m_pMorphData || !m_pMorphData->HasUnsavedPairs()
           || CMessageBox::Show(QString::fromUtf16(kQuitUnsaved), MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void CMorphDlg::reject()
{
    // Cancel, Esc and the close box: pairs not saved would be lost, so ask.
    if (MayQuit())
        done(IDCANCEL);
}

void CMorphDlg::OnNextClicked()
{
    if (m_pCurSheet)
        m_pCurSheet->OnNext();
}

void CMorphDlg::OnBackClicked()
{
    if (m_pCurSheet)
        m_pCurSheet->OnBack();
}

void CMorphDlg::ShowAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CMorphDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(QString::fromUtf16(kAboutEntry), this, &CMorphDlg::ShowAbout);
    menu.exec(event->globalPos());
}

void CMorphDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        ShowAbout();
        return;
    }
    QDialog::keyPressEvent(event);
}

#if defined(Q_OS_WIN)
void CMorphDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_bSystemMenuDone)
        return;
    m_bSystemMenuDone = true;
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, kAboutCommand, reinterpret_cast<const wchar_t*>(kAboutEntry));
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    }
}

bool CMorphDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommand) {
        ShowAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif
