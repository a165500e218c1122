// The point page's help from the pictures: 合わせる, 自動で点を置く, matching
// of new pairs, and the overlay switches, through keys and the menu.

#include "CDialogTemplate.h"
#include "CPairOverlay.h"
#include "DataTable.h"
#include "HandlePage.h"
#include "WarpedScene.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <cmath>

namespace {

WarpedScene::SMap SmallMove()
{
    WarpedScene::SMap m;
    m.dAngleDeg = 3, m.dScale = 1.04, m.dShiftX = 9, m.dShiftY = -5, m.dCentreX = 200, m.dCentreY = 150;
    return m;
}

double Off(const CPoint& p, double x, double y)
{
    return std::hypot(p.x - x, p.y - y);
}

} // namespace

class TestPointAssist : public QObject, public HandlePage
{
    Q_OBJECT

    bool Open()
    {
        return NewWizard(true,
                         [](CMorphData& doc) {
                             doc.m_pSourceImage = WarpedScene::Source(400, 300, 3);
                             doc.m_pTargetImage = WarpedScene::Target(400, 300, 3, SmallMove());
                         })
               && TurnToPage();
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        // On the next button: the keys work wherever the focus is on the page.
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), key, modifiers);
    }

    QAction* MenuAction(const QString& text)
    {
        auto* button = CDialogTemplate::Find<QToolButton>(&Page(), IDC_ASSIST_MENU);
        if (!button || !button->menu())
            return nullptr;
        for (QAction* action : button->menu()->actions())
            if (action->text().startsWith(text))
                return action;
        return nullptr;
    }

    QString Status() { return Page().m_assist.GetStatus(); }

    QImage Client(bool bSource)
    {
        CMorphHandleWnd& view = View(bSource);
        return view.grab(QRect(view.GetClientOrigin(), QSize(view.m_rcClient.Width(), view.m_rcClient.Height())))
            .toImage();
    }

