#pragma once

#include "platform/CAtomicFile.h"

// While alive, one step of every atomic write fails with the given errno.
class FailingStep
{
public:
    FailingStep(CAtomicFile::EStep step, int error)
    {
        s_step = step;
        s_error = error;
        CAtomicFile::SetFaultHook([](CAtomicFile::EStep at) { return at == s_step ? s_error : 0; });
    }
    ~FailingStep() { CAtomicFile::SetFaultHook(nullptr); }
    FailingStep(const FailingStep&) = delete;
    FailingStep& operator=(const FailingStep&) = delete;

private:
    static inline CAtomicFile::EStep s_step{};
    static inline int s_error = 0;
};
