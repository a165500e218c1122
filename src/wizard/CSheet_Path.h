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

    CImagePreviewWnd m_wndSrcPreview;
    CImagePreviewWnd m_wndDstPreview;

private:
    // The Open dialog for pictures, starting at initialPath; an empty string
    // when the user cancels.
    static QString BrowseImageFile(const QString& initialPath);
};
