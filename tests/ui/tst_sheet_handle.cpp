#include "CDialogTemplate.h"
#include "HandlePage.h"
#include "TestImages.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestSheetHandle : public QObject, public HandlePage
{
    Q_OBJECT


    bool Load(const QString& source, const QString& target)
    {
        return Doc().LoadSource(m_dir.filePath(source)) && Doc().LoadTarget(m_dir.filePath(target));
    }

    void Click(int button) { QTest::mouseClick(m_pDlg->GetButton(button), Qt::LeftButton); }

    int CurrentPage() const { return m_pDlg->GetCurSheet() ? m_pDlg->GetCurSheet()->GetId() : 0; }

    static QRgb ViewPixel(CMorphHandleWnd& view, int x, int y)
    {
        const CRect rc = view.GetImageRect();
        return view.grab().toImage().pixel(view.GetClientOrigin() + QPoint(rc.left + x, rc.top + y));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(m_dir.filePath("a.png"), 200, 150));
        QVERIFY(TestImages::WritePattern(m_dir.filePath("b.png"), 200, 150));
        QVERIFY(TestImages::WritePattern(m_dir.filePath("large-a.png"), 1200, 1000));
        QVERIFY(TestImages::WritePattern(m_dir.filePath("large-b.png"), 1200, 1000));
        QImage blue(200, 150, QImage::Format_RGB32);
        blue.fill(qRgb(0, 0, 255));
        QVERIFY(blue.save(m_dir.filePath("blue.png")));
    }

    void init()
    {
        g_nSelHandle = -1;
        m_pDlg = std::make_unique<WizardFrame>();
        m_pDlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pDlg.get()));
    }

    void cleanup()
    {
        m_pDlg.reset();
        QVERIFY(m_messages.boxes.isEmpty());
    }

    // The views share the placeholder's width equally; the right label stands over the right view.
    void layout()
    {
        const QWidget* place = CDialogTemplate::Find(&Page(), IDC_VIEW_PLACE);
        QVERIFY(place);
        QVERIFY(!place->isVisibleTo(&Page()));
        const QRect area = place->geometry();
        const QRect left = Page().m_wndSrcView.geometry(), right = Page().m_wndDstView.geometry();
        QCOMPARE(left.width(), right.width());
        QCOMPARE(left.x(), area.x());
        QCOMPARE(right.x() + right.width(), area.x() + area.width());
        QCOMPARE(left.width(), area.width() / 2 - 2);
        const int gap = right.x() - (left.x() + left.width());
        QCOMPARE(gap, area.width() % 2 == 0 ? 4 : 5);
        for (const QRect& view : {left, right}) {
            QCOMPARE(view.y(), area.y());
            QCOMPARE(view.height(), area.height());
        }
        QCOMPARE(Page().m_wndSrcView.m_rcClient, Page().m_wndDstView.m_rcClient);

        const QLabel* targetLabel = CDialogTemplate::Find<QLabel>(&Page(), IDC_TARGET_LABEL);
        QVERIFY(targetLabel);
        QCOMPARE(targetLabel->text(), QStringLiteral("変更後の画像 : "));
        QCOMPARE(targetLabel->x(), right.x());
        CDialogTemplate dlg(&Page());
        QCOMPARE(targetLabel->geometry(), QRect(QPoint(right.x(), dlg.Y(32)), dlg.Rect(286, 32, 54, 8).size()));
    }

    void texts()
    {
        QStringList texts;
        for (const QLabel* label : Page().findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            texts << label->text();
        const QStringList expected{
            QStringLiteral("元のポイントが、変化後どこの位置に移動するかを指定します。\n"
                           "左クリックでポイントが追加されますので、左右の画像でポイントを調節してください。\n"
                           "例えば、左の画像の目をクリックし、右の画像に現れた点を目の位置に来るようにドラッグします。"
                           "要らないポイントは右クリックで削除できます。"),
            QStringLiteral("元画像 : "),
            QStringLiteral("変更後の画像 : "),
            QString(), // the point assistance's status line, empty until it has something to say
        };
        QCOMPARE(texts, expected);
    }

    void firstEntry()
    {
        QVERIFY(Load("a.png", "blue.png"));
        Click(IDC_NEXT);
        QCOMPARE(CurrentPage(), IDD_SHEET_HANDLE);
        for (int id : {IDC_BACK, IDC_NEXT})
            QVERIFY(m_pDlg->GetButton(id)->isEnabled());
        QCOMPARE(m_pDlg->GetButton(IDC_BACK)->text(), QStringLiteral("< 前へ(&B)"));
        QCOMPARE(m_pDlg->GetButton(IDC_NEXT)->text(), QStringLiteral("次へ(&N) >"));
        QCOMPARE(Page().m_wndSrcView.m_pImage, Doc().m_pSourceImage.get());
        QCOMPARE(Page().m_wndDstView.m_pImage, Doc().m_pTargetImage.get());
        QCOMPARE(ViewPixel(Page().m_wndSrcView, 7, 3), qRgb(7 ^ 3, 7 + 15, 49 + 3));
        QCOMPARE(ViewPixel(Page().m_wndDstView, 7, 3), qRgb(0, 0, 255));
        QCOMPARE(Page().m_wndSrcView.GetImageRect(), Page().m_wndDstView.GetImageRect());
    }

    void nextWithoutPairsAndBack()
    {
        QVERIFY(Load("a.png", "b.png"));
        m_pDlg->ShowPage(IDD_SHEET_HANDLE);
        QCOMPARE(Doc().m_aHandles.GetSize(), 0);
        Click(IDC_NEXT);
        QCOMPARE(CurrentPage(), IDD_SHEET_MORPH);
        Click(IDC_BACK);
        QCOMPARE(CurrentPage(), IDD_SHEET_HANDLE);
        Click(IDC_BACK);
        QCOMPARE(CurrentPage(), IDD_SHEET_PATH);
        QVERIFY(!m_pDlg->GetButton(IDC_BACK)->isEnabled());
    }

    // Pairs, selection and scroll positions survive a visit to the next page.
    void pairsSurviveNextAndBack()
    {
        QVERIFY(Load("large-a.png", "large-b.png"));
        m_pDlg->ShowPage(IDD_SHEET_HANDLE);
        CMorphHandleWnd& src = Page().m_wndSrcView;
        src.GetScrollBar(Qt::Horizontal)->setValue(300);
        src.GetScrollBar(Qt::Vertical)->setValue(200);
        const QPoint client = src.GetClientOrigin();
        QTest::mouseClick(&src, Qt::LeftButton, {}, client + QPoint(10, 20));
        QTest::mouseClick(&src, Qt::LeftButton, {}, client + QPoint(60, 70));
        QTest::mouseClick(&src, Qt::LeftButton, {}, client + QPoint(10, 20));
        QCOMPARE(g_nSelHandle, 0);

        Click(IDC_NEXT);
        Click(IDC_BACK);
        QCOMPARE(CurrentPage(), IDD_SHEET_HANDLE);
        QCOMPARE(Doc().m_aHandles.GetSize(), 2);
        QCOMPARE(Doc().m_aHandles[0].m_ptSource, CPoint(310, 220));
        QCOMPARE(Doc().m_aHandles[1].m_ptTarget, CPoint(360, 270));
        QCOMPARE(g_nSelHandle, 0);
        QCOMPARE(src.GetScrollBar(Qt::Horizontal)->value(), 300);
        QCOMPARE(src.GetScrollBar(Qt::Vertical)->value(), 200);
        QCOMPARE(ViewPixel(src, 310, 220), qRgb(255, 0, 0));
        QCOMPARE(ViewPixel(src, 360, 270), qRgb(0, 255, 0));
        QCOMPARE(ViewPixel(Page().m_wndDstView, 310, 220), qRgb(255, 0, 0));
    }

    // New pictures chosen on page 129 show at the next entry, without pairs, scroll positions limited.
    void newPicturesAfterGoingBack()
    {
        QVERIFY(Load("large-a.png", "large-b.png"));
        m_pDlg->ShowPage(IDD_SHEET_HANDLE);
        CMorphHandleWnd& dst = Page().m_wndDstView;
        dst.GetScrollBar(Qt::Horizontal)->setValue(500);
        QTest::mouseClick(&dst, Qt::LeftButton, {}, dst.GetClientOrigin() + QPoint(5, 5));
        QCOMPARE(Doc().m_aHandles.GetSize(), 1);
        Click(IDC_BACK);
        QVERIFY(Load("a.png", "blue.png"));
        QCOMPARE(Doc().m_aHandles.GetSize(), 0);
        Click(IDC_NEXT);
        QCOMPARE(CurrentPage(), IDD_SHEET_HANDLE);
        QCOMPARE(dst.m_pImage, Doc().m_pTargetImage.get());
        QCOMPARE(dst.GetScrollBar(Qt::Horizontal)->value(), 0);
        QVERIFY(!dst.GetScrollBar(Qt::Horizontal)->isEnabled());
        QCOMPARE(ViewPixel(dst, 5, 5), qRgb(0, 0, 255));
        QCOMPARE(ViewPixel(Page().m_wndSrcView, 5, 5), qRgb(0, 5 + 25, 35 + 5));
    }
};

QTEST_MAIN(TestSheetHandle)
#include "tst_sheet_handle.moc"
