#include "wizard/CSheet_Handle.h"

#include "document/CPairsFile.h"
#include "document/CPairsWriter.h"
#include "platform/CFailureReason.h"
#include "platform/CMessageBox.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>

#include <utility>

namespace {

const char16_t* const kPairsFilter = u"ポイントファイル(*.txt)|*.txt|すべてのファイル(*.*)|*.*||";

// The one local file a drag carries, or an empty string.
QString SingleLocalFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().front().isLocalFile())
        return QString();
    return mime->urls().front().toLocalFile();
}

} // namespace

CSheet_Handle::CSheet_Handle(CMorphDlg* pFrame) : CSheet(IDD_SHEET_HANDLE, pFrame)
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));
    QLabel* intro = dlg.AddStatic(
        QStringLiteral("元のポイントが、変化後どこの位置に移動するかを指定します。\n"
                       "左クリックでポイントが追加されますので、左右の画像でポイントを調節してください。\n"
                       "例えば、左の画像の目をクリックし、右の画像に現れた点を目の位置に来るようにドラッグします。"
                       "要らないポイントは右クリックで削除できます。"),
        0, 0, 493, 32);
    intro->setWordWrap(true);
    const QFrame* place = dlg.AddPlaceholder(IDC_VIEW_PLACE, 0, 42, 492, 304);
    dlg.AddStatic(QStringLiteral("元画像 : "), 0, 32, 34, 8);
    QLabel* targetLabel = dlg.AddStatic(QStringLiteral("変更後の画像 : "), 286, 32, 54, 8, IDC_TARGET_LABEL);

    // The two views share the placeholder's area, equally wide, a small gap between them.
    const QRect area = place->geometry();
    const int l = area.x(), t = area.y(), r = area.x() + area.width(), b = area.y() + area.height();
    const int half = (r - l) / 2 - 2;
    m_wndSrcView.Create(QRect(QPoint(l, t), QSize(half, b - t)), this);
    m_wndDstView.Create(QRect(QPoint(r - half, t), QSize(half, b - t)), this);
    targetLabel->move(r - half, targetLabel->y());

    // The point assistance: its menu above the left view's right end, its
    // status after the right view's label; empty until there is something to say.
    auto* assistButton = dlg.Place(new QToolButton(this), IDC_ASSIST_MENU, 196, 31, 50, 11);
    assistButton->setText(QStringLiteral("点の支援"));
    QLabel* assistStatus = dlg.AddStatic(QString(), 346, 32, 146, 8, IDC_ASSIST_STATUS);
    assistStatus->move(r - half + targetLabel->width() + dlg.X(4), assistStatus->y());
    assistStatus->resize(r - assistStatus->x(), assistStatus->height());
    m_assist.CreateControls(assistButton, assistStatus);

    // Both views show pictures of the same size, so they zoom together.
    connect(&m_wndSrcView, &CImageScrollWnd::ZoomChanged, &m_wndDstView, &CImageScrollWnd::SetZoom);
    connect(&m_wndDstView, &CImageScrollWnd::ZoomChanged, &m_wndSrcView, &CImageScrollWnd::SetZoom);

    CCommandKeys::Bind(this, CCommandKeys::kEditor, [this](CCommandKeys::ECommand command) { OnCommand(command); });
    setAcceptDrops(true);
}

void CSheet_Handle::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), true);
    m_assist.Attach();
    m_wndSrcView.AttachImage();
    m_wndDstView.AttachImage();
}

void CSheet_Handle::OnNext()
{
    GetFrame()->ShowPage(IDD_SHEET_MORPH);
}

void CSheet_Handle::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_PATH);
}

