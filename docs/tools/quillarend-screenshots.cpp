// Makes the screenshots of the three wizard pages shown in the README:
//   quillarend-screenshots SOURCE TARGET PAIRS OUTDIR
// It clicks through the wizard as a user would (the file chooser answers with
// the given pictures) and saves page129.png, page130.png and page131.png, or
// at a scale other than 100 % (QT_SCALE_FACTOR) page129@150.png and so on.
#include "document/CPairsFile.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CMorphApp.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "wizard/CSheet.h"

#include <QDir>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTest>

#include <cstdio>

namespace {

// Saves the window in device pixels as OUTDIR/pageID.png, with @PERCENT
// before the extension when the window is scaled.
bool Save(QWidget& window, const QDir& out, int nId)
{
    QCoreApplication::processEvents();
    const int percent = qRound(window.devicePixelRatioF() * 100);
    const QString name = percent == 100 ? QStringLiteral("page%1.png").arg(nId)
                                        : QStringLiteral("page%1@%2.png").arg(nId).arg(percent);
    const QString path = out.filePath(name);
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
    if (!QDir().mkpath(args[4])) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(args[4]));
        return 1;
    }
    const QDir out(args[4]);

    QStringList answers{source, target};
    CFileChooser::SetHandler([&answers](const CFileChooser::Request&) {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });

    CMorphDlg dlg;
    CMorphApp::CreateSheets(dlg);
    dlg.show();
    CSheet* path = dlg.GetSheet(IDD_SHEET_PATH);
    Click(path, IDC_BROWSE_SOURCE);
    Click(path, IDC_BROWSE_TARGET);
    bool ok = Save(dlg, out, IDD_SHEET_PATH);

    CReadError error;
    if (!CPairsFile::Load(args[3], dlg.m_pMorphData->m_aHandles, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.English()));
        return 2;
    }
    QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
    ok = Save(dlg, out, IDD_SHEET_HANDLE) && ok;

    QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
    if (auto* slider = CDialogTemplate::Find<QSlider>(dlg.GetSheet(IDD_SHEET_MORPH), IDC_SLIDER))
        slider->setValue(500);
    ok = Save(dlg, out, IDD_SHEET_MORPH) && ok;
    return ok ? 0 : 1;
}
