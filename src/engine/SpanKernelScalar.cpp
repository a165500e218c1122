#include "engine/CSpanKernel.h"

#include "platform/Colors.h"

void CSpanKernel::FillScalar(uint8_t* pOut, int32_t x0, int32_t x1, const SSpan& span, const STexture& texture)
{
    const int32_t texW = texture.nWidth, texH = texture.nHeight;
    const double dTexW = texW, dTexH = texH;
    const double width = span.dRightX - span.dLeftX;
    for (int32_t x = x0; x <= x1; ++x, pOut += 3) {
        const double s = width == 0.0 ? 0.0 : (double(x) - span.dLeftX) / width;
        const double r = 1.0 - s;
        const double U = span.dLeftU * r + span.dRightU * s;
        const double V = span.dLeftV * r + span.dRightV * s;
        // trunc(U) is in [0, width) exactly when −1 < U < width (NaN fails too).
        if (!(U > -1.0 && U < dTexW && V > -1.0 && V < dTexH))
            continue;
        const int32_t ix = int32_t(U), iy = int32_t(V);
        const uint8_t* p00 = texture.pBits + iy * texture.nPitch + 3 * ptrdiff_t(ix);
        const ptrdiff_t right = ix + 1 < texW ? 3 : 0;
        const ptrdiff_t down = iy + 1 < texH ? texture.nPitch : 0;
        // A missing neighbour at the last column or row is the base pixel itself.
        const uint8_t* p10 = p00 + right;
        const uint8_t* p01 = p00 + down;
        const uint8_t* p11 = right != 0 && down != 0 ? p00 + right + down : p00;
        const double fx = U - ix, fy = V - iy;
        for (int c = 0; c < 3; ++c) {
            // Each step truncates and keeps its low 8 bits; |values| < 512 here.
            const int top = uint8_t(int(double(p10[c] - p00[c]) * fx + double(p00[c])));
            const int bottom = uint8_t(int(double(p11[c] - p01[c]) * fx + double(p01[c])));
            pOut[c] = uint8_t(int(double(bottom - top) * fy + double(top)));
        }
    }
}

void CSpanKernel::BlendScalar(uint8_t* pOut, const uint8_t* pIn, size_t nBytes, uint8_t alpha)
{
    for (size_t i = 0; i < nBytes; ++i)
        pOut[i] = BlendChannel(pIn[i], pOut[i], alpha);
}
