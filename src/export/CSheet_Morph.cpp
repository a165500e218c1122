#include "CSheet_Morph.h"

#include "CMessageBox.h"
#include "CMorphDlg.h"
#include "ControlIds.h"

CSheet_Morph::CSheet_Morph(CMorphDlg* pFrame) : CSheet(IDD_SHEET_MORPH, pFrame) {}

void CSheet_Morph::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("終了"), true);
}

void CSheet_Morph::OnNext()
{
    GetFrame()->EndDialog(IDOK);
}

void CSheet_Morph::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_HANDLE);
}
