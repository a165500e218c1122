#pragma once

#include "HandlePairs.h"
#include "MessageRecorder.h"
#include "TestImages.h"
#include "wizard/CMorphDlg.h"
#include "wizard/CMorphHandleWnd.h"
#include "wizard/ControlIds.h"
#include "wizard/CSheet_Handle.h"
#include "WizardFrame.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The wizard for tests of page 130: its document, the page and its two views,
// and the pairs put in or read back; message boxes are recorded and answered.
class HandlePage
{
protected:
    explicit HandlePage(int answer = IDOK) : m_messages(answer) {}

    CMorphData& Doc() { return *m_pDlg->m_pMorphData; }
    CSheet_Handle& Page() { return *static_cast<CSheet_Handle*>(m_pDlg->GetSheet(IDD_SHEET_HANDLE)); }
    CMorphHandleWnd& View(bool bSource) { return bSource ? Page().m_wndSrcView : Page().m_wndDstView; }

    // A new wizard on show, after prepare has seen its document; bActive waits
    // for the focus, otherwise for the window to be exposed.
    bool NewWizard(bool bActive, void (*prepare)(CMorphData&) = nullptr)
    {
        m_pDlg = std::make_unique<WizardFrame>();
        if (prepare)
            prepare(Doc());
        m_pDlg->show();
        if (!bActive)
            return QTest::qWaitForWindowExposed(m_pDlg.get());
        m_pDlg->activateWindow();
        return QTest::qWaitForWindowActive(m_pDlg.get());
    }

    // Pattern pictures of two sizes in m_dir for Open: "small" 120 × 90 and
    // "large" 1000 × 900, each as "-a.png" and "-b.png".
    bool WriteSizedPictures() const
    {
        return m_dir.isValid() && TestImages::WritePattern(m_dir.filePath("small-a.png"), 120, 90)
               && TestImages::WritePattern(m_dir.filePath("small-b.png"), 120, 90)
               && TestImages::WritePattern(m_dir.filePath("large-a.png"), 1000, 900)
               && TestImages::WritePattern(m_dir.filePath("large-b.png"), 1000, 900);
    }

    // A new wizard on page 130 with the two pictures of the named size.
    bool Open(const QString& size)
    {
        return NewWizard(false) && LoadOnPage(m_dir.filePath(size + "-a.png"), m_dir.filePath(size + "-b.png"));
    }

    // Loads the two pictures and turns to page 130.
    bool LoadOnPage(const QString& source, const QString& target)
    {
        return Doc().LoadSource(source) && Doc().LoadTarget(target) && TurnToPage();
    }

    bool TurnToPage()
    {
        m_pDlg->ShowPage(IDD_SHEET_HANDLE);
        return m_pDlg->GetCurSheet() == &Page();
    }

    // Puts pairs straight into the document.
    void SetPairs(const Pairs& pairs)
    {
        Doc().m_aHandles.RemoveAll();
        for (const CMorphHandle& h : pairs)
            Doc().m_aHandles.Add(h);
    }

    // The same with a selection, shown in both views.
    void SetPairs(const Pairs& pairs, int32_t selected)
    {
        SetPairs(pairs);
        g_nSelHandle = selected;
        View(true).RedrawBothViews();
    }

    Pairs DocPairs()
    {
        Pairs pairs;
        for (int32_t i = 0; i < Doc().m_aHandles.GetSize(); ++i)
            pairs << Doc().m_aHandles[i];
        return pairs;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CMorphDlg> m_pDlg;
    MessageRecorder m_messages;
};
