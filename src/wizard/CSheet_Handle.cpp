#include "CSheet_Handle.h"

#include "CDialogTemplate.h"
#include "CMorphDlg.h"
#include "ControlIds.h"

#include <QFrame>
#include <QLabel>

CSheet_Handle::CSheet_Handle(CMorphDlg* pFrame) : CSheet(IDD_SHEET_HANDLE, pFrame)
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));
    QLabel* intro = dlg.AddStatic(
        QStringLiteral("元のポイントが、変化後どこの位置に移動するかを指定します。\n"
                       "左クリックでポイントが追加されますので、左右の画像でポイントを調節してください。\n"
                       "例えば、左の画像の目をクリックし、右の画像に現れた点を目の位置に来るようにドラッグします。"
                       "要らないポイントは右クリックで削除できます。"),
        0, 0, 493, 32);
    intro->setWordWrap(true);
    const QFrame* place = dlg.AddPlaceholder(IDC_VIEW_PLACE, 0, 42, 492, 304);
    dlg.AddStatic(QStringLiteral("元画像 : "), 0, 32, 34, 8);
    QLabel* targetLabel = dlg.AddStatic(QStringLiteral("変更後の画像 : "), 286, 32, 54, 8, IDC_TARGET_LABEL);

    // The two views share the placeholder's area, equally wide, a small gap between them.
    const QRect area = place->geometry();
    const int l = area.x(), t = area.y(), r = area.x() + area.width(), b = area.y() + area.height();
    const int half = (r - l) / 2 - 2;
    m_wndSrcView.Create(QRect(QPoint(l, t), QSize(half, b - t)), this);
    m_wndDstView.Create(QRect(QPoint(r - half, t), QSize(half, b - t)), this);
    targetLabel->move(r - half, targetLabel->y());
}

void CSheet_Handle::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("次へ(&N) >"), true);
    m_wndSrcView.AttachImage();
    m_wndDstView.AttachImage();
}

void CSheet_Handle::OnNext()
{
    GetFrame()->ShowPage(IDD_SHEET_MORPH);
}

void CSheet_Handle::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_PATH);
}
