#pragma once

#include "CCommandKeys.h"
#include "CMorphHandleWnd.h"
#include "CPointAssist.h"
#include "CSheet.h"

// Page 130: placing the point pairs. The source picture on the left and the
// target picture on the right, each in a point editor; the editing itself
// happens in the views. The pairs can be written to and read from a file.
class CSheet_Handle : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Handle(CMorphDlg* pFrame);

    void OnNext() override;
    void OnBack() override;
    void OnEnter() override;

    // The page's keys, wherever the focus is on the page: undo and redo,
    // saving and reading pairs, and zooming both views together.
    void OnCommand(CCommandKeys::ECommand eCommand);
    // Takes the last edit of the pairs back or does it again; the pair it
    // changed is selected.
    void OnUndoRedo(bool bUndo);

    // Ctrl+S: asks for a file name and writes the pairs there in the format
    // of the headless renderer.
    void OnSavePairs();
    // Ctrl+O: asks for a pairs file and reads it.
    void OnLoadPairs();
    // Reads a pairs file; existing pairs are replaced only after the user
    // agreed, and a file with a bad line changes nothing. True when read.
    bool LoadPairsFile(const QString& path);

    CMorphHandleWnd m_wndSrcView{true};  // left: source picture, source points
    CMorphHandleWnd m_wndDstView{false}; // right: target picture, target points
    // Matching, pairs found in the pictures and the views' overlays.
    CPointAssist m_assist{this};

protected:
    // A pairs file dropped on the page is read.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
