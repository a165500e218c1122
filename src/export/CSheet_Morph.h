#pragma once

#include "engine/CDraftRenderer.h"
#include "engine/CMorphCore.h"
#include "engine/CPreviewRenderer.h"
#include "export/CSliderCtrl.h"
#include "platform/CImage.h"
#include "wizard/CImageScrollWnd.h"
#include "wizard/CSheet.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;


class CExportJob;
class CExportProgressDlg;

// Page 131: previews the morph at the slider's position and writes the frame
// on show or a numbered sequence of frames to image files.
class CSheet_Morph : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Morph(CMorphDlg* pFrame);
    ~CSheet_Morph() override;

    void OnNext() override;
    void OnBack() override;
    // Makes the frame picture at the source picture's size, hands it to the
    // view, rebuilds the mesh from the document and renders the frame at the
    // slider's position.
    void OnEnter() override;

    // Renders the frame at the slider's position (its time, SliderTime, through
    // the document's curves) and shows it at once.
    void UpdatePreview();
    // A move by the user's keys, clicks or drags renders on the preview's
    // worker while the slider goes on taking input; moves made while a frame
    // renders replace each other, so nothing queues up. While the moves go on
    // only what the view shows renders (see ViewRequest); the exact whole
    // frame follows when they stop (see Settle). A position set by the
    // program renders the exact frame at once.
    void OnSliderMoved();
    // The moves have stopped: the exact whole frame at the slider's position
    // renders behind the part on show and replaces it.
    void Settle();
    // Waits for the worker and shows the exact whole frame wanted last,
    // rendering it here if the worker's frame was not it.
    void ShowLatestFrame();

    // The Save chooser for both exports; an empty string when cancelled. The
    // sequence export also offers the video types.
    QString AskExportPath(bool bSequence = false);
    // Writes the frame on show to one file.
    void OnExportThisImage();
    // Asks for the frame count and timing (kept in the document) and writes
    // the frames to numbered files, or to one video for a video name.
    void OnExportSequence();

    // How long the slider rests before the exact frame renders.
    static constexpr int kSettleMs = 150;

    // Playback shows the frames a sequence export writes, at its frame rate,
    // in real time: a frame not ready when the next is due is skipped. While
    // it plays the view gets what it shows only, as while the thumb moves;
    // the pause settles to the exact frame.
    enum ELoop { kOnce, kLoop, kBounce };
    void Play();
    void Pause();
    void TogglePlay();
    bool IsPlaying() const { return m_bPlaying; }
    // Asks for the frame due now; the play timer calls it.
    void OnPlayTick();
    // Shows export frame index (limited to the sequence); pauses playback.
    void GoToFrame(int64_t index);
    void StepFrame(int64_t delta);
    // Goes to a frame number (from 1) or a percentage ("22.4 %"); false,
    // changing nothing, for any other text.
    bool GoTo(const QString& text);
    // The export frame on show, or the one nearest to the slider's position.
    int64_t CurrentFrame() const;
    // "フレーム 12 / 50 ・ 22.4 %" for the frame on show.
    QString ReadOut() const;

    // Nanoseconds of a steady clock; tests give a clock of their own.
    std::function<int64_t()> m_fnClock;

    CImageScrollWnd m_wndPreview;
    CImage m_imgFrame; // the exact whole frame the view shows, when no draft covers it
    CImage m_imgDraft; // what the view shows of the frame in its place while the slider moves
    CMorphCore m_core;
    CSliderCtrl m_ctlSlider;
    bool m_bUserMove = false; // the value is changing by a slider action
    QTimer m_tmSettle;        // runs from each move; Settle when it ends
    QPushButton* m_pPlay = nullptr;
    QComboBox* m_pLoop = nullptr;
    QLabel* m_pReadOut = nullptr;
    QLineEdit* m_pGoTo = nullptr;
    QLabel* m_pRate = nullptr;
    QTimer m_playTimer;

Q_SIGNALS:
    // A frame went on show; its key is its export frame index, or -1 - p for
    // slider position p.
    void FrameShown(qint64 nKey);

protected:
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The files no export may overwrite: the two pictures.
    QStringList InputFiles();
    // Asks before the first numbered file of the job that exists is replaced.
    bool MayOverwrite(const CExportJob& job);
    // Tells how the job ended (nothing for a still written or a video
    // stopped); then hides the progress window, if any.
    void ShowExportResult(const CExportJob& job, CExportProgressDlg* progress);

    using SRequest = CPreviewRenderer::SRequest;

    // The request for the frame at slider position p.
    SRequest SliderRequest(int p) const;
    // request for what the view shows: below 100 % a draft at the view's
    // scale, else the visible rectangle (nothing less than the whole frame
    // when all of it shows).
    SRequest ViewRequest(SRequest request) const;
    // Renders request into out on the worker.
    void RenderRequest(CImage& out, const SRequest& request);
    // Takes the worker's frame: an exact whole frame into m_imgFrame, a
    // part into m_imgDraft, handed to the view in either case.
    std::optional<SRequest> TakeFrame();
    // The view moved while a part is on show: renders what it shows now.
    void OnViewMoved();
    // Asks the worker for the frame of request, or renders it here when the
    // worker has no pictures or no thread.
    void RequestFrame(const SRequest& request);
    // Renders request into m_imgFrame on this thread and shows it; a frame
    // the worker finished meanwhile is dropped.
    void RenderNow(const SRequest& request);
    // The worker's frame is done: shows it, then asks for the frame wanted
    // if that was not it. The exception of a render comes out here.
    Q_INVOKABLE void OnFrameReady();
    // The request for export frame i.
    SRequest FrameRequest(int64_t i) const;
    // m_imgFrame now holds request: paints it, updates the read-out, and
    // follows it while playing.
    void OnShown(const SRequest& request);
    // Puts the thumb at the time of export frame i without rendering.
    void MoveThumbToFrame(int64_t i);
    void OnCommand(int command);

    // Keys: export frame i is i, slider position p is -1 - p.
    static constexpr int64_t kNoFrame = INT64_MIN;
    SRequest m_reqShown{kNoFrame, {0, 0}};  // the frame in m_imgFrame
    SRequest m_reqWanted{kNoFrame, {0, 0}}; // the frame the page should show
    SRequest m_reqAsked{kNoFrame, {0, 0}};  // the last frame asked of the worker
    CImage m_imgTaken; // the picture a frame is taken into
    CDraftRenderer m_drafts; // the worker's alone
    bool m_bPlaying = false;
    int64_t m_nPlayStart = 0;    // the frame playback started from
    int64_t m_nPlayStartNs = 0;  // and when
    int64_t m_nFirstShownNs = 0; // when playback showed its first frame
    int64_t m_nPlayShown = 0;    // frames shown since
    // Declared last, so it is destroyed first: its worker reads the engine
    // and the document and is joined before either can go.
    CPreviewRenderer m_renderer;
};
