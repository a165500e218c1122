#include "CSheet_Path.h"

#include "CDialogTemplate.h"
#include "CFileChooser.h"
#include "CMessageBox.h"
#include "CMorphDlg.h"
#include "CWaitCursor.h"
#include "ControlIds.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace {

const char16_t* const kDiscardPairs = u"別の画像を読み込むと、今あるポイントはすべて削除されます。読み込みますか？";

// Sets a path box's text and shows its beginning, as a fresh edit control does.
void SetPathText(QWidget* page, int nId, const QString& path)
{
    if (QLineEdit* edit = CDialogTemplate::Find<QLineEdit>(page, nId)) {
        edit->setText(path);
        edit->setCursorPosition(0);
    }
}

// The placeholder's rectangle in the page; empty at 0, 0 without one.
QRect PlaceOf(const QWidget* page, int nId)
{
    const QWidget* place = CDialogTemplate::Find(page, nId);
    return place ? place->geometry() : QRect();
}

// The local files a drag carries: one or two, else none.
QStringList DroppedFiles(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    const QList<QUrl> urls = mime->urls();
    if (urls.size() > 2)
        return files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return QStringList();
        files << url.toLocalFile();
    }
    return files;
}

} // namespace

CSheet_Path::CSheet_Path(CMorphDlg* pFrame) : CSheet(IDD_SHEET_PATH, pFrame)
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));
    QLabel* intro = dlg.AddStatic(QStringLiteral("［参照］ボタンをクリックしてモーフィングに使用する元画像と、変更後の画像を指定してください。\n"
                                                 "なお、二つの画像の縦幅・横幅は同じである必要があります。\n"
                                                 "画像が指定出来たら［次へ］ボタンをクリックしてください。"),
                                  0, 0, 493, 32);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    QLineEdit* source = dlg.AddReadOnlyEdit(IDC_EDIT_SOURCE, 0, 52, 436, 14);
    QPushButton* browseSource = dlg.AddButton(IDC_BROWSE_SOURCE, QStringLiteral("参照..."), 439, 52, 50, 14);
    QLabel* sourceLabel = dlg.AddStatic(QStringLiteral("元画像(&B) :  "), 0, 42, 39, 8);
    QLineEdit* target = dlg.AddReadOnlyEdit(IDC_EDIT_TARGET, 0, 205, 436, 14);
    QPushButton* browseTarget = dlg.AddButton(IDC_BROWSE_TARGET, QStringLiteral("参照..."), 439, 205, 50, 14);
    QLabel* targetLabel = dlg.AddStatic(QStringLiteral("変更後の画像(&A) :  "), 0, 195, 58, 8);
    dlg.AddPlaceholder(IDC_TARGET_PREVIEW_PLACE, 0, 223, 128, 94);
    dlg.AddPlaceholder(IDC_SOURCE_PREVIEW_PLACE, 0, 70, 128, 94);
    // Each label's access key leads to its own path box.
    sourceLabel->setBuddy(source);
    targetLabel->setBuddy(target);
    // Drops go to the page, which knows which box a file belongs to.
    source->setAcceptDrops(false);
    target->setAcceptDrops(false);
    setAcceptDrops(true);

    connect(browseSource, &QPushButton::clicked, this, &CSheet_Path::OnBrowseSource);
    connect(browseTarget, &QPushButton::clicked, this, &CSheet_Path::OnBrowseTarget);

    m_wndSrcPreview.Create(PlaceOf(this, IDC_SOURCE_PREVIEW_PLACE), this);
    m_wndDstPreview.Create(PlaceOf(this, IDC_TARGET_PREVIEW_PLACE), this);
}

void CSheet_Path::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), false);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), true);
}

void CSheet_Path::OnNext()
{
    if (GetDocument()->CheckImages())
        GetFrame()->ShowPage(IDD_SHEET_HANDLE);
}

void CSheet_Path::OnBrowseSource()
{
    CMorphData* pDoc = GetDocument();
    const QString path = BrowseImageFile(pDoc->GetSourcePath());
    if (!path.isEmpty())
        LoadSourceFile(path);
}

bool CSheet_Path::MayDiscardPairs()
{
    return CMessageBox::Show(QString::fromUtf16(kDiscardPairs), MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

void CSheet_Path::LoadSourceFile(const QString& path)
{
    CMorphData* pDoc = GetDocument();
    CWaitCursor wait;
    if (pDoc->LoadSource(path, &CSheet_Path::MayDiscardPairs)) {
        SetPathText(this, IDC_EDIT_SOURCE, path);
        m_wndSrcPreview.SetImage(*pDoc->m_pSourceImage);
    }
}

void CSheet_Path::OnBrowseTarget()
{
    CMorphData* pDoc = GetDocument();
    const QString path = BrowseImageFile(pDoc->GetTargetPath());
    if (!path.isEmpty())
        LoadTargetFile(path);
}

void CSheet_Path::LoadTargetFile(const QString& path)
{
    CMorphData* pDoc = GetDocument();
    CWaitCursor wait;
    if (pDoc->LoadTarget(path, &CSheet_Path::MayDiscardPairs)) {
        SetPathText(this, IDC_EDIT_TARGET, path);
        m_wndDstPreview.SetImage(*pDoc->m_pTargetImage);
    }
}

void CSheet_Path::ShowDocumentPictures()
{
    const CMorphData* pDoc = GetDocument();
    if (pDoc->m_pSourceImage) {
        SetPathText(this, IDC_EDIT_SOURCE, pDoc->GetSourcePath());
        m_wndSrcPreview.SetImage(*pDoc->m_pSourceImage);
    }
    if (pDoc->m_pTargetImage) {
        SetPathText(this, IDC_EDIT_TARGET, pDoc->GetTargetPath());
        m_wndDstPreview.SetImage(*pDoc->m_pTargetImage);
    }
}

QString CSheet_Path::BrowseImageFile(const QString& initialPath)
{
    return CFileChooser::GetOpenFileName(CMorphDlg::GetMainWnd(), initialPath,
                                         QStringLiteral("画像ファイル(bmp, jpg, png)|*.bmp;*.jpg;*.png||"));
}

void CSheet_Path::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CSheet_Path::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    if (files.size() == 2) {
        LoadSourceFile(files[0]);
        LoadTargetFile(files[1]);
        return;
    }
    // The target's part of the page begins halfway between the source
    // preview and the target's path box.
    const QWidget* sourcePreview = CDialogTemplate::Find(this, IDC_SOURCE_PREVIEW_PLACE);
    const QWidget* targetBox = CDialogTemplate::Find(this, IDC_EDIT_TARGET);
    const int targetTop = sourcePreview && targetBox
        ? (sourcePreview->geometry().bottom() + targetBox->y()) / 2
        : height() / 2;
    if (event->position().y() >= targetTop)
        LoadTargetFile(files[0]);
    else
        LoadSourceFile(files[0]);
}
