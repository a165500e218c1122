#pragma once

#include "CImage.h"
#include "CImageScrollWnd.h"
#include "CMorphCore.h"
#include "CSheet.h"
#include "CSliderCtrl.h"

#include <QString>
#include <QStringList>

#include <future>

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

    // Renders the frame at t = slider position / 1000 and shows it at once.
    void UpdatePreview();
    // A move by the user's keys, clicks or drags renders on a worker thread
    // while the slider goes on taking input; when the frame is done it is
    // shown and, if the slider moved meanwhile, the latest position renders
    // next, so nothing queues up. A position set by the program renders at once.
    void OnSliderMoved();
    // Waits for a frame rendering in the background, shows it, and renders
    // the slider's position if that frame was not at it.
    void ShowLatestFrame();

    // The Save chooser for both exports; an empty string when cancelled. The
    // sequence export also offers the video types.
    QString AskExportPath(bool bSequence = false);
    // Writes the frame on show to one file.
    void OnExportThisImage();
    // Asks for the frame count and timing (kept in the document) and writes
    // the frames to numbered files, or to one video for a video name.
    void OnExportSequence();

    CImageScrollWnd m_wndPreview;
    CImage m_imgFrame;
    CMorphCore m_core;
    CSliderCtrl m_ctlSlider;
    bool m_bUserMove = false; // the value is changing by a slider action

protected:
    void hideEvent(QHideEvent* event) override;

private:
    // The files no export may overwrite: the two pictures.
    QStringList InputFiles();
    // Asks before the first numbered file of the job that exists is replaced.
    bool MayOverwrite(const CExportJob& job);
    // Tells how the job ended (nothing for a still written or a video
    // stopped); then hides the progress window, if any.
    void ShowExportResult(const CExportJob& job, CExportProgressDlg* progress);

    // Starts rendering the slider's position into m_imgBack on a worker thread.
    void RenderInBackground();
    // The worker's frame is done: shows it, then follows the slider.
    void OnBackgroundFrame();
    // Waits for the worker's frame and swaps it in; its exception, if it
    // threw, comes out here.
    void TakeBackgroundFrame();
    // Waits for the worker without showing its frame, before the engine or
    // the frame picture change.
    void WaitForBackground();

    CImage m_imgBack;          // the frame a worker renders while m_imgFrame is on show
    int m_nShownPosition = -1; // slider position of the frame in m_imgFrame
    int m_nBackPosition = -1;  // slider position of the frame in m_imgBack
    // Declared last: it is waited for before the engine and the pictures go.
    std::future<void> m_render;
};
