// The application object: its start-up runs the main dialog modally and
// ends the program when the dialog closes.
#pragma once

#include "platform/mfc/framework.h"

class CProbeApp : public CWinApp {
public:
    CProbeApp();  // no application name: the title is the executable's name
    ~CProbeApp() override;

    DECLARE_MESSAGE_MAP()

    // Runs the dialog; answers FALSE so the program ends when it closes.
    BOOL InitInstance() override;
};

// The one application object (app/main.cpp).
extern CProbeApp theApp;
