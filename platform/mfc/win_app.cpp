#include "platform/mfc/win_app.h"

#include "platform/mfc/message_box.h"
#include "platform/ui/application.h"

namespace {

CWinApp* g_app = nullptr;
HINSTANCE g_resources = nullptr;

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR appName)
    : m_pszAppName(appName != nullptr ? appName : dravenlok::mfc::ApplicationTitle())
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitApplication()
{
    return TRUE;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return 0;
}

HICON CWinApp::LoadIcon(UINT id) const
{
    return ::LoadIconA(m_hInstance != nullptr ? m_hInstance : AfxGetResourceHandle(), static_cast<int>(id));
}

void CWinApp::OnHelp()
{
}

CWinApp* AfxGetApp() noexcept
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app != nullptr ? g_app->GetMainWnd() : nullptr;
}

LPCSTR AfxGetAppName() noexcept
{
    return g_app != nullptr && g_app->m_pszAppName != nullptr ? g_app->m_pszAppName
                                                              : dravenlok::mfc::ApplicationTitle();
}

HINSTANCE AfxGetResourceHandle() noexcept
{
    return g_resources;
}

void AfxSetResourceHandle(HINSTANCE resources) noexcept
{
    g_resources = resources;
}

int AfxWinMain(int argc, char* argv[], HINSTANCE resources)
{
    AfxSetResourceHandle(resources);
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        return 1;  // a program without its application object
    }
    app->m_hInstance = resources;
    const dravenlok::ui::Session session(argc > 0 && argv != nullptr ? argv[0] : nullptr);
    try {
        if (app->InitApplication() == FALSE || app->InitInstance() == FALSE) {
            return app->ExitInstance();
        }
        return app->Run();
    } catch (...) {
        AfxReportHandlerException();
        return 1;
    }
}
