#pragma once

#include "CSheet.h"

// Page 131: previewing the morph and writing frames.
class CSheet_Morph : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Morph(CMorphDlg* pFrame);

    void OnNext() override;
    void OnBack() override;
    void OnEnter() override;
};
