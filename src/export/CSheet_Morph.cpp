#include "export/CSheet_Morph.h"

#include "document/CMorphData.h"
#include "engine/CExportJob.h"
#include "export/CConfigRenbanDlg.h"
#include "export/CExportFailure.h"
#include "export/CExportProgressDlg.h"
#include "platform/CMessageBox.h"
#include "platform/CVideoWriter.h"
#include "wizard/CCommandKeys.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "wizard/CWaitCursor.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <system_error>

namespace {

const char16_t* const kDone = u"書き出しが完了しました。";

int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

CSheet_Morph::CSheet_Morph(CMorphDlg* pFrame)
    : CSheet(IDD_SHEET_MORPH, pFrame),
      m_renderer([this](CImage& out, const SRequest& request) { RenderRequest(out, request); },
                 // Told on the worker; the frame is taken on this thread. By
                 // name, so the call's event is made inside Qt, whose queue
                 // hands it over under its own lock.
                 [this] { QMetaObject::invokeMethod(this, "OnFrameReady", Qt::QueuedConnection); })
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));

    dlg.AddStatic(QStringLiteral("スライダを動かしてモーフィング具合を確認してください。\n\n"
                                 "必要に応じて書き出しを行ってください。"),
                  0, 0, 493, 32);
    const QFrame* place = dlg.AddPlaceholder(IDC_VIEW_PLACE, 0, 32, 411, 288);

    m_ctlSlider.setParent(this);
    dlg.Place(&m_ctlSlider, IDC_SLIDER, 0, 326, 410, 15);
    m_ctlSlider.setRange(0, CMorphTiming::kSliderMax);

    QPushButton* exportThis =
        dlg.AddButton(IDC_EXPORT_THIS, QStringLiteral("この画像だけ書き出す..."), 414, 32, 76, 14);
    QPushButton* exportSequence =
        dlg.AddButton(IDC_EXPORT_SEQUENCE, QStringLiteral("すべてを連番で書き出す..."), 414, 80, 76, 14);

    // Playback in the column under the export buttons.
    const auto tip = [](QWidget* w, CCommandKeys::ECommand command) { w->setToolTip(CCommandKeys::Line(command)); };
    m_pPlay = dlg.AddButton(IDC_PLAY, QStringLiteral("再生"), 414, 104, 76, 14);
    tip(m_pPlay, CCommandKeys::PlayPause);
    QPushButton* first = dlg.AddButton(IDC_FIRST_FRAME, QStringLiteral("|<"), 414, 122, 18, 14);
    QPushButton* previous = dlg.AddButton(IDC_PREVIOUS_FRAME, QStringLiteral("<"), 433, 122, 18, 14);
    QPushButton* next = dlg.AddButton(IDC_NEXT_FRAME, QStringLiteral(">"), 452, 122, 18, 14);
    QPushButton* last = dlg.AddButton(IDC_LAST_FRAME, QStringLiteral(">|"), 471, 122, 19, 14);
    tip(first, CCommandKeys::FirstFrame);
    tip(previous, CCommandKeys::PreviousFrame);
    tip(next, CCommandKeys::NextFrame);
    tip(last, CCommandKeys::LastFrame);
    m_pLoop = new QComboBox(this);
    m_pLoop->addItems({QStringLiteral("1 回"), QStringLiteral("繰り返し"), QStringLiteral("往復")});
    dlg.Place(m_pLoop, IDC_LOOP, 414, 140, 76, 14);
    tip(m_pLoop, CCommandKeys::LoopMode);
    m_pReadOut = dlg.AddStatic(QString(), 414, 158, 76, 20, IDC_FRAME_READOUT);
    m_pReadOut->setWordWrap(true);
    m_pGoTo = new QLineEdit(this);
    m_pGoTo->setMaxLength(32);
    m_pGoTo->setPlaceholderText(QStringLiteral("フレーム番号か %"));
    dlg.Place(m_pGoTo, IDC_GO_TO_FRAME, 414, 180, 76, 14);
    tip(m_pGoTo, CCommandKeys::GoToFrame);
    m_pRate = dlg.AddStatic(QString(), 414, 198, 76, 10, IDC_PLAY_RATE);

    m_wndPreview.Create(place->geometry(), this);
    // Keyboard order: the slider, the two export buttons, then playback.
    QWidget::setTabOrder(&m_ctlSlider, exportThis);
    QWidget::setTabOrder(exportThis, exportSequence);
    QWidget::setTabOrder(exportSequence, m_pPlay);
    QWidget::setTabOrder(m_pPlay, first);
    QWidget::setTabOrder(first, previous);
    QWidget::setTabOrder(previous, next);
    QWidget::setTabOrder(next, last);
    QWidget::setTabOrder(last, m_pLoop);
    QWidget::setTabOrder(m_pLoop, m_pGoTo);
    // A focused choice keeps Space, which opens it.
    m_pLoop->installEventFilter(this);

    m_fnClock = SteadyNs;
    m_playTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_playTimer, &QTimer::timeout, this, &CSheet_Morph::OnPlayTick);
    connect(m_pPlay, &QPushButton::clicked, this, &CSheet_Morph::TogglePlay);
    connect(first, &QPushButton::clicked, this, [this] { GoToFrame(0); });
    connect(previous, &QPushButton::clicked, this, [this] { StepFrame(-1); });
    connect(next, &QPushButton::clicked, this, [this] { StepFrame(1); });
    connect(last, &QPushButton::clicked, this, [this] { GoToFrame(INT64_MAX); });
    connect(m_pGoTo, &QLineEdit::returnPressed, this, [this] {
        if (!GoTo(m_pGoTo->text()))
            QApplication::beep();
        m_pGoTo->selectAll();
    });
    // The user taking the thumb or the slider's keys pauses playback.
    connect(&m_ctlSlider, &QSlider::sliderPressed, this, &CSheet_Morph::Pause);

    // Every movement renders: dragging, clicks on the groove, and the keys.
    connect(&m_ctlSlider, &QSlider::actionTriggered, this, [this] {
        Pause();
        m_bUserMove = m_ctlSlider.sliderPosition() != m_ctlSlider.value();
    });
    connect(&m_ctlSlider, &QSlider::valueChanged, this, &CSheet_Morph::OnSliderMoved);
    m_tmSettle.setSingleShot(true);
    m_tmSettle.setInterval(kSettleMs);
    connect(&m_tmSettle, &QTimer::timeout, this, &CSheet_Morph::Settle);
    connect(&m_ctlSlider, &QSlider::sliderReleased, this, &CSheet_Morph::Settle);
    connect(&m_wndPreview, &CImageScrollWnd::ViewMoved, this, &CSheet_Morph::OnViewMoved);
    connect(exportThis, &QPushButton::clicked, this, &CSheet_Morph::OnExportThisImage);
    connect(exportSequence, &QPushButton::clicked, this, &CSheet_Morph::OnExportSequence);
    // The zoom keys work wherever the focus is on the page, about the mouse
    // when it is over the preview.
    CCommandKeys::Bind(this, CCommandKeys::kPreview, [this](CCommandKeys::ECommand command) { OnCommand(command); });
}

