#pragma once

#include <QWidget>

class CMorphDlg;
class CMorphData;

// Base of the wizard pages: a child of the wizard frame laid over its page
// area. The frame calls OnEnter each time it switches to the page (before
// showing it) and forwards its next and back buttons to OnNext and OnBack.
class CSheet : public QWidget
{
    Q_OBJECT

public:
    CSheet(int nId, CMorphDlg* pFrame);
    ~CSheet() override;

    int GetId() const { return m_nId; }

    virtual void OnNext() {}
    virtual void OnBack() {}
    virtual void OnEnter() {}

    // Page size in dialog units; every page has the frame's page area size.
    static constexpr int kWidthDu = 493;
    static constexpr int kHeightDu = 347;

protected:
    CMorphDlg* GetFrame() const;
    CMorphData* GetDocument() const;

private:
    int m_nId;
};
