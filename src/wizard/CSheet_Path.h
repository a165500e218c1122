#pragma once

#include "CImagePreviewWnd.h"
#include "CSheet.h"

#include <QString>

// Page 129: choosing the source and target pictures. Each chosen file is
// loaded into the document at once and shown in a preview under its path;
// next refuses to go on until both pictures are loaded and of equal size.
class CSheet_Path : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Path(CMorphDlg* pFrame);

    void OnNext() override;
    void OnEnter() override;

    // Ask for a picture, load it into the document and show it.
    void OnBrowseSource();
    void OnBrowseTarget();
    // Load a picture into the document and show it, as after browsing. When
    // the picture was read and would remove the pairs the user is asked first.
    void LoadSourceFile(const QString& path);
    void LoadTargetFile(const QString& path);

    // Shows the document's two pictures and their paths, as after loading
    // them here (after a project file replaced both).
    void ShowDocumentPictures();

    CImagePreviewWnd m_wndSrcPreview;
    CImagePreviewWnd m_wndDstPreview;

protected:
    // Two pictures dropped on the page are the source and the target; one
    // picture is the target when dropped on the lower half (the target's path
    // box and preview), else the source.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Asks whether a picture just read may replace the pairs; true for yes.
    static bool MayDiscardPairs();
    // The Open dialog for pictures, starting at initialPath; an empty string
    // when the user cancels.
    static QString BrowseImageFile(const QString& initialPath);
};