CSheet_Morph::~CSheet_Morph()
{
    m_renderer.Wait();
    m_wndPreview.m_pImage = nullptr;
}

void CSheet_Morph::OnCommand(int command)
{
    switch (command) {
    case CCommandKeys::PlayPause: TogglePlay(); return;
    case CCommandKeys::FirstFrame: GoToFrame(0); return;
    case CCommandKeys::PreviousFrame: StepFrame(-1); return;
    case CCommandKeys::NextFrame: StepFrame(1); return;
    case CCommandKeys::LastFrame: GoToFrame(INT64_MAX); return;
    case CCommandKeys::GoToFrame:
        m_pGoTo->setFocus(Qt::ShortcutFocusReason);
        m_pGoTo->selectAll();
        return;
    case CCommandKeys::LoopMode: m_pLoop->setCurrentIndex((m_pLoop->currentIndex() + 1) % m_pLoop->count()); return;
    default: break;
    }
    QPoint anchor = m_wndPreview.ClientCentre();
    m_wndPreview.MouseInClient(anchor);
    m_wndPreview.ZoomCommand(CCommandKeys::ECommand(command), anchor);
}

bool CSheet_Morph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pLoop && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return CSheet::eventFilter(watched, event);
}

void CSheet_Morph::OnEnter()
{
    Pause();
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("終了"), true);

    m_renderer.Wait();
    CMorphData* pData = GetDocument();
    if (!m_imgFrame.IsNull())
        m_imgFrame.Destroy();
    const CImage& source = *pData->m_pSourceImage;
    const bool created = m_imgFrame.Create(source.GetWidth(), source.GetHeight());
    // The worker's pictures come out of the memory the encoders would use
    // during an export; without them frames render in place.
    if (!created || !m_renderer.Resize(source.GetWidth(), source.GetHeight()))
        m_renderer.Resize(0, 0);
    m_reqShown = m_reqAsked = SRequest{kNoFrame, {0, 0}};
    m_tmSettle.stop();
    m_drafts.Invalidate();
    m_wndPreview.SetDraft(nullptr, CRect(), 0);

    m_wndPreview.m_pImage = created ? &m_imgFrame : nullptr;
    m_wndPreview.UpdateScrollBars();
    m_wndPreview.Redraw(false);
    m_wndPreview.InvalidateAll();
    if (!created)
        throw std::bad_alloc();

    m_core.BuildMesh(pData);
    UpdatePreview();
}

