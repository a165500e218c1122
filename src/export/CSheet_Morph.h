#pragma once

#include "CImage.h"
#include "CImageScrollWnd.h"
#include "CMorphCore.h"
#include "CSheet.h"
#include "CSliderCtrl.h"

#include <QString>
#include <QTimer>

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
    // A move by the user's keys, clicks or drags renders once the input that
    // waited behind the last frame has been handled, so only the latest
    // position renders and nothing queues up; a position set by the program
    // renders at once.
    void OnSliderMoved();

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
    QTimer m_tmrPreview;      // zero-interval single shot for the latest position
    bool m_bUserMove = false; // the value is changing by a slider action

private:
    // Writes count frames at fps frames per second into the video at path.
    void ExportVideo(const QString& path, int count, int fps);
};
