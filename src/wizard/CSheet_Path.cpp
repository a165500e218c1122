#include "CSheet_Path.h"

#include "CMorphDlg.h"
#include "ControlIds.h"

CSheet_Path::CSheet_Path(CMorphDlg* pFrame) : CSheet(IDD_SHEET_PATH, pFrame) {}

void CSheet_Path::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), false);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), true);
}

void CSheet_Path::OnNext()
{
    if (GetDocument()->CheckImages())
        GetFrame()->ShowPage(IDD_SHEET_HANDLE);
}
