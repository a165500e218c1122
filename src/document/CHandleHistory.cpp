#include "document/CHandleHistory.h"

#include <utility>

void CHandleHistory::Reserve()
{
    m_aSteps.reserve(m_nDone + 1);
}

void CHandleHistory::Push(SStep&& step)
{
    m_aSteps.erase(m_aSteps.begin() + std::ptrdiff_t(m_nDone), m_aSteps.end());
    m_aSteps.push_back(std::move(step));
    m_nDone = m_aSteps.size();
    m_bNudgeRun = false;
}

int32_t CHandleHistory::Add(CMorphHandleArray& pairs, const CMorphHandle& pair)
{
    Reserve();
    const int32_t index = pairs.Add(pair);
    Push({kAdded, index, pair, {}});
    return index;
}

void CHandleHistory::Remove(CMorphHandleArray& pairs, int32_t index)
{
    Reserve();
    const CMorphHandle pair = pairs[index];
    pairs.RemoveAt(index);
    Push({kRemoved, index, pair, {}});
}

void CHandleHistory::Changed(const CMorphHandleArray& pairs, int32_t index, const CMorphHandle& before, bool bNudge)
{
    if (pairs[index] == before)
        return;
    if (bNudge && m_bNudgeRun && m_aSteps.back().nIndex == index)
        return;
    Reserve();
    Push({kChanged, index, before, {}});
    m_bNudgeRun = bNudge;
}

void CHandleHistory::Replace(CMorphHandleArray& pairs, CMorphHandleArray&& replacement)
{
    Reserve();
    std::swap(pairs, replacement);
    Push({kReplaced, -1, {}, std::move(replacement)});
}

int32_t CHandleHistory::Apply(CMorphHandleArray& pairs, SStep& step, bool bUndo)
{
    if (step.eKind == kChanged) {
        std::swap(pairs[step.nIndex], step.pair);
        return step.nIndex;
    }
    if (step.eKind == kReplaced) {
        std::swap(pairs, step.aPairs);
        return -1;
    }
    // Undoing an addition removes, as redoing a removal does.
    if ((step.eKind == kAdded) == bUndo) {
        pairs.RemoveAt(step.nIndex);
        return -1;
    }
    pairs.InsertAt(step.nIndex, step.pair);
    return step.nIndex;
}

int32_t CHandleHistory::Undo(CMorphHandleArray& pairs)
{
    if (!CanUndo())
        return -1;
    const int32_t changed = Apply(pairs, m_aSteps[m_nDone - 1], true);
    --m_nDone;
    m_bNudgeRun = false;
    return changed;
}

int32_t CHandleHistory::Redo(CMorphHandleArray& pairs)
{
    if (!CanRedo())
        return -1;
    const int32_t changed = Apply(pairs, m_aSteps[m_nDone], false);
    ++m_nDone;
    m_bNudgeRun = false;
    return changed;
}

void CHandleHistory::Clear()
{
    std::vector<SStep>().swap(m_aSteps);
    m_nDone = 0;
    m_bNudgeRun = false;
}
