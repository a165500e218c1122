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

// The shuffle that moves byte k of every 64-bit lane to its bottom and clears the others.
inline __m512i Select(int k)
{
    // Control bytes with the top bit set clear; indices count within each 16-byte half.
    const long long low = (long long)(0x8080808080808000ULL | unsigned(k)), high = low + 8;
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// Byte k of every 64-bit lane, as a double.
inline __m512d Byte(__m512i lanes, int k)
{
    return _mm512_cvtepi64_pd(_mm512_shuffle_epi8(lanes, Select(k)));
}

// trunc(d · f + a), low 8 bits, for whole numbers d and a.
inline __m512i Mix(__m512d d, __m512d a, __m512d f)
{
    return _mm512_and_epi64(_mm512_cvttpd_epi64(_mm512_add_pd(_mm512_mul_pd(d, f), a)), _mm512_set1_epi64(0xFF));
}

// 2^52 as a double: a whole number 0 ≤ k < 2^32 in the low bits of its bit
// pattern is the double 2^52 + k.
constexpr long long kMagicBits = 0x4330000000000000LL;

// The shuffle that makes each 64-bit lane the double 2^52 + byte k of that
// lane, for lanes whose bytes 6 and 7 hold the top bytes of 2^52.
template <int k>
inline __m512i SelectMagic()
{
    constexpr long long low = (long long)(0x0706808080808000ULL | unsigned(k)), high = low + 0x0808000000000008LL;
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// 2^52 + trunc(v) for 0 ≤ v < 2^52: the sum rounded toward zero is whole.
inline __m512d TruncMagic(__m512d v, __m512d magic)
{
    return _mm512_add_round_pd(v, magic, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

// Channel c of eight pixels whose fractions lie in [0, 1), so that every
// step stays in [0, 255]: the result byte in the low bits of each lane, the
// bits of 2^52 above bit 32 or shifted out of the low 32 bits.
template <int c>
inline __m512i MagicChannel(__m512i top, __m512i bottom, __m512d fx, __m512d fy, __m512d magic)
{
    const __m512d m00 = _mm512_castsi512_pd(_mm512_shuffle_epi8(top, SelectMagic<c>()));
    const __m512d m10 = _mm512_castsi512_pd(_mm512_shuffle_epi8(top, SelectMagic<c + 3>()));
    const __m512d m01 = _mm512_castsi512_pd(_mm512_shuffle_epi8(bottom, SelectMagic<c>()));
    const __m512d m11 = _mm512_castsi512_pd(_mm512_shuffle_epi8(bottom, SelectMagic<c + 3>()));
    // (2^52 + b) − (2^52 + a) is b − a exactly.
    const __m512d t = TruncMagic(_mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(m10, m00), fx), _mm512_sub_pd(m00, magic)), magic);
    const __m512d b = TruncMagic(_mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(m11, m01), fx), _mm512_sub_pd(m01, magic)), magic);
    const __m512d v = TruncMagic(_mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(b, t), fy), _mm512_sub_pd(t, magic)), magic);
    return _mm512_slli_epi64(_mm512_castpd_si512(v), 8 * c);
}

} // namespace