CSheet_Morph::SRequest CSheet_Morph::SliderRequest(int p) const
{
    return SRequest{-1 - int64_t(p), GetDocument()->m_timing.AtTime(CMorphTiming::SliderTime(p))};
}

CSheet_Morph::SRequest CSheet_Morph::ViewRequest(SRequest request) const
{
    const int zoom = m_wndPreview.GetZoom();
    if (zoom < 100) {
        request.fDraftScale = zoom / 100.0;
        return request;
    }
    const CRect visible = m_wndPreview.VisiblePictureRect();
    if (visible != CRect(0, 0, m_imgFrame.GetWidth(), m_imgFrame.GetHeight()))
        request.rcPart = visible;
    return request;
}

void CSheet_Morph::RenderRequest(CImage& out, const SRequest& request)
{
    const float shape = request.pos.fShape, color = request.pos.fColor;
    if (request.fDraftScale > 0.0) {
        if (!m_drafts.Render(out, m_core, request.fDraftScale, shape, color))
            throw std::bad_alloc();
        return;
    }
    const CImage& source = *GetDocument()->m_pSourceImage;
    const CRect part =
        request.IsWholeFrame() ? CRect(0, 0, source.GetWidth(), source.GetHeight()) : request.rcPart;
    if (out.GetWidth() != part.Width() || out.GetHeight() != part.Height()) {
        out.Destroy();
        if (!out.Create(part.Width(), part.Height()))
            throw std::bad_alloc();
    }
    if (request.IsWholeFrame())
        m_core.RenderFrame(out, shape, color);
    else
        m_core.RenderFrameRect(out, shape, color, part);
}

std::optional<CSheet_Morph::SRequest> CSheet_Morph::TakeFrame()
{
    const std::optional<SRequest> taken = m_renderer.Take(m_imgTaken);
    if (!taken)
        return taken;
    if (taken->IsWholeFrame()) {
        m_imgFrame.Swap(m_imgTaken);
        m_wndPreview.SetDraft(nullptr, CRect(), 0);
    } else {
        m_imgDraft.Swap(m_imgTaken);
        m_wndPreview.SetDraft(&m_imgDraft, taken->rcPart, int(std::lround(taken->fDraftScale * 100.0)));
    }
    return taken;
}

void CSheet_Morph::OnSliderMoved()
{
    if (m_bUserMove) {
        m_bUserMove = false;
        if (isVisible() && !m_imgFrame.IsNull()) {
            RequestFrame(ViewRequest(SliderRequest(m_ctlSlider.value())));
            if (!m_reqWanted.IsWholeFrame())
                m_tmSettle.start();
            return;
        }
    }
    UpdatePreview();
}

void CSheet_Morph::Settle()
{
    m_tmSettle.stop();
    // Playback stays on drafts; its pause settles.
    if (m_bPlaying || m_reqWanted.nKey == kNoFrame || m_reqWanted.IsWholeFrame() || m_imgFrame.IsNull())
        return;
    RequestFrame(SRequest{m_reqWanted.nKey, m_reqWanted.pos});
}

void CSheet_Morph::OnViewMoved()
{
    if (m_reqWanted.nKey == kNoFrame || m_reqWanted.IsWholeFrame() || !isVisible())
        return;
    RequestFrame(ViewRequest(SRequest{m_reqWanted.nKey, m_reqWanted.pos}));
    if (!m_reqWanted.IsWholeFrame())
        m_tmSettle.start();
}

