#pragma once

#include "wizard/CMorphApp.h"
#include "wizard/CMorphDlg.h"

// The wizard as the program builds it: the frame with the application's
// three pages, page 129 on show.
class WizardFrame : public CMorphDlg
{
public:
    WizardFrame() { CMorphApp::CreateSheets(*this); }
};
