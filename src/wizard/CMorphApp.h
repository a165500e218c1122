#pragma once

#include <QApplication>
#include <QString>

class CMorphDlg;

// The application object: sets the name that captions every message box,
// shows message boxes as real dialogs, and runs the wizard once.
class CMorphApp : public QApplication
{
    Q_OBJECT

public:
    CMorphApp(int& argc, char** argv);
    ~CMorphApp() override;

    // Runs the wizard modally and returns false: the program then ends.
    bool InitInstance();

    // Every event handler is a boundary: an exception that escapes one is
    // reported (CErrorReporter) instead of crossing the event loop.
    bool notify(QObject* receiver, QEvent* event) override;

    // Creates the three pages in their order, adds them to frame and shows
    // the first.
    static void CreateSheets(CMorphDlg& frame);

    // Shows a message box as a modal QMessageBox centred on MessageOwner().
    static int DialogMessageBox(const QString& text, const QString& caption, unsigned type);
    // The window a message box belongs to and is centred on.
    static QWidget* MessageOwner();
};