void CSheet_Morph::UpdatePreview()
{
    if (m_imgFrame.IsNull())
        return;
    RenderNow(SliderRequest(m_ctlSlider.value()));
}

void CSheet_Morph::RequestFrame(const SRequest& request)
{
    m_reqWanted = request;
    if (request == m_reqAsked && m_renderer.IsBusy())
        return; // on its way
    if (m_renderer.Request(request))
        m_reqAsked = request;
    else
        RenderNow(request);
}

void CSheet_Morph::RenderNow(const SRequest& request)
{
    // The engine is the worker's while it renders; a frame it finished is
    // older than this one and never shown.
    m_renderer.Wait();
    TakeFrame();
    m_tmSettle.stop();
    // Always the exact whole frame: a part asked for here would be no cheaper.
    m_reqWanted = SRequest{request.nKey, request.pos};
    m_core.RenderFrame(m_imgFrame, request.pos.fShape, request.pos.fColor);
    m_wndPreview.SetDraft(nullptr, CRect(), 0);
    OnShown(m_reqWanted);
}

void CSheet_Morph::OnFrameReady()
{
    const std::optional<SRequest> taken = TakeFrame();
    if (!taken)
        return; // already taken by a wait
    OnShown(*taken);
    if (m_bPlaying)
        OnPlayTick();
    else if (m_reqWanted != m_reqShown)
        RequestFrame(m_reqWanted);
}

void CSheet_Morph::OnShown(const SRequest& request)
{
    m_reqShown = request;
    m_wndPreview.Redraw(true);
    m_pReadOut->setText(ReadOut());
    Q_EMIT FrameShown(request.nKey);
    if (!m_bPlaying)
        return;
    const int64_t now = m_fnClock();
    if (m_nPlayShown++ == 0)
        m_nFirstShownNs = now;
    else if (now > m_nFirstShownNs)
        m_pRate->setText(QStringLiteral("%1 fps で再生中")
                             .arg(double(m_nPlayShown - 1) * 1e9 / double(now - m_nFirstShownNs), 0, 'f', 1));
    MoveThumbToFrame(request.nKey);
    if (m_pLoop->currentIndex() == kOnce && request.nKey == GetDocument()->m_timing.TotalFrames() - 1)
        Pause();
}

CSheet_Morph::SRequest CSheet_Morph::FrameRequest(int64_t i) const
{
    return SRequest{i, GetDocument()->m_timing.Frame(i)};
}

void CSheet_Morph::MoveThumbToFrame(int64_t i)
{
    const QSignalBlocker quiet(m_ctlSlider);
    m_ctlSlider.setValue(int(std::lround(GetDocument()->m_timing.FrameTime(i) * CMorphTiming::kSliderMax)));
}

int64_t CSheet_Morph::CurrentFrame() const
{
    const CMorphTiming& timing = GetDocument()->m_timing;
    const int64_t key = m_reqWanted.nKey == kNoFrame ? -1 - m_ctlSlider.value() : m_reqWanted.nKey;
    if (key >= 0)
        return std::min(key, timing.TotalFrames() - 1);
    const int p = int(-1 - key);
    if (p <= 0)
        return 0;
    if (p >= CMorphTiming::kSliderMax)
        return timing.TotalFrames() - 1;
    return timing.m_nHoldStart + std::llround(CMorphTiming::SliderTime(p) * (timing.m_nCount - 1));
}

QString CSheet_Morph::ReadOut() const
{
    const CMorphTiming& timing = GetDocument()->m_timing;
    const int64_t key = m_reqShown.nKey;
    const int64_t frame = key >= 0 ? key : CurrentFrame();
    const double percent = key >= 0 ? timing.FrameTime(key) * 100.0 : int(-1 - key) * 100.0 / CMorphTiming::kSliderMax;
    return QStringLiteral("フレーム %1 / %2 ・ %3 %")
        .arg(frame + 1)
        .arg(timing.TotalFrames())
        .arg(percent, 0, 'f', 1);
}

void CSheet_Morph::GoToFrame(int64_t index)
{
    Pause();
    if (m_imgFrame.IsNull())
        return;
    const int64_t i = std::clamp<int64_t>(index, 0, GetDocument()->m_timing.TotalFrames() - 1);
    MoveThumbToFrame(i);
    RequestFrame(FrameRequest(i));
}