void CSpanKernel::FillAvx512(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture)
{
    // Offsets are formed from 32-bit pitches, and eight bytes are read around
    // each pixel, which needs three columns.
    if (texture.nWidth < 3 || texture.nPitch > INT32_MAX || texture.nPitch < -INT32_MAX) {
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
    // The short road: 0 ≤ U < width − 2 and 0 ≤ V < height − 1.
    const __m512d innerW = _mm512_set1_pd(texture.nWidth - 2), innerH = _mm512_set1_pd(texture.nHeight - 1);
    const __m512i lastColumn = _mm512_set1_epi64(texture.nWidth - 1);
    const __m512i secondLastColumn = _mm512_set1_epi64(texture.nWidth - 2);
    const __m512i lastRow = _mm512_set1_epi64(texture.nHeight - 1);
    const __m512i pitch = _mm512_set1_epi64(texture.nPitch);
    const __m512i low3 = _mm512_set1_epi64(0xFFFFFF);
    const __m512i zero = _mm512_setzero_si512();
    const __m512i low6 = _mm512_set1_epi64(0xFFFFFFFFFFFFLL), magicBits = _mm512_set1_epi64(kMagicBits);
    const __m512d magic = _mm512_castsi512_pd(magicBits);
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
        // Pixels away from the last two columns and the last row, with
        // fractions of at least 0, take the short road: no neighbour clamps,
        // no wrap, truncation by the rounding of one addition.
        __mmask8 inner = _mm512_mask_cmp_pd_mask(active, U, _mm512_setzero_pd(), _CMP_GE_OQ);
        inner = _mm512_mask_cmp_pd_mask(inner, U, innerW, _CMP_LT_OQ);
        inner = _mm512_mask_cmp_pd_mask(inner, V, _mm512_setzero_pd(), _CMP_GE_OQ);
        inner = _mm512_mask_cmp_pd_mask(inner, V, innerH, _CMP_LT_OQ);
        if (inner == active) {
            const __m512i ix = _mm512_cvttpd_epi64(U), iy = _mm512_cvttpd_epi64(V);
            const __m512d fx = _mm512_sub_pd(U, _mm512_cvtepi64_pd(ix));
            const __m512d fy = _mm512_sub_pd(V, _mm512_cvtepi64_pd(iy));
            const __m512i at = _mm512_add_epi64(_mm512_mul_epi32(iy, pitch), _mm512_add_epi64(ix, _mm512_add_epi64(ix, ix)));
            // Bytes 0–5 are the pixel and its right neighbour, 6 and 7 the top of 2^52.
            const __m512i top = _mm512_ternarylogic_epi64(_mm512_mask_i64gather_epi64(zero, active, at, bits, 1), low6,
                                                          magicBits, 0xEA);
            const __m512i bottom = _mm512_ternarylogic_epi64(
                _mm512_mask_i64gather_epi64(zero, active, _mm512_add_epi64(at, pitch), bits, 1), low6, magicBits, 0xEA);
            const __m512i result = _mm512_ternarylogic_epi64(MagicChannel<0>(top, bottom, fx, fy, magic),
                                                             MagicChannel<1>(top, bottom, fx, fy, magic),
                                                             MagicChannel<2>(top, bottom, fx, fy, magic), 0xFE);
            const __m256i dwords = _mm512_cvtepi64_epi32(result);
            const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(dwords, packBytes), packLanes);
            _mm256_mask_storeu_epi8(pOut, s_pixelBytes.m_aMask[active], packed);
            continue;
        }
        __mmask8 valid = _mm512_mask_cmp_pd_mask(active, U, minusOne, _CMP_GT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, U, texW, _CMP_LT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, V, minusOne, _CMP_GT_OQ);
        valid = _mm512_mask_cmp_pd_mask(valid, V, texH, _CMP_LT_OQ);
        if (valid == 0)
            continue;

        const __m512i ix = _mm512_cvttpd_epi64(U), iy = _mm512_cvttpd_epi64(V);
        const __m512d fx = _mm512_sub_pd(U, _mm512_cvtepi64_pd(ix));
        const __m512d fy = _mm512_sub_pd(V, _mm512_cvtepi64_pd(iy));
        const __mmask8 right = _mm512_cmplt_epi64_mask(ix, lastColumn);
        const __mmask8 down = _mm512_mask_cmplt_epi64_mask(valid, iy, lastRow);
        // Eight bytes are read per row: from the pixel on when two more
        // columns follow it, else from 2 or 5 bytes before it, shifted down,
        // so bytes 0–2 are the pixel and 3–5 its right neighbour.
        __m512i back = _mm512_maskz_set1_epi64(_mm512_cmpge_epi64_mask(ix, secondLastColumn), 2);
        back = _mm512_mask_add_epi64(back, __mmask8(~right), back, _mm512_set1_epi64(3));
        const __m512i off = _mm512_sub_epi64(
            _mm512_add_epi64(_mm512_mul_epi32(iy, pitch), _mm512_add_epi64(ix, _mm512_add_epi64(ix, ix))), back);
        const __m512i shift = _mm512_slli_epi64(back, 3);

        const __m512i row0 = _mm512_srlv_epi64(_mm512_mask_i64gather_epi64(zero, valid, off, bits, 1), shift);
        const __m512i row1 = _mm512_srlv_epi64(
            _mm512_mask_i64gather_epi64(zero, down, _mm512_add_epi64(off, pitch), bits, 1), shift);
        // A missing neighbour at the last column or row is the base pixel itself.
        const __m512i p00 = _mm512_and_epi64(row0, low3);
        const __m512i p00Twice = _mm512_or_epi64(p00, _mm512_slli_epi64(p00, 24));
        const __m512i top = _mm512_mask_mov_epi64(p00Twice, right, row0);
        __m512i bottom = _mm512_mask_or_epi64(p00Twice, down, _mm512_and_epi64(row1, low3), _mm512_slli_epi64(p00, 24));
        bottom = _mm512_mask_mov_epi64(bottom, down & right, row1);

        __m512i result = zero;
        for (int c = 0; c < 3; ++c) {
            const __m512d a00 = Byte(top, c), a10 = Byte(top, c + 3);
            const __m512d a01 = Byte(bottom, c), a11 = Byte(bottom, c + 3);
            const __m512i t = Mix(_mm512_sub_pd(a10, a00), a00, fx);
            const __m512i b = Mix(_mm512_sub_pd(a11, a01), a01, fx);
            const __m512d td = _mm512_cvtepi64_pd(t);
            const __m512i v = Mix(_mm512_sub_pd(_mm512_cvtepi64_pd(b), td), td, fy);
            result = _mm512_or_epi64(result, _mm512_slli_epi64(v, 8 * c));
        }
        const __m256i dwords = _mm512_cvtepi64_epi32(result);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(dwords, packBytes), packLanes);
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
