#include "CPointAssist.h"

#include "CMorphData.h"
#include "CMorphDlg.h"
#include "CMorphHandleWnd.h"
#include "CPairFinder.h"
#include "CSheet_Handle.h"
#include "CWaitCursor.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include <utility>

namespace {

struct SMenuItem
{
    CCommandKeys::ECommand eCommand;
    const char16_t* pszText;
    bool bCheckable;
};

// The tool button's menu: the two actions, then the switches.
const SMenuItem kMenu[] = {
    {CCommandKeys::MatchPartner, u"合わせる", false},
    {CCommandKeys::FindPairs, u"自動で点を置く", false},
    {CCommandKeys::AutoMatch, u"追加したポイントを自動で合わせる", true},
    {CCommandKeys::ShowNumbers, u"番号を表示", true},
    {CCommandKeys::ShowPartner, u"マウスの下のポイントの相手を表示", true},
    {CCommandKeys::ShowSelection, u"選択中のポイントを目立たせる", true},
    {CCommandKeys::ShowMesh, u"メッシュを表示", true},
    {CCommandKeys::ShowTurned, u"裏返る三角形を表示", true},
};

// The first key of a command, as the menu shows it.
QString KeyText(CCommandKeys::ECommand eCommand)
{
    for (const CCommandKeys::SRow& row : CCommandKeys::Rows())
        if (row.eCommand == eCommand && !row.aKeys.isEmpty())
            return QKeySequence(row.aKeys.front()).toString(QKeySequence::NativeText);
    return QString();
}

} // namespace

CPointAssist::CPointAssist(CSheet_Handle* pPage) : QObject(pPage), m_pPage(pPage) {}

CPointAssist::~CPointAssist() = default;

void CPointAssist::CreateControls(QToolButton* pButton, QLabel* pStatus)
{
    m_pStatus = pStatus;
    auto* menu = new QMenu(pButton);
    for (const SMenuItem& item : kMenu) {
        if (item.eCommand == CCommandKeys::AutoMatch)
            menu->addSeparator();
        QAction* action = menu->addAction(QString::fromUtf16(item.pszText) + u'\t' + KeyText(item.eCommand));
        action->setCheckable(item.bCheckable);
        const CCommandKeys::ECommand command = item.eCommand;
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
        m_actions[command] = action;
    }
    pButton->setMenu(menu);
    pButton->setPopupMode(QToolButton::InstantPopup);
    pButton->setAutoRaise(true);
    pButton->setFocusPolicy(Qt::NoFocus); // the keys go on working in the focused view
}

CMorphData* CPointAssist::Document() const
{
    CMorphDlg* frame = CMorphDlg::GetMainWnd();
    return frame ? frame->m_pMorphData.get() : nullptr;
}

void CPointAssist::Attach()
{
    // The grey copies are made on a worker while the user looks at the page,
    // so the first match does not wait for them.
    const CMorphData* doc = Document();
    m_matcher.SetPicturesAhead(doc ? doc->m_pSourceImage.get() : nullptr, doc ? doc->m_pTargetImage.get() : nullptr);
    m_bMeshValid = false;
    SetStatus(QString());
}

bool CPointAssist::Handles(CCommandKeys::ECommand eCommand)
{
    for (const SMenuItem& item : kMenu)
        if (item.eCommand == eCommand)
            return true;
    return false;
}

void CPointAssist::OnCommand(CCommandKeys::ECommand eCommand)
{
    // A running drag owns its point until it ends.
    if (QWidget::mouseGrabber() == &m_pPage->m_wndSrcView || QWidget::mouseGrabber() == &m_pPage->m_wndDstView)
        return;
    if (eCommand == CCommandKeys::MatchPartner)
        MatchSelected();
    else if (eCommand == CCommandKeys::FindPairs)
        FindPairs();
    else
        Toggle(eCommand);
}

void CPointAssist::Toggle(CCommandKeys::ECommand eCommand)
{
    bool* flag = nullptr;
    switch (eCommand) {
    case CCommandKeys::AutoMatch:
        flag = &m_bAutoMatch;
        break;
    case CCommandKeys::ShowNumbers:
        flag = &m_show.bNumbers;
        break;
    case CCommandKeys::ShowPartner:
        flag = &m_show.bPartner;
        break;
    case CCommandKeys::ShowSelection:
        flag = &m_show.bSelection;
        break;
    case CCommandKeys::ShowMesh:
        flag = &m_show.bMesh;
        break;
    case CCommandKeys::ShowTurned:
        flag = &m_show.bTurned;
        break;
    default:
        return;
    }
    *flag = !*flag;
    if (QAction* action = m_actions.count(eCommand) ? m_actions[eCommand] : nullptr)
        action->setChecked(*flag);
    if (eCommand == CCommandKeys::AutoMatch)
        SetStatus(m_bAutoMatch ? QStringLiteral("追加したポイントを自動で合わせます。")
                               : QStringLiteral("追加したポイントは同じ位置に置きます。"));
    else
        m_pPage->m_wndSrcView.RedrawBothViews();
}

QString CPointAssist::Explain(CPartnerMatcher::EResult eResult)
{
    switch (eResult) {
    case CPartnerMatcher::kMatched:
        return QStringLiteral("合わせました。");
    case CPartnerMatcher::kFlat:
        return QStringLiteral("模様が少ないため、推定した位置に置きました。");
    case CPartnerMatcher::kLost:
        return QStringLiteral("見つからないため、推定した位置に置きました。");
    case CPartnerMatcher::kOutside:
        return QStringLiteral("相手が画像の外のため、端に置きました。");
    case CPartnerMatcher::kNoPictures:
        break;
    }
    return QStringLiteral("画像がないため合わせられません。");
}

