// Built with AVX-512 (F, BW, DQ, VL) code generation; called only on processors
// that have it. Uses nothing from headers but the intrinsics, so no inline
// library code compiled for AVX-512 can be shared with the rest of the program.
#include "CSpanKernel.h"

// GCC 12 warns inside its own AVX-512 header about the deliberately
// undefined vectors that some conversions start from.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// For each of 8 pixel lanes, the 3 bytes it covers in a packed row of 24.
struct SPixelByteMasks
{
    uint32_t m_aMask[256];
    constexpr SPixelByteMasks() : m_aMask()
    {
        for (uint32_t lanes = 0; lanes < 256; ++lanes)
            for (uint32_t k = 0; k < 8; ++k)
                if (lanes & (1u << k))
                    m_aMask[lanes] |= 7u << (3 * k);
    }
};
constexpr SPixelByteMasks s_pixelBytes;

// Byte c of every 32-bit lane.
inline __m256i Channel(__m256i pixels, int c)
{
    return _mm256_and_si256(_mm256_srli_epi32(pixels, 8 * c), _mm256_set1_epi32(0xFF));
}

// trunc(double(b − a) · f + double(a)), low 8 bits.
inline __m256i Mix(__m256i a, __m256i b, __m512d f)
{
    const __m512d d = _mm512_mul_pd(_mm512_cvtepi32_pd(_mm256_sub_epi32(b, a)), f);
    const __m256i v = _mm512_cvttpd_epi32(_mm512_add_pd(d, _mm512_cvtepi32_pd(a)));
    return _mm256_and_si256(v, _mm256_set1_epi32(0xFF));
}

} // namespace

