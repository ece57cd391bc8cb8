// The control panel's application object: one copy runs at a time, and the program lives as
// long as its main dialog.
#pragma once

#include "ce/ui/framework.h"

class CPanelApp : public CWinApp {
  public:
    BOOL InitInstance() override;
};

extern CPanelApp theApp;
