#pragma once

#include <QDialog>

#include <optional>

class CSpinButtonCtrl;
class QLineEdit;

// The frame-count dialog of a numbered export: one count box with up-down
// arrows. OK accepts only a whole number from 2 to 99999; anything else shows
// a message and keeps the dialog open with the box's text selected. For a
// video a frame-rate box (1 to 120) shows below the count box, checked the
// same way; the count box keeps its place.
class CConfigRenbanDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinCount = 2;
    static constexpr int kMaxCount = 99999;
    static constexpr int kMinFps = 1;
    static constexpr int kMaxFps = 120;

    explicit CConfigRenbanDlg(QWidget* parent = nullptr, bool bVideo = false);
    ~CConfigRenbanDlg() override;

    // Reads a whole number the way "%d" does: leading white space, an optional
    // sign, then digits up to the first character that is not one; at least
    // one digit. Values beyond the int range saturate to INT_MIN / INT_MAX.
    static std::optional<int> ScanInt(const QString& text);

    QLineEdit* GetEdit() const { return m_pEdit; }
    QLineEdit* GetFpsEdit() const { return m_pFpsEdit; }

    // Validates the count box; closes with OK only for a valid count.
    void accept() override;

    CSpinButtonCtrl* m_ctlSpin;
    int m_nCount = 30;
    int m_nFps = 25; // frames per second of a video

private:
    // The number in edit within lower … upper, or nothing after its message;
    // then edit has the focus with its text selected.
    static std::optional<int> Validate(QLineEdit* edit, int lower, int upper);

    bool m_bVideo;
    QLineEdit* m_pEdit;
    QLineEdit* m_pFpsEdit;
};
