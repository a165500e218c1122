// Built with AVX2 code generation; called only on processors that have it.
// Uses nothing from headers but the intrinsics, so no inline library code
// compiled for AVX2 can be shared with the rest of the program.
#include "engine/CSpanKernel.h"

#include <immintrin.h>

namespace {

// 2^52 as a double: a whole number 0 ≤ k < 2^32 placed in the low bits of its
// bit pattern is the double 2^52 + k, so bytes become doubles without a
// conversion instruction, and back again for whole results.
constexpr long long kMagicBits = 0x4330000000000000LL;

// The shuffle that makes each 64-bit lane the double 2^52 + byte k of that
// lane, for lanes whose bytes 6 and 7 hold the top bytes of 2^52.
template <int k>
inline __m256i SelectByte()
{
    // Control bytes with the top bit set clear; indices count within each 16-byte half.
    constexpr long long low = (long long)(0x0706808080808000ULL | unsigned(k)), high = low + 0x0808000000000008LL;
    return _mm256_setr_epi64x(low, high, low, high);
}

inline __m256d Trunc(__m256d v)
{
    return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

// The result byte of channel c of four pixels, in the low bits of each 64-bit
// lane, with the bits of 2^52 above bit 32 or shifted out of the low 32 bits.
template <int c>
inline __m256i Channel(__m256i top, __m256i bottom, __m256d fx, __m256d fy, __m256d magic)
{
    const __m256d m00 = _mm256_castsi256_pd(_mm256_shuffle_epi8(top, SelectByte<c>()));
    const __m256d m10 = _mm256_castsi256_pd(_mm256_shuffle_epi8(top, SelectByte<c + 3>()));
    const __m256d m01 = _mm256_castsi256_pd(_mm256_shuffle_epi8(bottom, SelectByte<c>()));
    const __m256d m11 = _mm256_castsi256_pd(_mm256_shuffle_epi8(bottom, SelectByte<c + 3>()));
    // (2^52 + b) − (2^52 + a) is b − a exactly. With fractions in [0, 1) and
    // both ends in [0, 255], each step stays in [0, 255]: no wrap to mind.
    const __m256d t = Trunc(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(m10, m00), fx), _mm256_sub_pd(m00, magic)));
    const __m256d b = Trunc(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(m11, m01), fx), _mm256_sub_pd(m01, magic)));
    const __m256d v = Trunc(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b, t), fy), t));
    return _mm256_slli_epi64(_mm256_castpd_si256(_mm256_add_pd(v, magic)), 8 * c);
}

// Where four pixels sample: their fractions and the byte offsets of their
// top-left texels.
struct SGroup
{
    __m256d fx, fy;
    alignas(32) int64_t offset[4];
    bool bVector; // else the scalar code draws the group
};

// Groups of four pixels found ahead of their mixing, in one run of the
// positions loop; small enough to stay in the first-level cache.
constexpr int kGroupsPerBlock = 16;

