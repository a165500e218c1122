#pragma once

#include "CSheet.h"

// Page 129: choosing the source and target pictures.
class CSheet_Path : public CSheet
{
    Q_OBJECT

public:
    explicit CSheet_Path(CMorphDlg* pFrame);

    void OnNext() override;
    void OnEnter() override;
};