void CSheet_Handle::OnCommand(CCommandKeys::ECommand eCommand)
{
    if (CPointAssist::Handles(eCommand)) {
        m_assist.OnCommand(eCommand);
        return;
    }
    switch (eCommand) {
    case CCommandKeys::Undo:
    case CCommandKeys::Redo:
        OnUndoRedo(eCommand == CCommandKeys::Undo);
        break;
    case CCommandKeys::SavePairs:
        OnSavePairs();
        break;
    case CCommandKeys::LoadPairs:
        OnLoadPairs();
        break;
    default: {
        // About the mouse when it is over a view, else the views' centres;
        // the other view follows.
        CMorphHandleWnd* view = &m_wndSrcView;
        QPoint anchor = view->ClientCentre();
        if (!m_wndSrcView.MouseInClient(anchor) && m_wndDstView.MouseInClient(anchor))
            view = &m_wndDstView;
        view->ZoomCommand(eCommand, anchor);
        break;
    }
    }
}

void CSheet_Handle::OnUndoRedo(bool bUndo)
{
    // A running drag owns its point until it ends.
    if (QWidget::mouseGrabber() == &m_wndSrcView || QWidget::mouseGrabber() == &m_wndDstView)
        return;
    CMorphData* pDoc = GetDocument();
    CHandleHistory& history = pDoc->m_history;
    if (bUndo ? !history.CanUndo() : !history.CanRedo())
        return;
    g_nSelHandle = bUndo ? history.Undo(pDoc->m_aHandles) : history.Redo(pDoc->m_aHandles);
    m_wndSrcView.RedrawBothViews();
}

void CSheet_Handle::OnSavePairs()
{
    const QString path = CFileChooser::GetSaveFileName(GetFrame(), QStringLiteral("txt"),
                                                       QString::fromUtf16(kPairsFilter));
    if (path.isEmpty())
        return;
    CMorphData* pDoc = GetDocument();
    QString reason;
    int errnum = 0;
    if (CPairsWriter::Save(path, pDoc->m_aHandles, pDoc->GetSourcePath(), pDoc->GetTargetPath(), reason, errnum))
        pDoc->MarkPairsSaved();
    else
        CMessageBox::Show(CFailureReason::WriteFailed(path, CFailureReason::OfWrite(errnum)), MB_OK | MB_ICONWARNING);
}

void CSheet_Handle::OnLoadPairs()
{
    const QString path = CFileChooser::GetOpenFileName(GetFrame(), QString(), QString::fromUtf16(kPairsFilter));
    if (!path.isEmpty())
        LoadPairsFile(path);
}

bool CSheet_Handle::LoadPairsFile(const QString& path)
{
    CMorphHandleArray read;
    CReadError error;
    if (!CPairsFile::Load(path, read, error)) {
        CMessageBox::Show(QStringLiteral("ポイントファイルを読み込めませんでした。\n\n") + CFailureReason::OfRead(error),
                          MB_OK | MB_ICONWARNING);
        return false;
    }
    CMorphData* pDoc = GetDocument();
    if (!pDoc->m_aHandles.IsEmpty()
        && CMessageBox::Show(QStringLiteral("今あるポイントを、読み込んだポイントで置き換えますか？"), MB_YESNO)
            != IDYES)
        return false;
    pDoc->m_history.Replace(pDoc->m_aHandles, std::move(read));
    pDoc->MarkPairsSaved(); // they are in that file
    g_nSelHandle = -1;
    m_wndSrcView.RedrawBothViews();
    // Points outside the pictures are not shown: without a word the page
    // could look as if nothing was read.
    if (const int64_t outside = pDoc->CountPointsOutside(); outside > 0)
        CMessageBox::Show(QStringLiteral("読み込んだ %1 組のポイントのうち %2 個が画像の外にあり、表示されません。")
                              .arg(pDoc->m_aHandles.GetSize())
                              .arg(outside),
                          MB_OK | MB_ICONWARNING);
    return true;
}

void CSheet_Handle::dragEnterEvent(QDragEnterEvent* event)
{
    if (!SingleLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CSheet_Handle::dropEvent(QDropEvent* event)
{
    const QString path = SingleLocalFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    LoadPairsFile(path);
}