// The vector path for spans of one kind: all of s is 0 when the span's ends
// share their x, else the quotient of every pixel. Spans go in blocks of up
// to 64 pixels: first the positions of every group in the block, then the
// texels and mixing. The long chain from the division to the texel
// addresses then never holds up the loads, and the loads of several groups
// are in flight at once.
template <bool kFlat>
void FillGroups(uint8_t* pOut, int32_t x0, int32_t x1, const CSpanKernel::SSpan& span,
                const CSpanKernel::STexture& texture)
{
    const __m256d lane = _mm256_set_pd(3, 2, 1, 0);
    const __m256d leftX = _mm256_set1_pd(span.dLeftX), vWidth = _mm256_set1_pd(span.dRightX - span.dLeftX);
    const __m256d leftU = _mm256_set1_pd(span.dLeftU), rightU = _mm256_set1_pd(span.dRightU);
    const __m256d leftV = _mm256_set1_pd(span.dLeftV), rightV = _mm256_set1_pd(span.dRightV);
    const __m256d one = _mm256_set1_pd(1.0);
    // The vector path draws pixels whose four texels exist and whose eight
    // bytes per row lie inside the texture: 0 ≤ U < width − 2, 0 ≤ V < height − 1.
    const __m256d innerW = _mm256_set1_pd(texture.nWidth - 2), innerH = _mm256_set1_pd(texture.nHeight - 1);
    const __m256d magic = _mm256_castsi256_pd(_mm256_set1_epi64x(kMagicBits));
    // 1.5 · 2^52: whole numbers of either sign below 2^51 added to it sit in its low bits.
    const __m256d signedMagic = _mm256_set1_pd(6755399441055744.0);
    const __m256d three = _mm256_set1_pd(3.0), vPitch = _mm256_set1_pd(double(texture.nPitch));
    const __m256i low6 = _mm256_set1_epi64x(0xFFFFFFFFFFFFLL), magicBits = _mm256_set1_epi64x(kMagicBits);
    const __m256i evenLanes = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m128i packBytes = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const uint8_t* bits = texture.pBits;
    const ptrdiff_t rowBytes = texture.nPitch;

    const auto prepare = [&](int64_t x, SGroup& group) {
        const int64_t left = int64_t(x1) - x + 1;
        // x + lane is whole, so it is exact.
        const __m256d xd = _mm256_add_pd(_mm256_set1_pd(double(x)), lane);
        const __m256d s = kFlat ? _mm256_setzero_pd() : _mm256_div_pd(_mm256_sub_pd(xd, leftX), vWidth);
        const __m256d r = _mm256_sub_pd(one, s);
        __m256d U = _mm256_add_pd(_mm256_mul_pd(leftU, r), _mm256_mul_pd(rightU, s));
        __m256d V = _mm256_add_pd(_mm256_mul_pd(leftV, r), _mm256_mul_pd(rightV, s));
        if (left < 4) {
            // Lanes past the span repeat the first pixel and are not stored.
            const __m256d past = _mm256_cmp_pd(lane, _mm256_set1_pd(double(left)), _CMP_GE_OQ);
            U = _mm256_blendv_pd(U, _mm256_permute4x64_pd(U, 0), past);
            V = _mm256_blendv_pd(V, _mm256_permute4x64_pd(V, 0), past);
        }
        // Below the bounds and not NaN; a set sign bit (negatives and −0)
        // sends the group to the scalar code: texture borders, negative
        // fractions (U or V in (−1, 0), whose steps may leave [0, 256) and
        // wrap) and pixels outside the texture are rare.
        const __m256d below = _mm256_and_pd(_mm256_cmp_pd(U, innerW, _CMP_LT_OQ), _mm256_cmp_pd(V, innerH, _CMP_LT_OQ));
        group.bVector = _mm256_movemask_pd(_mm256_andnot_pd(_mm256_or_pd(U, V), below)) == 0xF;
        // trunc(U) and trunc(V) are whole and exact, so these are U − ix and V − iy.
        const __m256d ixd = Trunc(U), iyd = Trunc(V);
        group.fx = _mm256_sub_pd(U, ixd);
        group.fy = _mm256_sub_pd(V, iyd);
        // iy · pitch + 3 · ix, exact in doubles (below 2^51) for inner
        // pixels, to 64-bit integers; the others' offsets are never used.
        const __m256d offd =
            _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(iyd, vPitch), _mm256_mul_pd(ixd, three)), signedMagic);
        _mm256_store_si256(reinterpret_cast<__m256i*>(group.offset),
                           _mm256_sub_epi64(_mm256_castpd_si256(offd), _mm256_castpd_si256(signedMagic)));
    };

    SGroup block[kGroupsPerBlock];
    for (int64_t from = x0; from <= x1; from += 4 * kGroupsPerBlock) {
        const int64_t rest = int64_t(x1) - from;
        const int nGroups = rest < 4 * kGroupsPerBlock ? int(rest / 4) + 1 : kGroupsPerBlock;
        for (int g = 0; g < nGroups; ++g)
            prepare(from + 4 * g, block[g]);
        uint8_t* const blockOut = pOut;
        for (int g = 0; g < nGroups; ++g, pOut += 12) {
            const SGroup& group = block[g];
            const int64_t at = from + 4 * g, left = int64_t(x1) - at + 1;
            if (!group.bVector)
                continue;
            const uint8_t* p0 = bits + group.offset[0];
            const uint8_t* p1 = bits + group.offset[1];
            const uint8_t* p2 = bits + group.offset[2];
            const uint8_t* p3 = bits + group.offset[3];
            // The next cache line of both rows: spans mostly run rightwards
            // through the texture, along rows the hardware does not foresee.
            _mm_prefetch(reinterpret_cast<const char*>(p3 + 64), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(p3 + 64 + rowBytes), _MM_HINT_T0);
            // Eight bytes per row: bytes 0–2 are the pixel, 3–5 its right
            // neighbour; bytes 6 and 7 become the top bytes of 2^52 for the shuffles.
            const auto row = [&](ptrdiff_t down) {
                const __m128i lo = _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(_mm_loadu_si64(p0 + down)),
                                                                 reinterpret_cast<const double*>(p1 + down)));
                const __m128i hi = _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(_mm_loadu_si64(p2 + down)),
                                                                 reinterpret_cast<const double*>(p3 + down)));
                return _mm256_or_si256(_mm256_and_si256(_mm256_set_m128i(hi, lo), low6), magicBits);
            };
            const __m256i top = row(0), bottom = row(rowBytes);
            const __m256i channels = _mm256_or_si256(
                _mm256_or_si256(Channel<0>(top, bottom, group.fx, group.fy, magic),
                                Channel<1>(top, bottom, group.fx, group.fy, magic)),
                Channel<2>(top, bottom, group.fx, group.fy, magic));
            const __m128i packed = _mm_shuffle_epi8(
                _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(channels, evenLanes)),
                packBytes);
            if (left >= 4) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), packed);
                _mm_storeu_si32(pOut + 8, _mm_srli_si128(packed, 8));
            } else {
                alignas(16) uint8_t bytes[16];
                _mm_store_si128(reinterpret_cast<__m128i*>(bytes), packed);
                for (int64_t i = 0; i < 3 * left; ++i)
                    pOut[i] = bytes[i];
            }
        }
        // The scalar code's groups after the block's vector ones, so that no
        // call clobbers the vector loop's registers.
        for (int g = 0; g < nGroups; ++g)
            if (!block[g].bVector) {
                const int64_t at = from + 4 * g;
                CSpanKernel::FillScalar(blockOut + 12 * g, int32_t(at), int32_t(at + 3 <= x1 ? at + 3 : x1), span,
                                        texture);
            }
    }
}

} // namespace

void CSpanKernel::FillAvx2(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture)
{
    // Eight bytes are read from each of two texture rows per pixel, which
    // needs three columns and two rows; offsets are formed in doubles, exact
    // below 2^51 bytes.
    const int64_t absPitch = texture.nPitch < 0 ? -int64_t(texture.nPitch) : int64_t(texture.nPitch);
    if (texture.nWidth < 3 || texture.nHeight < 2 || absPitch > INT32_MAX ||
        texture.nHeight * absPitch >= (int64_t(1) << 51)) {
        FillScalar(pOut, x0, x1, span, texture);
        return;
    }
    if (span.dRightX - span.dLeftX == 0.0)
        FillGroups<true>(pOut, x0, x1, span, texture);
    else
        FillGroups<false>(pOut, x0, x1, span, texture);
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
