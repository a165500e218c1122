#pragma once

#include "CCommandKeys.h"
#include "CMorphCore.h"
#include "CPairOverlay.h"
#include "CPartnerMatcher.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class CMorphData;
class CMorphHandleWnd;
class CSheet_Handle;
class QAction;
class QLabel;
class QToolButton;

// The point page's help from the pictures: "合わせる" moves the selected
// pair's other point to where its neighbourhood is found, "自動で点を置く"
// adds pairs found in both pictures, a switch matches every newly added pair,
// and the overlay switches of the views. Each edit goes through the undo
// history as one step and a short status text says how it went. The
// commands are on the page's keys and in the menu of a tool button.
class CPointAssist : public QObject
{
    Q_OBJECT

public:
    explicit CPointAssist(CSheet_Handle* pPage);
    ~CPointAssist() override;

    // Places the tool button and the status line on the page.
    void CreateControls(QToolButton* pButton, QLabel* pStatus);

    // Takes the document's pictures, when the page is entered.
    void Attach();

    // Whether the command is one of these; then OnCommand carries it out.
    static bool Handles(CCommandKeys::ECommand eCommand);
    void OnCommand(CCommandKeys::ECommand eCommand);

    // Matches the selected pair from the view with the focus (the source
    // view when neither has it).
    void MatchSelected();
    // Adds the pairs found in both pictures as one step.
    void FindPairs();

    // With matching of new pairs on: adds a pair at pt of one side with its
    // suggested partner, selects it, and returns true. False when off.
    bool AddMatchedPair(const CPoint& pt, bool bFromSource);

    // The pair under the mouse in view (−1 for none); the other view marks
    // its partner when that switch is on.
    void SetHover(const CMorphHandleWnd* pView, int32_t nIndex);

    // Draws the switched-on overlay of pView over its screen copy.
    void PaintOverlay(const CMorphHandleWnd& view, QImage& screen);

    const CPairOverlay::SShow& GetShow() const { return m_show; }
    bool IsAutoMatch() const { return m_bAutoMatch; }
    QString GetStatus() const;

private:
    void SetStatus(const QString& text);
    void Toggle(CCommandKeys::ECommand eCommand);
    // The mesh of the document's pairs, rebuilt when they changed; null when
    // the build refused them.
    const CMorphCore* Mesh();
    CMorphData* Document() const;
    static QString Explain(CPartnerMatcher::EResult eResult);

    CSheet_Handle* m_pPage;
    CPartnerMatcher m_matcher;
    CPairOverlay::SShow m_show;
    bool m_bAutoMatch = false;
    int32_t m_nHover = -1;
    const CMorphHandleWnd* m_pHoverView = nullptr;
    QLabel* m_pStatus = nullptr;
    std::map<CCommandKeys::ECommand, QAction*> m_actions;
    std::unique_ptr<CMorphCore> m_pMesh;
    CMorphHandleArray m_aMeshPairs; // the pairs m_pMesh was built from
    bool m_bMeshValid = false;
    bool m_bMeshRefused = false;
};
