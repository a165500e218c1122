#include "wizard/CSheet.h"

#include "wizard/CMorphDlg.h"

CSheet::CSheet(int nId, CMorphDlg* pFrame) : QWidget(pFrame), m_nId(nId)
{
    hide();
}

CSheet::~CSheet() = default;

CMorphDlg* CSheet::GetFrame() const
{
    return qobject_cast<CMorphDlg*>(parentWidget());
}

CMorphData* CSheet::GetDocument() const
{
    CMorphDlg* frame = GetFrame();
    return frame ? frame->m_pMorphData.get() : nullptr;
}
