#pragma once

#include "CSheet.h"

// Page 130: placing the point pairs.
class CSheet_Handle : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Handle(CMorphDlg* pFrame);

    void OnNext() override;
    void OnBack() override;
    void OnEnter() override;
};
