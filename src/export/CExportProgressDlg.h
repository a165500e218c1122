#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress window of a sequence or video export: which frame of how many
// is being written, a bar, and a 中止 button. Stopping (the button or Esc)
// only marks the export as stopped; the export itself ends after the frame in
// hand, so what it has written stays whole.
class CExportProgressDlg : public QDialog
{
    Q_OBJECT

public:
    CExportProgressDlg(QWidget* parent, int count);
    ~CExportProgressDlg() override;

    // Shows frame index (from 0) as the one being written.
    void ShowFrame(int index);
    // Shows that the file is being completed after its last frame; that
    // step cannot be stopped.
    void ShowFinishing();
    // Lets the window take the user's input, then tells whether the user
    // asked to stop.
    bool IsStopRequested();

    QString GetText() const;

    // Esc stops the export instead of only hiding the window.
    void reject() override;

private:
    int m_nCount;
    bool m_bStopped = false;
    QLabel* m_pText;
    QProgressBar* m_pBar;
    QPushButton* m_pStop;
};
