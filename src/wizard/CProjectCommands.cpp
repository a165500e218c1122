#include "wizard/CProjectCommands.h"

#include "document/CProjectFile.h"
#include "document/LoadImageFile.h"
#include "platform/CFailureReason.h"
#include "platform/CMessageBox.h"
#include "wizard/CFileChooser.h"
#include "wizard/CMorphDlg.h"
#include "wizard/CMorphHandleWnd.h"
#include "wizard/ControlIds.h"
#include "wizard/CSheet_Path.h"
#include "wizard/CWaitCursor.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <utility>

namespace {

const char16_t* const kFilter = u"Quillarend プロジェクト(*.quillarend)|*.quillarend|すべてのファイル(*.*)|*.*||";
const char16_t* const kOpenFailed = u"プロジェクトファイルを開けませんでした。\n\n";
const char16_t* const kSaveFailed = u"プロジェクトファイルを保存できませんでした。\n\n";
const char16_t* const kSizesDiffer = u"元画像と変更後の画像サイズが異なります。";
const char16_t* const kReplaceUnsaved =
    u"保存していないポイントがあります。プロジェクトを開くと、今のポイントは置き換えられます。開きますか？";

// The one project file a drag carries, or an empty string.
QString DraggedProject(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls().front().isLocalFile())
        return QString();
    const QString path = mime->urls().front().toLocalFile();
    return CProjectCommands::IsProjectFile(path) ? path : QString();
}

} // namespace

CProjectCommands::CProjectCommands(CMorphDlg* pFrame) : QObject(pFrame), m_pFrame(pFrame)
{
    CCommandKeys::Bind(pFrame, CCommandKeys::kWizard, [this](CCommandKeys::ECommand command) { OnCommand(command); });
    // Drags over the buttons and page 131 reach the frame; pages that take
    // drops of their own are passed over through the application's filter.
    pFrame->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

bool CProjectCommands::IsProjectFile(const QString& path)
{
    return path.endsWith(QLatin1String(".quillarend"), Qt::CaseInsensitive);
}

void CProjectCommands::OnCommand(CCommandKeys::ECommand eCommand)
{
    if (eCommand == CCommandKeys::SaveProject)
        SaveProject();
    else if (eCommand == CCommandKeys::OpenProject)
        OpenProject();
}

bool CProjectCommands::Dragging() const
{
    const QWidget* grabber = QWidget::mouseGrabber();
    return grabber && m_pFrame->isAncestorOf(grabber);
}

bool CProjectCommands::SaveProject()
{
    CMorphData* pDoc = m_pFrame->m_pMorphData.get();
    if (!pDoc->CheckImages())
        return false;
    const QString path =
        CFileChooser::GetSaveFileName(m_pFrame, QStringLiteral("quillarend"), QString::fromUtf16(kFilter));
    if (path.isEmpty())
        return false;
    CProjectFile project;
    project.m_strSourcePath = pDoc->GetSourcePath();
    project.m_strTargetPath = pDoc->GetTargetPath();
    project.m_aHandles = pDoc->m_aHandles;
    project.m_timing = pDoc->m_timing;
    QString error;
    int errnum = 0;
    CWaitCursor wait;
    if (!project.Save(path, error, errnum)) {
        CMessageBox::Show(QString::fromUtf16(kSaveFailed) + QDir::toNativeSeparators(path) + QLatin1Char('\n')
                              + CFailureReason::OfProjectSave(errnum),
                          MB_OK | MB_ICONWARNING);
        return false;
    }
    pDoc->MarkPairsSaved();
    return true;
}

bool CProjectCommands::OpenProject()
{
    const QString path = CFileChooser::GetOpenFileName(m_pFrame, QString(), QString::fromUtf16(kFilter));
    return !path.isEmpty() && OpenProjectFile(path);
}

bool CProjectCommands::OpenProjectFile(const QString& path)
{
    if (Dragging())
        return false;
    CProjectFile project;
    CReadError error;
    if (!CProjectFile::Load(path, project, error)) {
        CMessageBox::Show(QString::fromUtf16(kOpenFailed) + CFailureReason::OfRead(error), MB_OK | MB_ICONWARNING);
        return false;
    }
    CMorphData* pDoc = m_pFrame->m_pMorphData.get();
    if (pDoc->HasUnsavedPairs()
        && CMessageBox::Show(QString::fromUtf16(kReplaceUnsaved), MB_YESNO | MB_DEFBUTTON2) != IDYES)
        return false;
    // Both pictures are read before anything changes, so a failure keeps the
    // document as it was (the loader names the picture and the reason).
    CWaitCursor wait;
    std::unique_ptr<CImage> source = LoadImageFile(project.m_strSourcePath);
    if (!source)
        return false;
    std::unique_ptr<CImage> target = LoadImageFile(project.m_strTargetPath);
    if (!target)
        return false;
    if (source->GetWidth() != target->GetWidth() || source->GetHeight() != target->GetHeight()) {
        CMessageBox::Show(QString::fromUtf16(kOpenFailed) + QDir::toNativeSeparators(path) + QLatin1Char('\n')
                              + QString::fromUtf16(kSizesDiffer),
                          MB_OK | MB_ICONWARNING);
        return false;
    }
    // Page 131 stops rendering from the pictures before they are replaced.
    m_pFrame->ShowPage(IDD_SHEET_PATH);
    pDoc->SetPictures(project.m_strSourcePath, std::move(source), project.m_strTargetPath, std::move(target));
    pDoc->m_history.Replace(pDoc->m_aHandles, std::move(project.m_aHandles));
    pDoc->m_timing = project.m_timing;
    pDoc->MarkPairsSaved(); // they are in that file
    g_nSelHandle = -1;
    if (auto* page = dynamic_cast<CSheet_Path*>(m_pFrame->GetSheet(IDD_SHEET_PATH)))
        page->ShowDocumentPictures();
    return true;
}

bool CProjectCommands::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    const QWidget* widget = qobject_cast<const QWidget*>(watched);
    if (!widget || widget->window() != m_pFrame)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = DraggedProject(drop->mimeData());
    if (path.isEmpty())
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        OpenProjectFile(path);
    return true;
}
