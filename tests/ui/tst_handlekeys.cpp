#include "DataTable.h"
#include "HandlePage.h"
#include "TestImages.h"

#include <QKeySequence>
#include <QPushButton>
#include <QTest>

#include <limits>
#include <memory>

class TestHandleKeys : public QObject, public HandlePage
{
    Q_OBJECT

    bool Open()
    {
        return NewWizard(true,
                         [](CMorphData& doc) {
                             doc.m_pSourceImage = TestImages::Pattern(120, 90);
                             doc.m_pTargetImage = TestImages::Pattern(120, 90);
                         })
               && TurnToPage();
    }

    QRgb EdgePixel(CMorphHandleWnd& view) { return view.grab().toImage().pixel(0, 0); }

private Q_SLOTS:
    void init() { g_nSelHandle = -1; }

    void cleanup()
    {
        m_pDlg.reset();
        QVERIFY(m_messages.boxes.isEmpty());
    }

    // No key means two commands where both work: the frame's keys work on
    // every page, a page's keys in its editors too.
    void noKeyTwice()
    {
        const auto overlap = [](unsigned a, unsigned b) {
            const unsigned pages = CCommandKeys::kEditor | CCommandKeys::kPreview;
            return (a & b & pages) || ((a | b) & CCommandKeys::kWizard);
        };
        const QList<CCommandKeys::SRow>& rows = CCommandKeys::Rows();
        for (qsizetype i = 0; i < rows.size(); ++i)
            for (qsizetype j = i + 1; j < rows.size(); ++j)
                if (overlap(rows[i].nPlaces, rows[j].nPlaces))
                    for (const QKeyCombination key : rows[i].aKeys)
                        QVERIFY2(!rows[j].aKeys.contains(key), qPrintable(QKeySequence(key).toString()));
    }

    // A click and Tab give the views the focus; the focused view is framed.
    void focus()
    {
        QVERIFY(Open());
        const QRgb unfocused = EdgePixel(View(false)); // the source view has the focus after the switch
        QTest::mouseClick(&View(false), Qt::LeftButton, {}, View(false).GetClientOrigin() + QPoint(5, 5));
        QVERIFY(View(false).hasFocus());
        QCOMPARE(EdgePixel(View(false)), View(false).palette().color(QPalette::Highlight).rgb());
        QVERIFY(EdgePixel(View(false)) != unfocused);
        View(true).setFocus();
        QVERIFY(View(true).hasFocus());
        QTest::keyClick(&View(true), Qt::Key_Tab);
        QVERIFY(View(false).hasFocus());
        QCOMPARE(EdgePixel(View(true)), unfocused);
        QVERIFY(View(false).focusPolicy() & Qt::TabFocus);
    }

