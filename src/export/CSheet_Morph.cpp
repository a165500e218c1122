#include "CSheet_Morph.h"

#include "CCommandKeys.h"
#include "CConfigRenbanDlg.h"
#include "CDialogTemplate.h"
#include "CExportFailure.h"
#include "CExportJob.h"
#include "CExportProgressDlg.h"
#include "CFileChooser.h"
#include "CMessageBox.h"
#include "CMorphData.h"
#include "CMorphDlg.h"
#include "CVideoWriter.h"
#include "CWaitCursor.h"
#include "ControlIds.h"

#include <QFileInfo>
#include <QFrame>
#include <QPushButton>
#include <QScopeGuard>

#include <algorithm>
#include <new>
#include <system_error>

namespace {

const char16_t* const kDone = u"書き出しが完了しました。";

} // namespace

CSheet_Morph::CSheet_Morph(CMorphDlg* pFrame) : CSheet(IDD_SHEET_MORPH, pFrame)
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));

    dlg.AddStatic(QStringLiteral("スライダを動かしてモーフィング具合を確認してください。\n\n"
                                 "必要に応じて書き出しを行ってください。"),
                  0, 0, 493, 32);
    const QFrame* place = dlg.AddPlaceholder(IDC_VIEW_PLACE, 0, 32, 411, 288);

    m_ctlSlider.setParent(this);
    dlg.Place(&m_ctlSlider, IDC_SLIDER, 0, 326, 410, 15);
    m_ctlSlider.setRange(0, 1000);

    QPushButton* exportThis =
        dlg.AddButton(IDC_EXPORT_THIS, QStringLiteral("この画像だけ書き出す..."), 414, 32, 76, 14);
    QPushButton* exportSequence =
        dlg.AddButton(IDC_EXPORT_SEQUENCE, QStringLiteral("すべてを連番で書き出す..."), 414, 80, 76, 14);

    m_wndPreview.Create(place->geometry(), this);
    // Keyboard order: the slider, then the two export buttons.
    QWidget::setTabOrder(&m_ctlSlider, exportThis);
    QWidget::setTabOrder(exportThis, exportSequence);

    // Every movement renders: dragging, clicks on the groove, and the keys.
    connect(&m_ctlSlider, &QSlider::actionTriggered, this,
            [this] { m_bUserMove = m_ctlSlider.sliderPosition() != m_ctlSlider.value(); });
    connect(&m_ctlSlider, &QSlider::valueChanged, this, &CSheet_Morph::OnSliderMoved);
    connect(exportThis, &QPushButton::clicked, this, &CSheet_Morph::OnExportThisImage);
    connect(exportSequence, &QPushButton::clicked, this, &CSheet_Morph::OnExportSequence);
    // The zoom keys work wherever the focus is on the page, about the mouse
    // when it is over the preview.
    CCommandKeys::Bind(this, CCommandKeys::kPreview, [this](CCommandKeys::ECommand command) {
        QPoint anchor = m_wndPreview.ClientCentre();
        m_wndPreview.MouseInClient(anchor);
        m_wndPreview.ZoomCommand(command, anchor);
    });
}

CSheet_Morph::~CSheet_Morph()
{
    if (m_render.valid())
        m_render.wait();
    m_wndPreview.m_pImage = nullptr;
}

void CSheet_Morph::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("終了"), true);

    WaitForBackground();
    CMorphData* pData = GetDocument();
    if (!m_imgFrame.IsNull())
        m_imgFrame.Destroy();
    m_imgBack.Destroy();
    const CImage& source = *pData->m_pSourceImage;
    const bool created = m_imgFrame.Create(source.GetWidth(), source.GetHeight());

    m_wndPreview.m_pImage = created ? &m_imgFrame : nullptr;
    m_wndPreview.UpdateScrollBars();
    m_wndPreview.Redraw(false);
    m_wndPreview.InvalidateAll();
    if (!created)
        throw std::bad_alloc();

    m_core.BuildMesh(pData);
    UpdatePreview();
}

