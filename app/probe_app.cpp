#include "app/probe_app.h"

#include "app/probe_dlg.h"

BEGIN_MESSAGE_MAP(CProbeApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CProbeApp::CProbeApp() : CWinApp(nullptr)
{
}

CProbeApp::~CProbeApp() = default;

BOOL CProbeApp::InitInstance()
{
    static_cast<void>(Enable3dControlsStatic());

    CProbeDlg dlg;
    m_pMainWnd = &dlg;
    static_cast<void>(dlg.DoModal());  // the dialog's result is not used

    // The dialog is gone; there is no main window left to run.
    m_pMainWnd = nullptr;
    return FALSE;
}