void CPointAssist::MatchSelected()
{
    CMorphData* doc = Document();
    if (!doc || g_nSelHandle < 0 || g_nSelHandle >= doc->m_aHandles.GetSize()) {
        SetStatus(QStringLiteral("合わせるポイントが選択されていません。"));
        return;
    }
    const bool fromSource = !m_pPage->m_wndDstView.hasFocus();
    const CMorphHandle before = doc->m_aHandles[g_nSelHandle];
    const CPartnerMatcher::SSuggestion s = m_matcher.Suggest(
        doc->m_aHandles, g_nSelHandle, fromSource ? before.m_ptSource : before.m_ptTarget, fromSource);
    SetStatus(Explain(s.eResult));
    if (s.eResult == CPartnerMatcher::kNoPictures)
        return;
    CMorphHandle& pair = doc->m_aHandles[g_nSelHandle];
    (fromSource ? pair.m_ptTarget : pair.m_ptSource) = s.ptPartner;
    doc->m_history.Changed(doc->m_aHandles, g_nSelHandle, before, false);
    m_pPage->m_wndSrcView.RedrawBothViews();
}

bool CPointAssist::AddMatchedPair(const CPoint& pt, bool bFromSource)
{
    CMorphData* doc = Document();
    if (!m_bAutoMatch || !doc)
        return false;
    const CPartnerMatcher::SSuggestion s = m_matcher.Suggest(doc->m_aHandles, -1, pt, bFromSource);
    SetStatus(Explain(s.eResult));
    // The pair and its match are one step, as one edit.
    doc->AddPair(bFromSource ? CMorphHandle{pt, s.ptPartner} : CMorphHandle{s.ptPartner, pt});
    g_nSelHandle = doc->m_aHandles.GetSize() - 1;
    return true;
}

void CPointAssist::FindPairs()
{
    CMorphData* doc = Document();
    if (!doc || !doc->CheckImages())
        return;
    CPairFinder::SResult found;
    {
        CWaitCursor wait;
        found = CPairFinder::Find(*doc->m_pSourceImage, *doc->m_pTargetImage, doc->m_aHandles);
    }
    if (found.aPairs.empty()) {
        SetStatus(QStringLiteral("確かな対応点が見つかりませんでした。"));
        return;
    }
    CMorphHandleArray pairs = doc->m_aHandles;
    for (const CMorphHandle& pair : found.aPairs)
        pairs.Add(pair);
    doc->m_history.Replace(doc->m_aHandles, std::move(pairs));
    SetStatus(QStringLiteral("%1 組の点を置きました。").arg(found.aPairs.size()));
    m_pPage->m_wndSrcView.RedrawBothViews();
}

void CPointAssist::SetHover(const CMorphHandleWnd* pView, int32_t nIndex)
{
    if (pView == m_pHoverView && nIndex == m_nHover)
        return;
    const CMorphHandleWnd* before = m_pHoverView;
    m_pHoverView = nIndex >= 0 ? pView : nullptr;
    m_nHover = nIndex;
    if (!m_show.bPartner)
        return;
    // The view that showed a mark and the one that shows it now.
    for (CMorphHandleWnd* view : {&m_pPage->m_wndSrcView, &m_pPage->m_wndDstView})
        if ((before && view != before) || (m_pHoverView && view != m_pHoverView))
            view->Redraw(true);
}

const CMorphCore* CPointAssist::Mesh()
{
    CMorphData* doc = Document();
    if (!doc || !doc->m_pSourceImage)
        return nullptr;
    if (!m_bMeshValid || !(m_aMeshPairs == doc->m_aHandles)) {
        m_aMeshPairs = doc->m_aHandles;
        m_bMeshValid = true;
        m_bMeshRefused = false;
        try {
            if (!m_pMesh)
                m_pMesh = std::make_unique<CMorphCore>();
            m_pMesh->BuildMesh(doc);
        } catch (const CMeshTooLargeError&) {
            m_bMeshRefused = true;
            SetStatus(QStringLiteral("ポイントが多すぎてメッシュを表示できません。"));
        }
    }
    return m_bMeshRefused ? nullptr : m_pMesh.get();
}

void CPointAssist::PaintOverlay(const CMorphHandleWnd& view, QImage& screen)
{
    if (!m_show.Any())
        return;
    const CMorphData* doc = Document();
    if (!doc)
        return;
    const CMorphCore* mesh = m_show.bMesh || m_show.bTurned ? Mesh() : nullptr;
    const int32_t hover = m_pHoverView && m_pHoverView != &view ? m_nHover : -1;
    CPairOverlay::Paint(screen, {view.m_bSource, view.Zoom(), view.GetImageRect()}, doc->m_aHandles, m_show,
                        g_nSelHandle, hover, mesh);
}

void CPointAssist::SetStatus(const QString& text)
{
    if (m_pStatus) {
        m_pStatus->setText(text);
        m_pStatus->setToolTip(text); // in full where the line is too short
    }
}

QString CPointAssist::GetStatus() const
{
    return m_pStatus ? m_pStatus->text() : QString();
}
