// Built with AVX2 code generation; called only on processors that have it.
// Uses nothing from headers but the intrinsics, so no inline library code
// compiled for AVX2 can be shared with the rest of the program.
#include "CSpanKernel.h"

#include <immintrin.h>

namespace {

// Byte c of every 32-bit lane.
inline __m128i Channel(__m128i pixels, int c)
{
    return _mm_and_si128(_mm_srli_epi32(pixels, 8 * c), _mm_set1_epi32(0xFF));
}

// trunc(double(b − a) · f + double(a)), low 8 bits.
inline __m128i Mix(__m128i a, __m128i b, __m256d f)
{
    const __m256d d = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_sub_epi32(b, a)), f);
    const __m128i v = _mm256_cvttpd_epi32(_mm256_add_pd(d, _mm256_cvtepi32_pd(a)));
    return _mm_and_si128(v, _mm_set1_epi32(0xFF));
}

} // namespace

void CSpanKernel::FillAvx2(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture)
{
    // Offsets are formed from 32-bit pitches, and a one-column texture has no
    // neighbour byte to read around its pixels.
    if (texture.nWidth < 2 || texture.nPitch > INT32_MAX || texture.nPitch < -INT32_MAX) {
        FillScalar(pOut, x0, x1, span, texture);
        return;
    }
    const double width = span.dRightX - span.dLeftX;
    const bool flat = width == 0.0;
    const __m256d lane = _mm256_set_pd(3, 2, 1, 0);
    const __m256d leftX = _mm256_set1_pd(span.dLeftX), vWidth = _mm256_set1_pd(width);
    const __m256d leftU = _mm256_set1_pd(span.dLeftU), rightU = _mm256_set1_pd(span.dRightU);
    const __m256d leftV = _mm256_set1_pd(span.dLeftV), rightV = _mm256_set1_pd(span.dRightV);
    const __m256d one = _mm256_set1_pd(1.0), minusOne = _mm256_set1_pd(-1.0);
    const __m256d texW = _mm256_set1_pd(texture.nWidth), texH = _mm256_set1_pd(texture.nHeight);
    const __m128i lastColumn = _mm_set1_epi32(texture.nWidth - 1);
    const __m128i lastRow = _mm_set1_epi32(texture.nHeight - 1);
    const __m256i pitch = _mm256_set1_epi64x(texture.nPitch);
    const __m256i minusOne64 = _mm256_set1_epi64x(-1), two64 = _mm256_set1_epi64x(2);
    const __m256i evenLanes = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m128i eight = _mm_set1_epi32(8), zero = _mm_setzero_si128();
    const __m128i packBytes = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const int* bits = reinterpret_cast<const int*>(texture.pBits);

    for (int64_t x = x0; x <= x1; x += 4, pOut += 12) {
        const int64_t left = int64_t(x1) - x + 1;
        const __m256d xd = _mm256_add_pd(_mm256_set1_pd(double(x)), lane);
        const __m256d s = flat ? _mm256_setzero_pd() : _mm256_div_pd(_mm256_sub_pd(xd, leftX), vWidth);
        const __m256d r = _mm256_sub_pd(one, s);
        const __m256d U = _mm256_add_pd(_mm256_mul_pd(leftU, r), _mm256_mul_pd(rightU, s));
        const __m256d V = _mm256_add_pd(_mm256_mul_pd(leftV, r), _mm256_mul_pd(rightV, s));
        __m256d inside = _mm256_and_pd(_mm256_cmp_pd(U, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(U, texW, _CMP_LT_OQ));
        inside = _mm256_and_pd(inside, _mm256_cmp_pd(V, minusOne, _CMP_GT_OQ));
        inside = _mm256_and_pd(inside, _mm256_cmp_pd(V, texH, _CMP_LT_OQ));
        inside = _mm256_and_pd(inside, _mm256_cmp_pd(lane, _mm256_set1_pd(double(left)), _CMP_LT_OQ));
        const int validBits = _mm256_movemask_pd(inside);
        if (validBits == 0)
            continue;
        const __m128i valid =
            _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(inside), evenLanes));

        const __m128i ix = _mm256_cvttpd_epi32(U), iy = _mm256_cvttpd_epi32(V);
        const __m256d fx = _mm256_sub_pd(U, _mm256_cvtepi32_pd(ix));
        const __m256d fy = _mm256_sub_pd(V, _mm256_cvtepi32_pd(iy));
        const __m128i right = _mm_cmpgt_epi32(lastColumn, ix);
        const __m128i down = _mm_cmpgt_epi32(lastRow, iy);
        const __m256i ix64 = _mm256_cvtepi32_epi64(ix);
        const __m256i off = _mm256_add_epi64(_mm256_mul_epi32(_mm256_cvtepi32_epi64(iy), pitch),
                                             _mm256_add_epi64(ix64, _mm256_add_epi64(ix64, ix64)));
        // Four bytes are read per pixel: from the pixel itself when a pixel
        // follows it, else from one byte before it, shifted down.
        const __m256i offA = _mm256_add_epi64(off, _mm256_andnot_si256(_mm256_cvtepi32_epi64(right), minusOne64));
        const __m256i offB = _mm256_add_epi64(off, two64);
        const __m128i shiftA = _mm_andnot_si128(right, eight);
        const __m128i hasRight = _mm_and_si128(valid, right), hasDown = _mm_and_si128(valid, down);
        const __m128i hasBoth = _mm_and_si128(hasRight, down);

        __m128i g = _mm256_mask_i64gather_epi32(zero, bits, offA, valid, 1);
        const __m128i p00 = _mm_srlv_epi32(g, shiftA);
        g = _mm256_mask_i64gather_epi32(zero, bits, offB, hasRight, 1);
        const __m128i p10 = _mm_blendv_epi8(p00, _mm_srli_epi32(g, 8), hasRight);
        g = _mm256_mask_i64gather_epi32(zero, bits, _mm256_add_epi64(offA, pitch), hasDown, 1);
        const __m128i p01 = _mm_blendv_epi8(p00, _mm_srlv_epi32(g, shiftA), hasDown);
        g = _mm256_mask_i64gather_epi32(zero, bits, _mm256_add_epi64(offB, pitch), hasBoth, 1);
        const __m128i p11 = _mm_blendv_epi8(p00, _mm_srli_epi32(g, 8), hasBoth);

        __m128i result = zero;
        for (int c = 0; c < 3; ++c) {
            const __m128i top = Mix(Channel(p00, c), Channel(p10, c), fx);
            const __m128i bottom = Mix(Channel(p01, c), Channel(p11, c), fx);
            result = _mm_or_si128(result, _mm_slli_epi32(Mix(top, bottom, fy), 8 * c));
        }
        const __m128i packed = _mm_shuffle_epi8(result, packBytes);
        if (validBits == 0xF) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), packed);
            _mm_storeu_si32(pOut + 8, _mm_srli_si128(packed, 8));
        } else {
            alignas(16) uint8_t bytes[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), packed);
            for (int k = 0; k < 4; ++k)
                if (validBits & (1 << k))
                    for (int c = 0; c < 3; ++c)
                        pOut[3 * k + c] = bytes[3 * k + c];
        }
    }
}

void CSpanKernel::BlendAvx2(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha)
{
    const __m256i a = _mm256_set1_epi16(alpha), na = _mm256_set1_epi16(short(255 - alpha));
    const __m256i bias = _mm256_set1_epi16(127);
    // v / 255 = (v · 0x8081) >> 23 for every 16-bit v.
    const __m256i magic = _mm256_set1_epi16(short(0x8081));
    size_t i = 0;
    for (; i + 16 <= nBytes; i += 16) {
        const __m256i in = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn + i)));
        const __m256i out = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pOut + i)));
        const __m256i v = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(in, a), _mm256_mullo_epi16(out, na)), bias);
        const __m256i q = _mm256_srli_epi16(_mm256_mulhi_epu16(v, magic), 7);
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(q, q), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i), _mm256_castsi256_si128(packed));
    }
    BlendScalar(pOut + i, pIn + i, nBytes - i, alpha);
}
