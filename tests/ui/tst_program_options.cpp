#include "DataTable.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

// --help and --version answer and exit before any window exists: with a
// window system that cannot start, the program would abort instead.
class TestProgramOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithoutWindow_data()
    {
        Columns<QStringList, QString, QString>({"args", "starts", "mentions"});
        QTest::newRow("help") << QStringList{"--help"} << "usage: quillarend" << "--version";
        // The wizard writes every format Qt writes, not only the two its chooser lists.
        QTest::newRow("help on formats") << QStringList{"--help"} << "usage: quillarend"
                                         << "the name's extension chooses the format";
        QTest::newRow("version") << QStringList{"--version"} << "Quillarend 1.00\n" << "";
        QTest::newRow("after another argument") << QStringList{"picture.png", "--version"} << "Quillarend 1.00\n"
                                                << "";
    }
    void answersWithoutWindow()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, starts);
        QFETCH(QString, mentions);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "no-such-platform");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUILLAREND_PATH), args);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.startsWith(starts), qPrintable(out));
        QVERIFY(out.contains(mentions));
        QCOMPARE(process.readAllStandardError(), QByteArray());
    }

    // Without those options the wizard starts, so a missing window system is an error.
    void otherwiseStartsWizard()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "no-such-platform");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUILLAREND_PATH), {"--helpful"});
        QVERIFY(process.waitForFinished(30000));
        QVERIFY(process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0);
        QCOMPARE(process.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestProgramOptions)
#include "tst_program_options.moc"
