#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The Open and Save choosers. Filters come as "|"-separated pairs of display
// text and patterns ("Text|*.a;*.b|Text2|*.c||"). A chooser given no initial
// file name opens in the folder of the file chosen last in this run, as the
// system's common dialog does; nothing of it is kept after the run. A
// replaceable handler stands in for the dialog, so tests answer without a
// window.
class CFileChooser
{
public:
    struct Request
    {
        bool bSave = false;
        QWidget* pOwner = nullptr;
        QString strInitialPath;   // pre-filled file name; its folder is where the chooser opens
        QString strInitialFolder; // where it opens: that folder, else the last one; empty the first time
        QString strFilter;        // "|"-separated, as above
        QString strDefaultExt;    // appended to a name typed without extension (save only)
    };
    // Returns the chosen full path, or an empty string when cancelled.
    using Handler = std::function<QString(const Request&)>;

    static QString GetOpenFileName(QWidget* owner, const QString& initialPath, const QString& filter);
    static QString GetSaveFileName(QWidget* owner, const QString& defaultExt, const QString& filter);

    // Installs a handler and returns the previous one; empty restores the dialog.
    static Handler SetHandler(Handler handler);

    // "Text|*.a;*.b|..." → {"Text (*.a *.b)", ...} for QFileDialog.
    static QStringList TranslateFilter(const QString& filter);

    // The real dialog.
    static QString DialogHandler(const Request& request);

private:
    // Fills in the initial folder, asks the handler and notes the folder chosen.
    static QString Run(Request request);
};
