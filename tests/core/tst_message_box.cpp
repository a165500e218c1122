#include "DataTable.h"
#include "MessageRecorder.h"
#include "platform/CMessageBox.h"

#include <QTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iconRule_data()
    {
        Columns<uint, uint>({"type", "full"});
        QTest::newRow("OK") << uint(MB_OK) << uint(MB_OK | MB_ICONEXCLAMATION);
        QTest::newRow("OK/Cancel") << uint(MB_OKCANCEL) << uint(MB_OKCANCEL | MB_ICONEXCLAMATION);
        QTest::newRow("Yes/No") << uint(MB_YESNO) << uint(MB_YESNO | MB_ICONQUESTION);
        QTest::newRow("Yes/No/Cancel") << uint(MB_YESNOCANCEL) << uint(MB_YESNOCANCEL | MB_ICONQUESTION);
        QTest::newRow("named icon kept") << uint(MB_YESNO | MB_ICONWARNING) << uint(MB_YESNO | MB_ICONWARNING);
        QTest::newRow("information") << uint(MB_OK | MB_ICONINFORMATION) << uint(MB_OK | MB_ICONINFORMATION);
    }
    void iconRule()
    {
        QFETCH(uint, type);
        QFETCH(uint, full);
        MessageRecorder rec(IDYES);
        QCOMPARE(CMessageBox::Show(QStringLiteral("テキスト"), type), int(IDYES));
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(rec.boxes[0].type, full);
        QCOMPARE(rec.boxes[0].caption, QStringLiteral("Quillarend"));
        QCOMPARE(rec.boxes[0].text, QStringLiteral("テキスト"));
    }
};

QTEST_GUILESS_MAIN(TestMessageBox)
#include "tst_message_box.moc"