private Q_SLOTS:
    void init() { g_nSelHandle = -1; }

    void cleanup()
    {
        m_pDlg.reset();
        QVERIFY(m_messages.boxes.isEmpty());
    }

    // Ctrl+M moves the other point of the selected pair where the pictures
    // say, as one step of the history.
    void matchKey_data()
    {
        Columns<bool>({"fromSource"});
        QTest::newRow("from the source view") << true;
        QTest::newRow("from the target view") << false;
    }
    void matchKey()
    {
        QFETCH(bool, fromSource);
        QVERIFY(Open());
        const WarpedScene::SMap map = SmallMove();
        const CMorphHandleArray given = WarpedScene::GivenPairs(400, 300, 4, map);
        Pairs pairs;
        for (int32_t i = 0; i < given.GetSize(); ++i)
            pairs << given[i];
        pairs << Pair(130, 170);
        SetPairs(pairs, 4);
        View(fromSource).setFocus();
        Key(Qt::Key_M);
        const CMorphHandle moved = Doc().m_aHandles[4];
        double x, y;
        if (fromSource) {
            QCOMPARE(moved.m_ptSource, CPoint(130, 170));
            map.Forward(130, 170, x, y);
            QVERIFY(Off(moved.m_ptTarget, x, y) <= 1.5);
        } else {
            QCOMPARE(moved.m_ptTarget, CPoint(130, 170));
            map.Backward(130, 170, x, y);
            QVERIFY(Off(moved.m_ptSource, x, y) <= 1.5);
        }
        QCOMPARE(Status(), QStringLiteral("合わせました。"));
        Key(Qt::Key_Z);
        QCOMPARE(DocPairs(), pairs);
        QCOMPARE(g_nSelHandle, 4);
    }

    // Without a selection nothing moves and the status says why.
    void matchWithoutSelection()
    {
        QVERIFY(Open());
        SetPairs({Pair(100, 100)}, -1);
        Key(Qt::Key_M);
        QCOMPARE(DocPairs(), Pairs{Pair(100, 100)});
        QCOMPARE(Status(), QStringLiteral("合わせるポイントが選択されていません。"));
    }

    // The switch is off at first: a click adds a pair at one place in both
    // pictures. On, the click's pair is matched, and one undo takes it away.
    void matchNewPairs()
    {
        QVERIFY(Open());
        CMorphHandleWnd& view = View(true);
        const QPoint at = view.GetClientOrigin() + QPoint(view.GetImageRect().left + 150, view.GetImageRect().top + 120);
        QTest::mouseClick(&view, Qt::LeftButton, {}, at);
        QCOMPARE(DocPairs(), Pairs{Pair(150, 120)});
        Key(Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(Page().m_assist.IsAutoMatch());
        QVERIFY(MenuAction(QStringLiteral("追加したポイントを自動で合わせる"))->isChecked());
        QTest::mouseClick(&view, Qt::LeftButton, {}, at + QPoint(60, 40));
        QCOMPARE(DocPairs().size(), 2);
        const CMorphHandle added = Doc().m_aHandles[1];
        QCOMPARE(added.m_ptSource, CPoint(210, 160));
        double x, y;
        SmallMove().Forward(210, 160, x, y);
        QVERIFY(Off(added.m_ptTarget, x, y) <= 1.5);
        QCOMPARE(g_nSelHandle, 1);
        Key(Qt::Key_Z);
        QCOMPARE(DocPairs(), Pairs{Pair(150, 120)});
    }

    // 自動で点を置く from the menu adds the pairs found, as one step.
    void findPairs()
    {
        QVERIFY(Open());
        SetPairs({Pair(20, 20)}, 0);
        QAction* find = MenuAction(QStringLiteral("自動で点を置く"));
        QVERIFY(find);
        find->trigger();
        const int32_t found = Doc().m_aHandles.GetSize() - 1;
        QVERIFY(found >= 10);
        QCOMPARE(Status(), QStringLiteral("%1 組の点を置きました。").arg(found));
        QCOMPARE(Doc().m_aHandles[0], Pair(20, 20));
        Key(Qt::Key_Z);
        QCOMPARE(DocPairs(), Pairs{Pair(20, 20)});
        Key(Qt::Key_Y);
        QCOMPARE(Doc().m_aHandles.GetSize(), found + 1);
    }

    // Each switch changes what the views show, and off again they show
    // exactly what they showed before, which is what they show at first.
    void overlaySwitches_data()
    {
        Columns<int, bool>({"key", "inSource"});
        QTest::newRow("numbers") << int(Qt::Key_1) << true;
        QTest::newRow("partner") << int(Qt::Key_2) << false;
        QTest::newRow("selection") << int(Qt::Key_3) << true;
        QTest::newRow("mesh") << int(Qt::Key_4) << true;
        QTest::newRow("turned triangles") << int(Qt::Key_5) << false;
    }
    void overlaySwitches()
    {
        QFETCH(int, key);
        QFETCH(bool, inSource);
        QVERIFY(Open());
        // Pair 1's target lies across the line of pairs 0 and 2: its triangles turn over.
        SetPairs({Pair(100, 100), Pair(200, 150, 200, 40), Pair(300, 100)}, 1);
        // The mouse over pair 0 in the source view marks its partner in the target view.
        Page().m_assist.SetHover(&View(true), 0);
        const QImage before = Client(inSource);
        QCOMPARE(Page().m_assist.GetShow().Any(), false);
        Key(Qt::Key(key));
        QVERIFY(Page().m_assist.GetShow().Any());
        QVERIFY(Client(inSource) != before);
        Key(Qt::Key(key));
        QCOMPARE(Client(inSource), before);
    }

    // Turned over means the corners go round the other way, or meet on a line.
    void turnedTriangles_data()
    {
        Columns<CMorphHandle, bool>({"moved", "turned"});
        QTest::newRow("moved within") << Pair(200, 150, 205, 140) << false;
        QTest::newRow("moved across") << Pair(200, 150, 200, 40) << true;
        QTest::newRow("onto the edge") << Pair(200, 150, 200, 100) << true;
    }
    void turnedTriangles()
    {
        QFETCH(CMorphHandle, moved);
        QFETCH(bool, turned);
        QVERIFY(Open());
        SetPairs({Pair(100, 100), moved, Pair(300, 100)});
        CMorphCore mesh;
        mesh.BuildMesh(&Doc());
        bool any = false;
        for (const CMorphCore::SPolygon& polygon : mesh.GetPolygons())
            any |= CPairOverlay::IsTurned(mesh, polygon);
        QCOMPARE(any, turned);
    }

    void keysInTooltips()
    {
        QVERIFY(Open());
        const QString tip = View(true).toolTip();
        for (const char* word : {"Ctrl+M", "合わせる", "Ctrl+F", "自動で点を置く", "Ctrl+Shift+M", "Ctrl+1"})
            QVERIFY2(tip.contains(QString::fromUtf8(word)), word);
    }
};

QTEST_MAIN(TestPointAssist)
#include "tst_point_assist.moc"
