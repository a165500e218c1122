#pragma once

#include <cstddef>
#include <cstdint>

// The two pixel loops of a frame, the span fill and the cross-fade, in one
// version per instruction set. Every version performs the same IEEE double
// operations in the same order as the scalar one, so all give the same bytes.
// The processor's best version is chosen once; tests and the benchmark can
// ask for a particular one.
class CSpanKernel
{
public:
    enum class EKind
    {
        Scalar,
        Avx2,
        Avx512,
    };

    // A texture: pixel (x, y) for 0 ≤ x < nWidth, 0 ≤ y < nHeight is the three
    // bytes at pBits + y · nPitch + 3x. No other byte is ever read.
    struct STexture
    {
        const uint8_t* pBits;
        ptrdiff_t nPitch;
        int32_t nWidth;
        int32_t nHeight;
    };

    // The ends of one row span: exact edge x and texture coordinates.
    struct SSpan
    {
        double dLeftX;
        double dLeftU;
        double dLeftV;
        double dRightX;
        double dRightU;
        double dRightV;
    };

    using FillFn = void (*)(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture);
    using BlendFn = void (*)(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha);

    // Draws the pixels x0 … x1 (inclusive) of one row, pOut pointing at pixel
    // x0: each gets the bilinear sample at its interpolated texture position,
    // or is left as it is when that position lies outside the texture.
    void FillSpan(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture) const
    {
        m_pFill(pOut, x0, x1, span, texture);
    }
    // out = BlendChannel(in, out, alpha) (platform/Colors.h) for each of nBytes bytes.
    void Blend(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha) const
    {
        m_pBlend(pOut, pIn, nBytes, alpha);
    }

    EKind GetKind() const { return m_eKind; }
    const char* GetName() const { return m_pName; }

    // The fastest version this processor runs, chosen on first use.
    static const CSpanKernel& Best();
    // The version of that kind, or null when this processor or build lacks it.
    static const CSpanKernel* Find(EKind kind);
    static const char* KindName(EKind kind);

    // The versions, one source file each; the vector ones fall back to the
    // scalar code for textures they cannot address safely.
    static void FillScalar(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture);
    static void BlendScalar(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha);
    static void FillAvx2(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture);
    static void BlendAvx2(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha);
    static void FillAvx512(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture);
    static void BlendAvx512(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha);

    FillFn m_pFill;
    BlendFn m_pBlend;
    EKind m_eKind;
    const char* m_pName;
};
