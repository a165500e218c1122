#include "document/CBmpDC.h"

CBmpDC::CBmpDC(CImage* pImage)
{
    m_pOldImage = SelectImage(pImage);
}

CBmpDC::~CBmpDC()
{
    SelectImage(m_pOldImage);
}