void CSpanKernel::FillAvx512(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture)
{
    // Offsets are formed from 32-bit pitches, and a one-column texture has no
    // neighbour byte to read around its pixels.
    if (texture.nWidth < 2 || texture.nPitch > INT32_MAX || texture.nPitch < -INT32_MAX) {
        FillScalar(pOut, x0, x1, span, texture);
        return;
    }
    const double width = span.dRightX - span.dLeftX;
    const bool flat = width == 0.0;
    const __m512d lane = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
    const __m512d leftX = _mm512_set1_pd(span.dLeftX), vWidth = _mm512_set1_pd(width);
    const __m512d leftU = _mm512_set1_pd(span.dLeftU), rightU = _mm512_set1_pd(span.dRightU);
    const __m512d leftV = _mm512_set1_pd(span.dLeftV), rightV = _mm512_set1_pd(span.dRightV);
    const __m512d one = _mm512_set1_pd(1.0), minusOne = _mm512_set1_pd(-1.0);
    const __m512d texW = _mm512_set1_pd(texture.nWidth), texH = _mm512_set1_pd(texture.nHeight);
    const __m256i lastColumn = _mm256_set1_epi32(texture.nWidth - 1);
    const __m256i lastRow = _mm256_set1_epi32(texture.nHeight - 1);
    const __m512i pitch = _mm512_set1_epi64(texture.nPitch);
    const __m512i one64 = _mm512_set1_epi64(1), two64 = _mm512_set1_epi64(2);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i packBytes = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, //
                                               0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i packLanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const void* bits = texture.pBits;

    for (int64_t x = x0; x <= x1; x += 8, pOut += 24) {
        const int64_t left = int64_t(x1) - x + 1;
        const __mmask8 active = left >= 8 ? __mmask8(0xFF) : __mmask8((1u << left) - 1);
        const __m512d xd = _mm512_add_pd(_mm512_set1_pd(double(x)), lane);
        const __m512d s = flat ? _mm512_setzero_pd() : _mm512_div_pd(_mm512_sub_pd(xd, leftX), vWidth);
        const __m512d r = _mm512_sub_pd(one, s);
        const __m512d U = _mm512_add_pd(_mm512_mul_pd(leftU, r), _mm512_mul_pd(rightU, s));
        const __m512d V = _mm512_add_pd(_mm512_mul_pd(leftV, r), _mm512_mul_pd(rightV, s));
        __mmask8 valid = _mm512_mask_cmp_pd_mask(active, U, minusOne, _CMP_GT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, U, texW, _CMP_LT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, V, minusOne, _CMP_GT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, V, texH, _CMP_LT_OQ);
        if (valid == 0)
            continue;

        const __m256i ix = _mm512_cvttpd_epi32(U), iy = _mm512_cvttpd_epi32(V);
        const __m512d fx = _mm512_sub_pd(U, _mm512_cvtepi32_pd(ix));
        const __m512d fy = _mm512_sub_pd(V, _mm512_cvtepi32_pd(iy));
        const __mmask8 right = _mm256_cmplt_epi32_mask(ix, lastColumn);
        const __mmask8 down = _mm256_cmplt_epi32_mask(iy, lastRow);
        const __m512i ix64 = _mm512_cvtepi32_epi64(ix);
        const __m512i off = _mm512_add_epi64(_mm512_mul_epi32(_mm512_cvtepi32_epi64(iy), pitch),
                                             _mm512_add_epi64(ix64, _mm512_add_epi64(ix64, ix64)));
        // Four bytes are read per pixel: from the pixel itself when a pixel
        // follows it, else from one byte before it, shifted down.
        const __m512i offA = _mm512_mask_sub_epi64(off, __mmask8(~right), off, one64);
        const __m512i offB = _mm512_add_epi64(off, two64);
        const __mmask8 hasRight = valid & right, hasDown = valid & down, hasBoth = hasRight & down;

        __m256i g = _mm512_mask_i64gather_epi32(zero, valid, offA, bits, 1);
        const __m256i p00 = _mm256_mask_srli_epi32(g, __mmask8(~right), g, 8);
        g = _mm512_mask_i64gather_epi32(zero, hasRight, offB, bits, 1);
        const __m256i p10 = _mm256_mask_blend_epi32(hasRight, p00, _mm256_srli_epi32(g, 8));
        g = _mm512_mask_i64gather_epi32(zero, hasDown, _mm512_add_epi64(offA, pitch), bits, 1);
        const __m256i p01 = _mm256_mask_blend_epi32(hasDown, p00, _mm256_mask_srli_epi32(g, __mmask8(~right), g, 8));
        g = _mm512_mask_i64gather_epi32(zero, hasBoth, _mm512_add_epi64(offB, pitch), bits, 1);
        const __m256i p11 = _mm256_mask_blend_epi32(hasBoth, p00, _mm256_srli_epi32(g, 8));

        __m256i result = zero;
        for (int c = 0; c < 3; ++c) {
            const __m256i top = Mix(Channel(p00, c), Channel(p10, c), fx);
            const __m256i bottom = Mix(Channel(p01, c), Channel(p11, c), fx);
            result = _mm256_or_si256(result, _mm256_slli_epi32(Mix(top, bottom, fy), 8 * c));
        }
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(result, packBytes), packLanes);
        _mm256_mask_storeu_epi8(pOut, s_pixelBytes.m_aMask[valid], packed);
    }
}

void CSpanKernel::BlendAvx512(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha)
{
    const __m512i a = _mm512_set1_epi16(alpha), na = _mm512_set1_epi16(short(255 - alpha));
    const __m512i bias = _mm512_set1_epi16(127);
    // v / 255 = (v · 0x8081) >> 23 for every 16-bit v.
    const __m512i magic = _mm512_set1_epi16(short(0x8081));
    for (size_t i = 0; i < nBytes; i += 32) {
        const size_t left = nBytes - i;
        const __mmask32 mask = left >= 32 ? __mmask32(0xFFFFFFFFu) : __mmask32((1u << left) - 1);
        const __m512i in = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, pIn + i));
        const __m512i out = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, pOut + i));
        const __m512i v = _mm512_add_epi16(_mm512_add_epi16(_mm512_mullo_epi16(in, a), _mm512_mullo_epi16(out, na)), bias);
        const __m512i q = _mm512_srli_epi16(_mm512_mulhi_epu16(v, magic), 7);
        _mm256_mask_storeu_epi8(pOut + i, mask, _mm512_cvtepi16_epi8(q));
    }
}