void CSheet_Morph::StepFrame(int64_t delta)
{
    GoToFrame(CurrentFrame() + delta);
}

bool CSheet_Morph::GoTo(const QString& text)
{
    QString number = text.trimmed();
    const bool percent = number.endsWith(QLatin1Char('%')) || number.endsWith(QChar(0xFF05));
    if (percent)
        number.chop(1);
    bool ok = false;
    if (percent) {
        const double value = number.trimmed().toDouble(&ok);
        if (!ok || !(value >= 0.0 && value <= 100.0))
            return false;
        Pause();
        const int p = int(std::lround(value * (CMorphTiming::kSliderMax / 100)));
        {
            const QSignalBlocker quiet(m_ctlSlider);
            m_ctlSlider.setValue(p);
        }
        if (!m_imgFrame.IsNull())
            RequestFrame(SliderRequest(p));
        return true;
    }
    const qlonglong frame = number.toLongLong(&ok);
    if (!ok || frame < 1 || frame > GetDocument()->m_timing.TotalFrames())
        return false;
    GoToFrame(frame - 1);
    return true;
}

void CSheet_Morph::TogglePlay()
{
    if (m_bPlaying)
        Pause();
    else
        Play();
}

void CSheet_Morph::Play()
{
    if (m_bPlaying || m_imgFrame.IsNull() || !isVisible())
        return;
    const CMorphTiming& timing = GetDocument()->m_timing;
    m_nPlayStart = CurrentFrame();
    if (m_pLoop->currentIndex() == kOnce && m_nPlayStart >= timing.TotalFrames() - 1)
        m_nPlayStart = 0; // played to the end: again from the start
    m_bPlaying = true;
    m_nPlayStartNs = m_fnClock();
    m_nPlayShown = 0;
    m_pPlay->setText(QStringLiteral("一時停止"));
    m_pRate->setText(QString());
    m_playTimer.start(std::max(1, int(500.0 / timing.m_dFps))); // twice a frame
    OnPlayTick();
}

void CSheet_Morph::Pause()
{
    if (!m_bPlaying)
        return;
    m_bPlaying = false;
    m_playTimer.stop();
    m_pPlay->setText(QStringLiteral("再生"));
    m_pRate->setText(QString());
    // A draft on show becomes the exact frame once nothing else is asked for.
    if (!m_reqWanted.IsWholeFrame())
        m_tmSettle.start();
}

void CSheet_Morph::OnPlayTick()
{
    if (!m_bPlaying)
        return;
    const CMorphTiming& timing = GetDocument()->m_timing;
    const int64_t total = timing.TotalFrames();
    const double elapsed = double(std::max<int64_t>(m_fnClock() - m_nPlayStartNs, 0)) / 1e9;
    // Capped so the frame arithmetic cannot overflow after days of play.
    const int64_t n = m_nPlayStart + int64_t(std::min(elapsed * timing.m_dFps, 1e15));
    int64_t i = 0;
    switch (m_pLoop->currentIndex()) {
    case kLoop: i = n % total; break;
    case kBounce: {
        const int64_t period = 2 * (total - 1);
        const int64_t m = period > 0 ? n % period : 0;
        i = m < total ? m : period - m;
        break;
    }
    default: i = std::min(n, total - 1); break;
    }
    // What the view shows only, as while the thumb moves.
    const SRequest request = ViewRequest(FrameRequest(i));
    if (request != m_reqWanted)
        RequestFrame(request);
}

void CSheet_Morph::hideEvent(QHideEvent* event)
{
    // A hidden page is left or the wizard is ending: the worker must be done
    // before the mesh is rebuilt or the document's pictures go away.
    Pause();
    m_renderer.Wait();
    m_tmSettle.stop();
    CSheet::hideEvent(event);
}

void CSheet_Morph::ShowLatestFrame()
{
    Pause();
    m_renderer.Wait();
    if (m_imgFrame.IsNull())
        return;
    if (const std::optional<SRequest> taken = TakeFrame())
        OnShown(*taken);
    const SRequest exact{m_reqWanted.nKey, m_reqWanted.pos};
    if (m_reqShown != exact)
        RenderNow(exact);
}

void CSheet_Morph::OnNext()
{
    // Finishing loses unsaved pairs just as cancelling does, so it asks too.
    if (GetFrame()->MayQuit())
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