void CSheet_Morph::OnSliderMoved()
{
    if (m_bUserMove) {
        m_bUserMove = false;
        RenderInBackground();
    } else {
        UpdatePreview();
    }
}

void CSheet_Morph::UpdatePreview()
{
    WaitForBackground();
    if (m_imgFrame.IsNull())
        return;
    const int position = m_ctlSlider.value();
    m_core.RenderFrame(m_imgFrame, std::clamp((float)(position / 1000.0), 0.0f, 1.0f));
    m_nShownPosition = position;
    m_wndPreview.Redraw(true);
}

void CSheet_Morph::RenderInBackground()
{
    // One frame at a time: when it is done, OnBackgroundFrame follows the slider.
    if (m_render.valid() || m_imgFrame.IsNull() || !isVisible())
        return;
    // The second frame comes out of the memory the encoders would use during
    // an export; without it the frame renders in place.
    if (m_imgBack.IsNull() && !m_imgBack.Create(m_imgFrame.GetWidth(), m_imgFrame.GetHeight())) {
        UpdatePreview();
        return;
    }
    m_nBackPosition = m_ctlSlider.value();
    const float t = std::clamp((float)(m_nBackPosition / 1000.0), 0.0f, 1.0f);
    try {
        m_render = std::async(std::launch::async, [this, t] {
            // Told also when the render throws, so the exception reaches the user.
            const auto done = qScopeGuard(
                [this] { QMetaObject::invokeMethod(this, &CSheet_Morph::OnBackgroundFrame, Qt::QueuedConnection); });
            m_core.RenderFrame(m_imgBack, t);
        });
    } catch (const std::system_error&) {
        UpdatePreview(); // no thread to be had
    }
}

void CSheet_Morph::OnBackgroundFrame()
{
    if (!m_render.valid())
        return; // already taken by a wait
    TakeBackgroundFrame();
    if (m_ctlSlider.value() != m_nShownPosition)
        RenderInBackground();
}

void CSheet_Morph::TakeBackgroundFrame()
{
    if (!m_render.valid())
        return;
    std::future<void> render = std::move(m_render);
    render.get();
    m_imgFrame.Swap(m_imgBack);
    m_nShownPosition = m_nBackPosition;
    m_wndPreview.Redraw(true);
}

void CSheet_Morph::WaitForBackground()
{
    if (m_render.valid())
        std::future<void>(std::move(m_render)).get();
}

void CSheet_Morph::hideEvent(QHideEvent* event)
{
    // A hidden page is left or the wizard is ending: the worker must be done
    // before the mesh is rebuilt or the document's pictures go away.
    WaitForBackground();
    CSheet::hideEvent(event);
}

void CSheet_Morph::ShowLatestFrame()
{
    TakeBackgroundFrame();
    if (m_ctlSlider.value() != m_nShownPosition)
        UpdatePreview();
}

void CSheet_Morph::OnNext()
{
    GetFrame()->EndDialog(IDOK);
}

void CSheet_Morph::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_HANDLE);
}

QString CSheet_Morph::AskExportPath(bool bSequence)
{
    return CFileChooser::GetSaveFileName(
        GetFrame(), QStringLiteral("jpg"),
        bSequence ? QStringLiteral("JPEG(*.jpg)|*.jpg|PNG(*.png)|*.png|MP4 動画(*.mp4)|*.mp4|"
                                   "WebM 動画(*.webm)|*.webm|GIF アニメーション(*.gif)|*.gif||")
                  : QStringLiteral("JPEG(*.jpg)|*.jpg|PNG(*.png)|*.png||"));
}

void CSheet_Morph::OnExportThisImage()
{
    // The file gets the frame of the slider's position, as the view shows it.
    ShowLatestFrame();
    const QString path = AskExportPath();
    if (path.isEmpty())
        return;
    CWaitCursor wait;
    CExportJob job(CExportJob::EKind::Still, path);
    job.m_aInputs = InputFiles();
    if (!job.Write(m_imgFrame))
        ShowExportResult(job, nullptr);
}

