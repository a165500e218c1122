#pragma once

#include "CMorphHandleWnd.h"
#include "CSheet.h"

// Page 130: placing the point pairs. The source picture on the left and the
// target picture on the right, each in a point editor; the editing itself
// happens in the views.
class CSheet_Handle : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Handle(CMorphDlg* pFrame);

    void OnNext() override;
    void OnBack() override;
    void OnEnter() override;

    CMorphHandleWnd m_wndSrcView{true};  // left: source picture, source points
    CMorphHandleWnd m_wndDstView{false}; // right: target picture, target points
};
