#include "wizard/CFileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace {

CFileChooser::Handler& CurrentHandler()
{
    static CFileChooser::Handler s_handler;
    return s_handler;
}

// The folder of the file chosen last, by any chooser of this run.
QString& LastFolder()
{
    static QString s_strLastFolder;
    return s_strLastFolder;
}

// "*.jpg" → "jpg"; empty for patterns that name no single extension.
QString ExtensionOfFilter(const QString& qtFilter)
{
    const qsizetype open = qtFilter.lastIndexOf(QLatin1Char('('));
    const QString patterns = qtFilter.mid(open + 1).chopped(1);
    const QStringList list = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (list.size() != 1 || !list[0].startsWith(QLatin1String("*.")))
        return QString();
    const QString ext = list[0].mid(2);
    return ext.contains(QLatin1Char('*')) ? QString() : ext;
}

} // namespace

QStringList CFileChooser::TranslateFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return result;
}

CFileChooser::Handler CFileChooser::SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

QString CFileChooser::Run(Request request)
{
    request.strInitialFolder =
        request.strInitialPath.isEmpty() ? LastFolder() : QFileInfo(request.strInitialPath).absolutePath();
    const Handler& handler = CurrentHandler();
    const QString chosen = handler ? handler(request) : DialogHandler(request);
    if (!chosen.isEmpty())
        LastFolder() = QFileInfo(chosen).absolutePath();
    return chosen;
}

QString CFileChooser::GetOpenFileName(QWidget* owner, const QString& initialPath, const QString& filter)
{
    Request request;
    request.pOwner = owner;
    request.strInitialPath = initialPath;
    request.strFilter = filter;
    return Run(request);
}

QString CFileChooser::GetSaveFileName(QWidget* owner, const QString& defaultExt, const QString& filter)
{
    Request request;
    request.bSave = true;
    request.pOwner = owner;
    request.strFilter = filter;
    request.strDefaultExt = defaultExt;
    return Run(request);
}

QString CFileChooser::DialogHandler(const Request& request)
{
    QFileDialog dialog(request.pOwner);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = TranslateFilter(request.strFilter);
    dialog.setNameFilters(filters);
    if (request.bSave) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.strDefaultExt);
        // A name typed without extension gets the extension of the chosen entry.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString& f) {
            const QString ext = ExtensionOfFilter(f);
            dialog.setDefaultSuffix(ext.isEmpty() ? request.strDefaultExt : ext);
        });
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    // Always set, so that the dialog never falls back on a folder of its own
    // (Qt's may restore one from an earlier run).
    dialog.setDirectory(request.strInitialFolder.isEmpty() ? QDir::currentPath() : request.strInitialFolder);
    if (!request.strInitialPath.isEmpty())
        dialog.selectFile(QFileInfo(request.strInitialPath).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
}
