#include "document/CMorphData.h"
#include "MessageRecorder.h"
#include "TestImages.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "wizard/CSheet.h"
#include "WizardFrame.h"

#include <QPushButton>
#include <QTest>

class TestMeshRefused : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Too many points at one position: the next button on page 130 says why
    // the mesh cannot be made and page 130 stays on show, ready to use; with
    // fewer points the preview page opens.
    void tooManyCoincidentPointsStayOnPage130()
    {
        WizardFrame dlg;
        CMorphData* doc = dlg.m_pMorphData.get();
        doc->m_pSourceImage = TestImages::Pattern(64, 48);
        doc->m_pTargetImage = TestImages::Pattern(64, 48);
        for (int i = 0; i < 2700; ++i)
            doc->m_aHandles.Add(CMorphHandle{CPoint(20, 10), CPoint(30, 25)});
        dlg.show();
        dlg.ShowPage(IDD_SHEET_HANDLE);
        CSheet* handlePage = dlg.GetSheet(IDD_SHEET_HANDLE);
        CSheet* morphPage = dlg.GetSheet(IDD_SHEET_MORPH);

        MessageRecorder rec;
        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(rec.texts(), QStringList{QStringLiteral(
                                  "ポイントが多すぎるか、同じ位置や一直線上に集まりすぎているため、メッシュを作れません。")});
        QCOMPARE(rec.boxes[0].type, unsigned(MB_OK | MB_ICONERROR));
        QCOMPARE(dlg.GetCurSheet(), handlePage);
        QVERIFY(handlePage->isVisible());
        QVERIFY(!morphPage->isVisible());
        QCOMPARE(dlg.GetButton(IDC_NEXT)->text(), QStringLiteral("次へ(&N) >"));
        QVERIFY(dlg.GetButton(IDC_NEXT)->isEnabled());
        QVERIFY(dlg.isVisible());

        doc->m_aHandles.RemoveAll();
        doc->m_aHandles.Add(CMorphHandle{CPoint(20, 10), CPoint(30, 25)});
        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(dlg.GetCurSheet(), morphPage);
        QVERIFY(morphPage->isVisible());
        QVERIFY(!handlePage->isVisible());
        QCOMPARE(dlg.GetButton(IDC_NEXT)->text(), QStringLiteral("終了"));
    }
};

QTEST_MAIN(TestMeshRefused)
#include "tst_mesh_refused.moc"
