#pragma once

#include "CMorphTiming.h"

#include <QDialog>

#include <optional>

class CSpinButtonCtrl;
class QComboBox;
class QLabel;
class QLineEdit;

// The frame-count dialog of a numbered export: one count box with up-down
// arrows. OK accepts only a whole number from 2 to 99999; anything else shows
// a message and keeps the dialog open with the box's text selected. For a
// video a frame-rate box (1 to 120) shows below the count box, checked the
// same way; the count box keeps its place. Under the box the timing: shape
// and colour curves, hold frames at the start and the end, and the length of
// the whole sequence at the frame rate.
class CConfigRenbanDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinCount = 2;
    static constexpr int kMaxCount = 99999;
    static constexpr int kMinFps = 1;
    static constexpr int kMaxFps = 120;

    // maxFps: the format's highest rate (a GIF's is lower than a video's).
    explicit CConfigRenbanDlg(QWidget* parent = nullptr, bool bVideo = false, int maxFps = kMaxFps);
    ~CConfigRenbanDlg() override;

    // Runs the dialog for an export to path, starting from timing; on OK
    // stores count, rate, curves and holds there and returns true.
    static bool Ask(QWidget* parent, const QString& path, CMorphTiming& timing);
    // The highest frame rate the dialog takes for an export to path: a GIF's
    // frame times are hundredths of a second.
    static int MaxFps(const QString& path);
    // Fills the boxes from timing.
    void SetTiming(const CMorphTiming& timing);

    // Reads a whole number the way "%d" does: leading white space, an optional
    // sign, then digits up to the first character that is not one; at least
    // one digit. Values beyond the int range saturate to INT_MIN / INT_MAX.
    static std::optional<int> ScanInt(const QString& text);

    QLineEdit* GetEdit() const { return m_pEdit; }
    QLineEdit* GetFpsEdit() const { return m_pFpsEdit; }
    QComboBox* GetCurve(bool bColor) const { return bColor ? m_pColorCurve : m_pShapeCurve; }
    QLineEdit* GetBezier(bool bColor) const { return bColor ? m_pColorBezier : m_pShapeBezier; }
    QLineEdit* GetHold(bool bEnd) const { return bEnd ? m_pHoldEnd : m_pHoldStart; }
    QString GetLengthText() const;

    // Validates the count box; closes with OK only for a valid count.
    void accept() override;

    CSpinButtonCtrl* m_ctlSpin;
    int m_nCount = 30;
    int m_nFps = 25; // frames per second of a video
    CMorphTiming m_timing; // after OK: the count, rate, curves and holds taken

private:
    // The number in edit within lower … upper, or nothing after its message;
    // then edit has the focus with its text selected.
    static std::optional<int> Validate(QLineEdit* edit, int lower, int upper);

    // The curve of a row, or nothing after its message.
    static std::optional<CTimingCurve> CurveOf(QComboBox* combo, QLineEdit* bezier);
    // Adds a curve row (label, choice, Bézier box) at y.
    QComboBox* AddCurveRow(class CDialogTemplate& dlg, const QString& label, int y, int comboId, int bezierId,
                           QLineEdit*& bezier);
    void UpdateLength();

    bool m_bVideo;
    int m_nMaxFps;
    QLineEdit* m_pEdit;
    QLineEdit* m_pFpsEdit;
    QComboBox* m_pShapeCurve;
    QLineEdit* m_pShapeBezier;
    QComboBox* m_pColorCurve;
    QLineEdit* m_pColorBezier;
    QLineEdit* m_pHoldStart;
    QLineEdit* m_pHoldEnd;
    QLabel* m_pLength;
};
