#include "CConfigRenbanDlg.h"
#include "CDialogTemplate.h"
#include "CSpinButtonCtrl.h"
#include "CVideoWriter.h"
#include "ControlIds.h"
#include "DataTable.h"
#include "MessageRecorder.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <climits>
#include <optional>

Q_DECLARE_METATYPE(std::optional<int>)

namespace {
const QString kNotInteger = QStringLiteral("Please enter an integer.");
const QString kOutOfRange = QStringLiteral("Please enter an integer between 2 and 99999.");
} // namespace

class TestConfigRenban : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scan_data()
    {
        Columns<QString, std::optional<int>>({"text", "expected"});
        const std::optional<int> none;
        QTest::newRow("plain") << "30" << std::optional<int>(30);
        QTest::newRow("trailing letters") << "12abc" << std::optional<int>(12);
        QTest::newRow("leading blanks and plus") << " +5" << std::optional<int>(5);
        QTest::newRow("tab and newline") << "\t\n 42" << std::optional<int>(42);
        QTest::newRow("negative") << "-3" << std::optional<int>(-3);
        QTest::newRow("leading zeros") << "007" << std::optional<int>(7);
        QTest::newRow("stops at blank") << "1 2" << std::optional<int>(1);
        QTest::newRow("stops at dot") << "2.9" << std::optional<int>(2);
        QTest::newRow("int max") << "2147483647" << std::optional<int>(INT_MAX);
        QTest::newRow("int min") << "-2147483648" << std::optional<int>(INT_MIN);
        QTest::newRow("just past int max") << "2147483648" << std::optional<int>(INT_MAX);
        QTest::newRow("wraps to 2 in 32 bits") << "4294967298" << std::optional<int>(INT_MAX);
        QTest::newRow("long run of digits") << QString(300, QLatin1Char('9')) << std::optional<int>(INT_MAX);
        QTest::newRow("long negative run") << "-" + QString(300, QLatin1Char('9')) << std::optional<int>(INT_MIN);
        QTest::newRow("empty") << "" << none;
        QTest::newRow("blanks only") << "   " << none;
        QTest::newRow("letters") << "abc" << none;
        QTest::newRow("sign only") << "+" << none;
        QTest::newRow("blank after sign") << "- 5" << none;
        QTest::newRow("two signs") << "+-5" << none;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << none;
        QTest::newRow("ideographic space") << QStringLiteral("\u30005") << none;
    }

    void scan()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<int>, expected);
        QCOMPARE(CConfigRenbanDlg::ScanInt(text), expected);
    }

    void layout()
    {
        CConfigRenbanDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("連番書き出し設定"));
        QCOMPARE(dlg.m_nCount, 30);
        QCOMPARE(dlg.GetEdit()->text(), QStringLiteral("30"));
        auto* ok = CDialogTemplate::Find<QPushButton>(&dlg, IDC_OK);
        auto* cancel = CDialogTemplate::Find<QPushButton>(&dlg, IDC_CANCEL);
        QVERIFY(ok && cancel);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(cancel->text(), QStringLiteral("キャンセル"));
        QVERIFY(ok->isDefault());
        // The arrows sit at the count box's right edge and the box made room for them.
        const QRect edit = dlg.GetEdit()->geometry();
        const QRect spin = dlg.m_ctlSpin->geometry();
        QCOMPARE(spin.left(), edit.right() + 1);
        QCOMPARE(spin.top(), edit.top());
        QCOMPARE(spin.height(), edit.height());
        CDialogTemplate dt(&dlg);
        QCOMPARE(spin.right(), dt.Rect(54, 20, 40, 14).right());

        // For a video the frame-rate row shows inside the group box; nothing else moves.
        CConfigRenbanDlg video(nullptr, true);
        QCOMPARE(video.size(), dlg.size());
        QCOMPARE(video.GetEdit()->geometry(), edit);
        QCOMPARE(video.GetFpsEdit()->text(), QStringLiteral("25"));
        QVERIFY(!dlg.GetFpsEdit()->isVisibleTo(&dlg) && video.GetFpsEdit()->isVisibleTo(&video));
        QVERIFY(dt.Rect(7, 7, 139, 81).contains(video.GetFpsEdit()->geometry()));
    }

    // The frame rate is checked like the count (the same check), only for a
    // video, up to the format's highest rate.
    void frameRate_data()
    {
        Columns<QString, QString, int, QString>({"path", "text", "fps", "refusal"}); // fps 0: refused
        const QString upTo120 = QStringLiteral("Please enter an integer between 1 and 120.");
        QTest::newRow("120") << "v.mkv" << "120" << 120 << "";
        QTest::newRow("121") << "v.mkv" << "121" << 0 << upTo120;
        QTest::newRow("GIF 100") << "v.GIF" << "100" << 100 << "";
        QTest::newRow("GIF 101") << "v.gif" << "101" << 0 << "Please enter an integer between 1 and 100.";
        QTest::newRow("not asked for numbered frames") << "v.png" << "121" << 25 << "";
    }
    void frameRate()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QFETCH(int, fps);
        QFETCH(QString, refusal);
        MessageRecorder recorder;
        CConfigRenbanDlg dlg(nullptr, CVideoWriter::IsVideoPath(path), CConfigRenbanDlg::MaxFps(path));
        dlg.GetFpsEdit()->setText(text);
        dlg.accept();
        QCOMPARE(recorder.texts(), fps ? QStringList() : QStringList{refusal});
        QCOMPARE(dlg.m_nFps, fps ? fps : 25);
        // It opens with the count selected in the focused box, ready for typing.
        QCOMPARE(dlg.focusWidget(), fps ? dlg.GetEdit() : dlg.GetFpsEdit());
        QCOMPARE(dlg.GetEdit()->selectedText(), QStringLiteral("30"));
    }

    // The timing under the count: curves (a Bézier from its four numbers),
    // holds from 0 to 99999, checked on OK like the count; the length shown
    // counts the holds.
    void timing_data()
    {
        Columns<int, QString, int, QString, QString, QString>({"shape", "shapeBezier", "color", "colorBezier",
                                                               "holdStart", "holdEnd"});
        Columns<QString, QString, QString>({"taken", "message", "length"}); // taken: shape|color|start|end
        const QString holdRange = QStringLiteral("Please enter an integer between 0 and 99999.");
        const QString bezierText = QStringLiteral("Please enter four numbers between 0 and 1, separated by commas.");
        QTest::newRow("defaults") << 0 << "" << 0 << "" << "0" << "0" << "linear|linear|0|0" << ""
                                  << "長さ : 1.20 秒（30 フレーム、25 fps）";
        QTest::newRow("ease in-out, holds") << 3 << "" << 1 << "" << "10" << "20" << "in-out|in|10|20" << ""
                                            << "長さ : 2.40 秒（60 フレーム、25 fps）";
        QTest::newRow("Bézier") << 4 << "0.1, 0.7,0.9 ,0.2" << 2 << "junk" << "0" << "99999"
                                << "bezier:0.10000000000000001,0.69999999999999996,0.90000000000000002,"
                                   "0.20000000000000001|out|0|99999"
                                << "" << "長さ : 4001.16 秒（100029 フレーム、25 fps）";
        QTest::newRow("Bézier past 1") << 4 << "0.1, 0.7, 1.2, 0.2" << 0 << "" << "0" << "0" << "" << bezierText
                                       << "長さ : 1.20 秒（30 フレーム、25 fps）";
        QTest::newRow("hold past 99999") << 0 << "" << 0 << "" << "100000" << "0" << "" << holdRange << "長さ : －";
        QTest::newRow("negative hold") << 0 << "" << 0 << "" << "0" << "-1" << "" << holdRange << "長さ : －";
    }
    void timing()
    {
        QFETCH(int, shape);
        QFETCH(QString, shapeBezier);
        QFETCH(int, color);
        QFETCH(QString, colorBezier);
        QFETCH(QString, holdStart);
        QFETCH(QString, holdEnd);
        QFETCH(QString, taken);
        QFETCH(QString, message);
        QFETCH(QString, length);
        MessageRecorder recorder;
        CConfigRenbanDlg dlg;
        dlg.GetCurve(false)->setCurrentIndex(shape);
        dlg.GetCurve(true)->setCurrentIndex(color);
        if (!shapeBezier.isEmpty())
            dlg.GetBezier(false)->setText(shapeBezier);
        if (!colorBezier.isEmpty())
            dlg.GetBezier(true)->setText(colorBezier);
        // The Bézier box takes input only for the Bézier choice.
        QCOMPARE(dlg.GetBezier(false)->isEnabled(), shape == CTimingCurve::kBezier);
        dlg.GetHold(false)->setText(holdStart);
        dlg.GetHold(true)->setText(holdEnd);
        QCOMPARE(dlg.GetLengthText(), length);
        dlg.accept();
        QCOMPARE(recorder.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dlg.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        if (!message.isEmpty())
            return;
        const CMorphTiming& t = dlg.m_timing;
        QCOMPARE(QStringList({t.m_shape.ToString(), t.m_color.ToString(), QString::number(t.m_nHoldStart),
                              QString::number(t.m_nHoldEnd)})
                     .join(QLatin1Char('|')),
                 taken);
    }

    // The dialog opens with the timing it is given, as the last export left it.
    void startsFromTiming()
    {
        CMorphTiming timing;
        timing.m_nCount = 77;
        timing.m_dFps = 12;
        timing.m_nHoldEnd = 4;
        timing.m_color = *CTimingCurve::Parse(QStringLiteral("bezier:0.5,0,0.5,1"));
        CConfigRenbanDlg dlg(nullptr, true);
        dlg.SetTiming(timing);
        QCOMPARE(dlg.GetEdit()->text(), QStringLiteral("77"));
        QCOMPARE(dlg.GetFpsEdit()->text(), QStringLiteral("12"));
        QCOMPARE(dlg.GetHold(true)->text(), QStringLiteral("4"));
        QCOMPARE(dlg.GetCurve(true)->currentIndex(), int(CTimingCurve::kBezier));
        QCOMPARE(dlg.GetLengthText(), QStringLiteral("長さ : 6.75 秒（81 フレーム、12 fps）"));
        dlg.accept();
        QCOMPARE(dlg.m_timing, timing);
    }

    // OK with a given text: the dialog ends only for 2 … 99999; otherwise one
    // message, the dialog stays, and the box has focus with its text selected.
    void ok_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");      // 0: refused
        QTest::addColumn<QString>("message");
        QTest::newRow("12abc") << "12abc" << 12 << "";
        QTest::newRow("lower limit") << "2" << 2 << "";
        QTest::newRow("upper limit") << "99999" << 99999 << "";
        QTest::newRow("blanks and sign") << " +5" << 5 << "";
        QTest::newRow("1") << "1" << 0 << kOutOfRange;
        QTest::newRow("0") << "0" << 0 << kOutOfRange;
        QTest::newRow("negative") << "-30" << 0 << kOutOfRange;
        QTest::newRow("100000") << "100000" << 0 << kOutOfRange;
        QTest::newRow("wraps to 2 in 32 bits") << "4294967298" << 0 << kOutOfRange;
        QTest::newRow("abc") << "abc" << 0 << kNotInteger;
        QTest::newRow("empty") << "" << 0 << kNotInteger;
        // Only the first 63 characters are read.
        QTest::newRow("read to 63") << QString(61, QLatin1Char(' ')) + "345" << 34 << "";
        QTest::newRow("cut to 1 digit") << QString(62, QLatin1Char(' ')) + "12" << 0 << kOutOfRange;
        QTest::newRow("digits beyond 63") << QString(63, QLatin1Char(' ')) + "30" << 0 << kNotInteger;
    }

    void ok()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QString, message);
        MessageRecorder recorder;
        CConfigRenbanDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.GetEdit()->setText(text);
        QTest::mouseClick(CDialogTemplate::Find<QPushButton>(&dlg, IDC_OK), Qt::LeftButton);
        if (count) {
            QVERIFY(recorder.boxes.isEmpty());
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.m_nCount, count);
        } else {
            QCOMPARE(recorder.texts(), QStringList{message});
            QCOMPARE(recorder.boxes[0].type, unsigned(MB_OK | MB_ICONWARNING));
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.m_nCount, 30);
            QCOMPARE(dlg.focusWidget(), dlg.GetEdit());
            QCOMPARE(dlg.GetEdit()->selectedText(), text);
        }
    }

    // Enter in the count box presses OK, so it validates too; Esc cancels.
    void keys()
    {
        MessageRecorder recorder;
        CConfigRenbanDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.GetEdit()->setFocus();
        dlg.GetEdit()->setText(QStringLiteral("1"));
        QTest::keyClick(dlg.GetEdit(), Qt::Key_Return);
        QCOMPARE(recorder.texts(), QStringList{kOutOfRange});
        QVERIFY(dlg.isVisible());
        QTest::keyClicks(dlg.GetEdit(), QStringLiteral("7"));
        QTest::keyClick(dlg.GetEdit(), Qt::Key_Return);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_nCount, 7);

        CConfigRenbanDlg second;
        QTimer::singleShot(0, &second, [&second] { QTest::keyClick(second.GetEdit(), Qt::Key_Escape); });
        QCOMPARE(second.exec(), int(QDialog::Rejected));
    }

    // The arrows and the Up / Down keys step the number within 2 … 99999.
    void spin_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("steps"); // u: up arrow, d: down arrow, U / D: keys
        QTest::addColumn<QString>("expected");
        QTest::newRow("up") << "30" << "u" << "31";
        QTest::newRow("down") << "30" << "dd" << "28";
        QTest::newRow("keys") << "30" << "UUD" << "31";
        QTest::newRow("stops at 2") << "3" << "ddd" << "2";
        QTest::newRow("stops at 99999") << "99998" << "uUu" << "99999";
        QTest::newRow("from above the range") << "100000" << "u" << "99999";
        QTest::newRow("from below the range") << "-7" << "D" << "2";
        QTest::newRow("no thousands separator") << "9999" << "u" << "10000";
        QTest::newRow("text without number steps from the last") << "abc" << "u" << "3";
    }

    void spin()
    {
        QFETCH(QString, start);
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        CConfigRenbanDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QLineEdit* edit = dlg.GetEdit();
        edit->setFocus();
        edit->setText(start);
        for (const QChar step : steps) {
            switch (step.unicode()) {
            case u'u': QTest::mouseClick(dlg.m_ctlSpin->GetUpButton(), Qt::LeftButton); break;
            case u'd': QTest::mouseClick(dlg.m_ctlSpin->GetDownButton(), Qt::LeftButton); break;
            case u'U': QTest::keyClick(edit, Qt::Key_Up); break;
            default: QTest::keyClick(edit, Qt::Key_Down); break;
            }
        }
        QCOMPARE(edit->text(), expected);
    }
};

QTEST_MAIN(TestConfigRenban)
#include "tst_config_renban.moc"
