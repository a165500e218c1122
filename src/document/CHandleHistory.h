#pragma once

#include "document/CMorphHandleArray.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The undo history of the point pairs. Each edit of the pairs goes through
// it and becomes one step: it keeps what changed (a whole copy only for a
// replacement), so its size follows the edits, not the number of pairs. A new
// step drops the steps that were undone. An edit that throws changes neither
// the pairs nor the history.
class CHandleHistory
{
public:
    // Appends pair and returns its index.
    int32_t Add(CMorphHandleArray& pairs, const CMorphHandle& pair);
    // Removes pair index.
    void Remove(CMorphHandleArray& pairs, int32_t index);
    // Notes that pair index, already changed in place, was before; nothing
    // when it is unchanged. Consecutive nudges of one pair (bNudge) are one
    // step: the first one's before stays.
    void Changed(const CMorphHandleArray& pairs, int32_t index, const CMorphHandle& before, bool bNudge);
    // Replaces every pair with replacement.
    void Replace(CMorphHandleArray& pairs, CMorphHandleArray&& replacement);

    bool CanUndo() const { return m_nDone > 0; }
    bool CanRedo() const { return m_nDone < m_aSteps.size(); }
    // Takes the last step back, or does the last undone one again; returns
    // the index of the pair it changed when that pair is there afterwards,
    // else −1 (also when there is nothing to do).
    int32_t Undo(CMorphHandleArray& pairs);
    int32_t Redo(CMorphHandleArray& pairs);

    void Clear();

private:
    enum EKind { kAdded, kRemoved, kChanged, kReplaced };
    struct SStep
    {
        EKind eKind;
        int32_t nIndex;
        CMorphHandle pair;        // added or removed; for a change the other value
        CMorphHandleArray aPairs; // for a replacement the other pairs
    };

    // Room for one more step, so that recording after an edit cannot fail.
    void Reserve();
    // Drops the undone steps and appends step; needs Reserve first.
    void Push(SStep&& step);
    // Applies step backwards (bUndo) or forwards; the step then holds what
    // takes it the other way.
    static int32_t Apply(CMorphHandleArray& pairs, SStep& step, bool bUndo);

    std::vector<SStep> m_aSteps;
    size_t m_nDone = 0;       // steps in effect; those after them were undone
    bool m_bNudgeRun = false; // the last step is a nudge that the next one may join
};