void CSheet_Morph::OnExportSequence()
{
    ShowLatestFrame();
    const QString path = AskExportPath(true);
    if (path.isEmpty())
        return;
    const bool video = CVideoWriter::IsVideoPath(path);
    // Said at once rather than after the count has been asked for.
    if (video && CVideoWriter::FindProgram().isEmpty()) {
        CMessageBox::Show(CExportFailure::Message(path, CExportFailure::NoFfmpeg()), MB_OK | MB_ICONWARNING);
        return;
    }
    CMorphTiming& timing = GetDocument()->m_timing;
    if (!CConfigRenbanDlg::Ask(GetFrame(), path, timing))
        return;

    CWaitCursor wait;
    CExportJob job(video ? CExportJob::EKind::Video : CExportJob::EKind::Sequence, path);
    job.m_timing = timing;
    job.m_aInputs = InputFiles();
    const int32_t width = m_imgFrame.GetWidth(), height = m_imgFrame.GetHeight();
    if (!job.Check(width, height)) {
        ShowExportResult(job, nullptr);
        return;
    }
    if (!video && !MayOverwrite(job))
        return;
    CExportProgressDlg progress(GetFrame(), int(job.Count()));
    progress.show();
    job.m_progress = [&progress, count = job.Count()](int64_t done) {
        if (done < count)
            progress.ShowFrame(int(done));
        return !progress.IsStopRequested();
    };
    job.m_finishing = [&progress] { progress.ShowFinishing(); };
    job.Run(m_core, width, height);
    ShowExportResult(job, &progress);
}

QStringList CSheet_Morph::InputFiles()
{
    const CMorphData* pData = GetDocument();
    return {pData->m_strSourcePath, pData->m_strTargetPath};
}

bool CSheet_Morph::MayOverwrite(const CExportJob& job)
{
    // Asked once, for the first numbered name (file or folder) that exists.
    for (int64_t i = job.First(); i <= job.Last(); ++i) {
        const QString name = job.FrameName(i);
        if (QFileInfo::exists(name))
            return CMessageBox::Show(QStringLiteral("以下のファイル等に上書きしてもよろしいですか？\n\n") + name,
                                     MB_YESNO | MB_ICONWARNING)
                   == IDYES;
    }
    return true;
}

void CSheet_Morph::ShowExportResult(const CExportJob& job, CExportProgressDlg* progress)
{
    const CExportJob::SFailure& failure = job.Failure();
    const bool sequence = job.Kind() == CExportJob::EKind::Sequence;
    const QString kept = QStringLiteral("書き出しを中止しました。\n\n%1 枚のファイルを書き出しました。").arg(job.Written());
    QString text;
    unsigned type = MB_OK | MB_ICONWARNING;
    if (failure.eError == CExportJob::EError::None) {
        text = job.Kind() == CExportJob::EKind::Still ? QString() : QString::fromUtf16(kDone);
        type = MB_OK | MB_ICONINFORMATION;
    } else if (failure.eError == CExportJob::EError::Stopped) {
        text = sequence ? kept : QString();
        type = MB_OK | MB_ICONINFORMATION;
    } else {
        text = CExportFailure::Message(failure.strPath, CExportFailure::ReasonOfJob(failure));
        // A sequence that stopped at a frame keeps the frames before it.
        if (sequence && failure.nIndex >= 0) {
            text += QStringLiteral("\n\n") + kept;
            if (progress)
                progress->ShowFrame(int(failure.nIndex - job.First())); // the frame the message is about
        }
    }
    // Shown over the progress window while it is up, so it is centred on the wizard.
    if (!text.isEmpty())
        CMessageBox::Show(text, type);
    if (progress)
        progress->hide();
}
