#pragma once

#include "platform/CDC.h"

class CImage;

// A short-lived drawing surface opened on one image for one operation. The
// image keeps everything drawn after the surface is closed.
class CBmpDC : public CDC
{
public:
    explicit CBmpDC(CImage* pImage);
    explicit CBmpDC(CImage& image) : CBmpDC(&image) {}
    ~CBmpDC() override;

private:
    CImage* m_pOldImage = nullptr;
};