    // Arrows move this view's point of the selected pair; the other half stays.
    void arrows_data()
    {
        Columns<bool, int, int, CMorphHandle>({"source", "key", "modifiers", "moved"});
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier;
        QTest::newRow("source left") << true << int(Qt::Key_Left) << none << Pair(49, 40, 60, 30);
        QTest::newRow("source right, Shift") << true << int(Qt::Key_Right) << shift << Pair(60, 40, 60, 30);
        QTest::newRow("target up") << false << int(Qt::Key_Up) << none << Pair(50, 40, 60, 29);
        QTest::newRow("target down, Shift") << false << int(Qt::Key_Down) << shift << Pair(50, 40, 60, 40);
    }
    void arrows()
    {
        QFETCH(bool, source);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(CMorphHandle, moved);
        QVERIFY(Open());
        SetPairs({Pair(10, 10, 10, 10), Pair(50, 40, 60, 30)}, 1);
        QTest::keyClick(&View(source), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(DocPairs(), (Pairs{Pair(10, 10, 10, 10), moved}));
        const CPoint& pt = source ? moved.m_ptSource : moved.m_ptTarget;
        QCOMPARE(View(source).HitTestHandle(QPoint(View(source).GetImageRect().left + pt.x,
                                                   View(source).GetImageRect().top + pt.y)),
                 1);
    }

    // Keys never move a point past the 32-bit range, and without a selection they do nothing.
    void arrowsAtTheLimitsAndWithoutSelection()
    {
        QVERIFY(Open());
        const int32_t max = std::numeric_limits<int32_t>::max();
        SetPairs({Pair(max - 3, 5, 0, 0)}, 0);
        QTest::keyClick(&View(true), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(DocPairs(), Pairs{Pair(max, 5, 0, 0)});
        g_nSelHandle = 4; // stale
        QTest::keyClick(&View(true), Qt::Key_Left);
        QTest::keyClick(&View(true), Qt::Key_Delete);
        QCOMPARE(DocPairs(), Pairs{Pair(max, 5, 0, 0)});
    }

    void deleteKey_data()
    {
        Columns<int, int>({"selected", "after"});
        QTest::newRow("first of three") << 0 << 0;
        QTest::newRow("middle") << 1 << 1;
        QTest::newRow("last") << 2 << 1;
    }
    void deleteKey()
    {
        QFETCH(int, selected);
        QFETCH(int, after);
        QVERIFY(Open());
        Pairs pairs{Pair(10, 10, 11, 11), Pair(20, 20, 21, 21), Pair(30, 30, 31, 31)};
        SetPairs(pairs, selected);
        QTest::keyClick(&View(false), Qt::Key_Delete);
        pairs.removeAt(selected);
        QCOMPARE(DocPairs(), pairs);
        QCOMPARE(g_nSelHandle, after);
        QTest::keyClick(&View(false), Qt::Key_Delete);
        QTest::keyClick(&View(false), Qt::Key_Delete);
        QCOMPARE(DocPairs(), Pairs{});
        QCOMPARE(g_nSelHandle, -1);
    }

    void pageKeys()
    {
        QVERIFY(Open());
        SetPairs({Pair(10, 10, 10, 10), Pair(20, 20, 20, 20), Pair(30, 30, 30, 30)}, -1);
        const struct
        {
            Qt::Key key;
            int selected;
        } steps[] = {{Qt::Key_PageDown, 0}, {Qt::Key_PageDown, 1}, {Qt::Key_PageDown, 2}, {Qt::Key_PageDown, 2},
                     {Qt::Key_PageUp, 1},   {Qt::Key_PageUp, 0},   {Qt::Key_PageUp, 0}};
        for (const auto& s : steps) {
            QTest::keyClick(&View(true), s.key);
            QCOMPARE(g_nSelHandle, s.selected);
        }
        g_nSelHandle = -1;
        QTest::keyClick(&View(false), Qt::Key_PageUp);
        QCOMPARE(g_nSelHandle, 2);
        // The selection shows in both views.
        QCOMPARE(View(false).grab().toImage().pixel(View(false).GetClientOrigin()
                                                    + QPoint(View(false).GetImageRect().left + 30,
                                                             View(false).GetImageRect().top + 30)),
                 qRgb(255, 0, 0));
        QCOMPARE(View(true).grab().toImage().pixel(View(true).GetClientOrigin()
                                                   + QPoint(View(true).GetImageRect().left + 30,
                                                            View(true).GetImageRect().top + 30)),
                 qRgb(255, 0, 0));
        QCOMPARE(DocPairs().size(), 3);
    }

    // While a drag runs, the keys leave the pair alone.
    void keysDuringDrag()
    {
        QVERIFY(Open());
        SetPairs({Pair(50, 40, 50, 40), Pair(70, 40, 70, 40)}, 0);
        CMorphHandleWnd& view = View(true);
        const QPoint at = view.GetClientOrigin() + QPoint(view.GetImageRect().left + 50, view.GetImageRect().top + 40);
        QTest::mousePress(&view, Qt::LeftButton, {}, at);
        QTest::keyClick(&view, Qt::Key_Delete);
        QTest::keyClick(&view, Qt::Key_Right);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QTest::mouseRelease(&view, Qt::LeftButton, {}, at);
        QCOMPARE(DocPairs(), (Pairs{Pair(50, 40, 50, 40), Pair(70, 40, 70, 40)}));
        QCOMPARE(g_nSelHandle, 0);
    }

    // Each edit is one step of Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z redo; the keys
    // work with the focus on the next button. Edits: "c" a click at (10, 10),
    // (30, 30) …, "d" a drag of pair 0 by (5, 3), "x" a right click on pair 0,
    // "D" Delete, "<" ">" nudges. pairs: the source points afterwards.
    void undoRedo_data()
    {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("keys"); // z: Ctrl+Z, y: Ctrl+Y, Z: Ctrl+Shift+Z
        Columns<QString, int>({"pairs", "selected"});
        QTest::newRow("three clicks, two undone") << "c c c" << "zz" << "10,10" << -1;
        QTest::newRow("one redone") << "c c c" << "zzZ" << "10,10 30,30" << 1;
        QTest::newRow("a drag") << "c d" << "z" << "10,10" << 0;
        QTest::newRow("a right click") << "c c x" << "z" << "10,10 30,30" << 0;
        QTest::newRow("Delete, undone and redone") << "c c D" << "zy" << "10,10" << -1;
        QTest::newRow("a run of nudges") << "c > > <" << "z" << "10,10" << 0;
    }
    void undoRedo()
    {
        QFETCH(QString, edits);
        QFETCH(QString, keys);
        QFETCH(QString, pairs);
        QFETCH(int, selected);
        QVERIFY(Open());
        CMorphHandleWnd& view = View(true);
        const QPoint first = view.GetClientOrigin() + QPoint(view.GetImageRect().left + 10, view.GetImageRect().top + 10);
        int clicks = 0;
        for (const QString& edit : edits.split(' ')) {
            if (edit == "c")
                QTest::mouseClick(&view, Qt::LeftButton, {}, first + QPoint(20, 20) * clicks++);
            else if (edit == "d") {
                QTest::mousePress(&view, Qt::LeftButton, {}, first);
                QTest::mouseMove(&view, first + QPoint(5, 3));
                QTest::mouseRelease(&view, Qt::LeftButton, {}, first + QPoint(5, 3));
            } else if (edit == "x")
                QTest::mouseClick(&view, Qt::RightButton, {}, first);
            else
                QTest::keyClick(&view, edit == "D" ? Qt::Key_Delete : edit == "<" ? Qt::Key_Left : Qt::Key_Right);
        }
        for (const QChar key : keys)
            QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), key == 'y' ? Qt::Key_Y : Qt::Key_Z,
                            key == 'Z' ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        QStringList got;
        for (const CMorphHandle& h : DocPairs())
            got << QStringLiteral("%1,%2").arg(h.m_ptSource.x).arg(h.m_ptSource.y);
        QCOMPARE(got.join(' '), pairs);
        QCOMPARE(g_nSelHandle, selected);
    }

    // Every mouse and key command is listed on the views.
    void tooltips()
    {
        QVERIFY(Open());
        const QString tip = View(true).toolTip();
        for (const char* word : {"クリック", "ドラッグ", "右クリック", "矢印キー", "Delete", "Page Up", "Ctrl+0",
                                 "Ctrl+9", "Ctrl+S", "Ctrl+O", "Ctrl+Z", "Ctrl+Y", "Ctrl+Shift+Z"})
            QVERIFY2(tip.contains(QString::fromUtf8(word)), word);
        QCOMPARE(View(false).toolTip(), tip);
        // The preview lists the zoom keys only.
        const QString preview = CImageScrollWnd().toolTip();
        QVERIFY(preview.contains("Ctrl+9") && !preview.contains("Ctrl+Z"));
        QVERIFY(!preview.contains(QStringLiteral("矢印キー")));
    }
};

QTEST_MAIN(TestHandleKeys)
#include "tst_handlekeys.moc"
