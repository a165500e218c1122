#pragma once

#include "CMorphData.h"

#include <QDialog>
#include <QIcon>

#include <map>
#include <memory>

class CSheet;
class QEventLoop;
class QPushButton;

// The wizard frame: the program's one top-level window, a normal application
// window. Owns the document and the pages that the application adds,
// switches between the pages and forwards its next and back buttons to the
// page on show. exec() runs it until it ends and returns IDOK or IDCANCEL.
class CMorphDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CMorphDlg(QWidget* parent = nullptr);
    ~CMorphDlg() override;

    // Takes ownership of a page (created hidden, as a child of the frame)
    // and keys it by its id.
    void AddSheet(std::unique_ptr<CSheet> sheet);

    // Switches to the page with id nId: hides the current page, runs the new
    // page's OnEnter, shows it over the page area and gives the focus to its
    // first control. An unknown id shows none.
    void ShowPage(int nId);

    // Shows the frame and runs events until done() or EndDialog(); returns
    // the result they gave. The frame is not modal: it is the only window.
    int exec() override;
    void done(int nResult) override;

    // Ends the run with IDOK or IDCANCEL.
    void EndDialog(int nResult);

    // Sets the text and enabled state of the frame's button 1000 or 1001.
    void SetButton(int nId, const QString& text, bool enabled);
    QPushButton* GetButton(int nId) const;

    CSheet* GetCurSheet() const { return m_pCurSheet; }
    CSheet* GetSheet(int nId) const;

    void ShowAbout();

    // The frame the views reach as the application's main window.
    static CMorphDlg* GetMainWnd();

    // Owned: the pages, by id. The destructor deletes them before the
    // document, which they read until they are gone.
    std::map<int, std::unique_ptr<CSheet>> m_mapSheets;
    CSheet* m_pCurSheet = nullptr;
    std::unique_ptr<CMorphData> m_pMorphData;
    QIcon m_hIcon;

    // Whether the run may end: true without unsaved pairs, else the user's
    // answer to the question whether to quit without saving them.
    bool MayQuit();
    // Ends the run with IDCANCEL, after asking when unsaved pairs would be lost.
    void reject() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
#if defined(Q_OS_WIN)
    void showEvent(QShowEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void OnNextClicked();
    void OnBackClicked();
    void FocusFirstControl();

    static CMorphDlg* s_pMainWnd;
    QEventLoop* m_pLoop = nullptr;
#if defined(Q_OS_WIN)
    bool m_bSystemMenuDone = false;
#endif
};
