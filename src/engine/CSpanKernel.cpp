#include "engine/CSpanKernel.h"

#include <initializer_list>

namespace {

const CSpanKernel s_scalar{&CSpanKernel::FillScalar, &CSpanKernel::BlendScalar, CSpanKernel::EKind::Scalar, "scalar"};
#ifdef QUILLAREND_X86_KERNELS
const CSpanKernel s_avx2{&CSpanKernel::FillAvx2, &CSpanKernel::BlendAvx2, CSpanKernel::EKind::Avx2, "avx2"};
const CSpanKernel s_avx512{&CSpanKernel::FillAvx512, &CSpanKernel::BlendAvx512, CSpanKernel::EKind::Avx512, "avx512"};
#endif

} // namespace

const CSpanKernel* CSpanKernel::Find(EKind kind)
{
    switch (kind) {
    case EKind::Scalar:
        return &s_scalar;
#ifdef QUILLAREND_X86_KERNELS
    // These checks include the operating system's saving of the vector registers.
    case EKind::Avx2:
        return __builtin_cpu_supports("avx2") ? &s_avx2 : nullptr;
    case EKind::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                       __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")
                   ? &s_avx512
                   : nullptr;
#else
    case EKind::Avx2:
    case EKind::Avx512:
        return nullptr;
#endif
    }
    return nullptr;
}

const CSpanKernel& CSpanKernel::Best()
{
    static const CSpanKernel& s_best = [] () -> const CSpanKernel& {
        for (EKind kind : {EKind::Avx512, EKind::Avx2})
            if (const CSpanKernel* kernel = Find(kind))
                return *kernel;
        return s_scalar;
    }();
    return s_best;
}

const char* CSpanKernel::KindName(EKind kind)
{
    switch (kind) {
    case EKind::Scalar:
        return "scalar";
    case EKind::Avx2:
        return "avx2";
    case EKind::Avx512:
        return "avx512";
    }
    return "?";
}
