#pragma once

#include "CImage.h"
#include "CImageScrollWnd.h"
#include "CMorphCore.h"
#include "CPreviewRenderer.h"
#include "CSheet.h"
#include "CSliderCtrl.h"

#include <QString>

#include <cstdint>


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

    // Renders the frame at the slider's position (time position / 1000 through
    // the document's curves) and shows it at once.
    void UpdatePreview();
    // A move by the user's keys, clicks or drags renders on the preview's
    // worker while the slider goes on taking input; moves made while a frame
    // renders replace each other, so nothing queues up. A position set by the
    // program renders at once.
    void OnSliderMoved();
    // Waits for the worker and shows the frame wanted last, rendering it here
    // if the worker's frame was not it.
    void ShowLatestFrame();

    // The Save chooser for both exports; an empty string when cancelled. The
    // sequence export also offers the video types.
    QString AskExportPath(bool bSequence = false);
    // Writes the frame on show to one file.
    void OnExportThisImage();
    // Asks for a frame count and writes that many evenly spaced frames to
    // numbered files, or to one video for a video name.
    void OnExportSequence();

    CImageScrollWnd m_wndPreview;
    CImage m_imgFrame;
    CMorphCore m_core;
    CSliderCtrl m_ctlSlider;
    bool m_bUserMove = false; // the value is changing by a slider action

protected:
    void hideEvent(QHideEvent* event) override;

private:
    using SRequest = CPreviewRenderer::SRequest;

    // Writes count frames at fps frames per second into the video at path.
    void ExportVideo(const QString& path, int count, int fps);

    // The request for the frame at slider position p.
    SRequest SliderRequest(int p) const;
    // Asks the worker for the frame of request, or renders it here when the
    // worker has no pictures or no thread.
    void RequestFrame(const SRequest& request);
    // Renders request into m_imgFrame on this thread and shows it; a frame
    // the worker finished meanwhile is dropped.
    void RenderNow(const SRequest& request);
    // The worker's frame is done: shows it, then asks for the frame wanted
    // if that was not it. The exception of a render comes out here.
    void OnFrameReady();

    // Keys: export frame i is i, slider position p is -1 - p.
    static constexpr int64_t kNoFrame = INT64_MIN;
    SRequest m_reqShown{kNoFrame, {0, 0}};  // the frame in m_imgFrame
    SRequest m_reqWanted{kNoFrame, {0, 0}}; // the frame the page should show
    SRequest m_reqAsked{kNoFrame, {0, 0}};  // the last frame asked of the worker
    // Declared last, so it is destroyed first: its worker reads the engine
    // and the document and is joined before either can go.
    CPreviewRenderer m_renderer;
};
