#pragma once

#include <QDialog>

#include <optional>

class CSpinButtonCtrl;
class QLineEdit;

// The frame-count dialog of a numbered export: one count box with up-down
// arrows. OK accepts only a whole number from 2 to 99999; anything else shows
// a message and keeps the dialog open with the box's text selected.
class CConfigRenbanDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinCount = 2;
    static constexpr int kMaxCount = 99999;

    explicit CConfigRenbanDlg(QWidget* parent = nullptr);
    ~CConfigRenbanDlg() override;

    // Reads a whole number the way "%d" does: leading white space, an optional
    // sign, then digits up to the first character that is not one; at least
    // one digit. Values beyond the int range saturate to INT_MIN / INT_MAX.
    static std::optional<int> ScanInt(const QString& text);

    QLineEdit* GetEdit() const { return m_pEdit; }

    // Validates the count box; closes with OK only for a valid count.
    void accept() override;

    CSpinButtonCtrl* m_ctlSpin;
    int m_nCount = 30;

private:
    QLineEdit* m_pEdit;
};
