#pragma once

#include "CCommandKeys.h"

#include <QObject>
#include <QString>

class CMorphDlg;

// The wizard's project file commands: Ctrl+Shift+S saves the whole morph
// (both pictures, the pairs, the timing) into one file, Ctrl+Shift+O opens
// one, on every page; a project file dropped anywhere on the window is
// opened. A child of the frame, made by it.
class CProjectCommands : public QObject
{
    Q_OBJECT

public:
    explicit CProjectCommands(CMorphDlg* pFrame);

    void OnCommand(CCommandKeys::ECommand eCommand);

    // Asks for a file name and writes the project there; the pairs then count
    // as saved. False when refused, cancelled or not written (the user is told).
    bool SaveProject();
    // Asks for a project file and opens it.
    bool OpenProject();
    // Reads the project, then loads both pictures; only when all of it is
    // read does it replace the document's pictures, then the pairs (one undo
    // step) and the timing, and show page 129. A failure is shown with the
    // file and the reason and changes nothing.
    bool OpenProjectFile(const QString& path);

    // Whether path names a project file, by its extension.
    static bool IsProjectFile(const QString& path);

protected:
    // Takes drags of one project file before the page under the mouse does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A point is being dragged in a view: the pairs are not to be replaced.
    bool Dragging() const;

    CMorphDlg* m_pFrame;
};
