#include "CSheet_Handle.h"

#include "CMorphDlg.h"
#include "ControlIds.h"

CSheet_Handle::CSheet_Handle(CMorphDlg* pFrame) : CSheet(IDD_SHEET_HANDLE, pFrame) {}

void CSheet_Handle::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), true);
}

void CSheet_Handle::OnNext()
{
    GetFrame()->ShowPage(IDD_SHEET_MORPH);
}

void CSheet_Handle::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_PATH);
}
