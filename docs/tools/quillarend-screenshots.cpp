// Makes the screenshots of the three wizard pages shown in the README:
//   quillarend-screenshots SOURCE TARGET PAIRS OUTDIR
// It clicks through the wizard as a user would (the file chooser answers with
// the given pictures) and saves page129.png, page130.png and page131.png.
#include "CDialogTemplate.h"
#include "CFileChooser.h"
#include "CMorphApp.h"
#include "CMorphDlg.h"
#include "CPairsFile.h"
#include "CSheet.h"
#include "ControlIds.h"

#include <QDir>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTest>

#include <cstdio>

namespace {

bool Save(QWidget& window, const QString& path)
{
    QCoreApplication::processEvents();
    if (window.grab().save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

void Click(QWidget* parent, int id)
{
    if (auto* button = CDialogTemplate::Find<QPushButton>(parent, id))
        QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

int main(int argc, char** argv)
{
    CMorphApp app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: quillarend-screenshots SOURCE TARGET PAIRS OUTDIR\n");
        return 2;
    }
    const QString source = QFileInfo(args[1]).absoluteFilePath();
    const QString target = QFileInfo(args[2]).absoluteFilePath();
    // The folder is made if needed; only the three page pictures are written into it.
    QDir().mkpath(args[4]);
    const QDir out(args[4]);

    QStringList answers{source, target};
    CFileChooser::SetHandler([&answers](const CFileChooser::Request&) {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });

    CMorphDlg dlg;
    dlg.show();
    CSheet* path = dlg.GetSheet(IDD_SHEET_PATH);
    Click(path, IDC_BROWSE_SOURCE);
    Click(path, IDC_BROWSE_TARGET);
    bool ok = Save(dlg, out.filePath(QStringLiteral("page129.png")));

    QString error;
    if (!CPairsFile::Load(args[3], dlg.m_pMorphData->m_aHandles, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
    ok = Save(dlg, out.filePath(QStringLiteral("page130.png"))) && ok;

    QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
    if (auto* slider = CDialogTemplate::Find<QSlider>(dlg.GetSheet(IDD_SHEET_MORPH), IDC_SLIDER))
        slider->setValue(500);
    ok = Save(dlg, out.filePath(QStringLiteral("page131.png"))) && ok;
    return ok ? 0 : 1;
}
