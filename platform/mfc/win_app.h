// The application object and start-up. A program defines exactly one global
// object of a class derived from CWinApp; its constructor registers it, and
// AfxWinMain (called from main) brings up the user interface and runs its
// InitInstance.
#pragma once

#include "platform/mfc/wnd.h"

class CWinApp : public CCmdTarget {
public:
    // `appName` null: the application title is the running executable's file
    // name without its extension (the program has no title string).
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitApplication();
    // Answers FALSE to end the program at once (a dialog-based program runs
    // its dialog here), TRUE to go on to Run.
    virtual BOOL InitInstance();
    // Every window of this framework is a modal dialog with a loop of its
    // own, so after InitInstance there is nothing left to run: Run answers
    // ExitInstance().
    virtual int Run();
    virtual int ExitInstance();

    [[nodiscard]] virtual CWnd* GetMainWnd() { return m_pMainWnd; }

    // The icon group `id` of the resource module (shared, never destroyed).
    [[nodiscard]] HICON LoadIcon(UINT id) const;

    // ID_HELP: the program ships no help file, so there is nothing to open.
    void OnHelp();

    // Three-dimensional controls are the only kind drawn here; the request is
    // accepted and answers TRUE.
    BOOL Enable3dControlsStatic() noexcept { return TRUE; }

    CWnd* m_pMainWnd = nullptr;
    LPCSTR m_pszAppName;
    HINSTANCE m_hInstance = nullptr;

    DECLARE_MESSAGE_MAP()
};

// The one application object, or null before it is constructed.
[[nodiscard]] CWinApp* AfxGetApp() noexcept;
// The application's main window (the current thread's GetMainWnd()), or null.
[[nodiscard]] CWnd* AfxGetMainWnd();
// The application title: the name given to CWinApp, else the executable's
// file name without its extension.
[[nodiscard]] LPCSTR AfxGetAppName() noexcept;

// The module whose resources the framework loads (templates, icons).
[[nodiscard]] HINSTANCE AfxGetResourceHandle() noexcept;
void AfxSetResourceHandle(HINSTANCE resources) noexcept;

// Start-up: makes `resources` the resource module, brings up the user
// interface, runs the application's InitApplication and InitInstance (and
// Run when InitInstance answers TRUE), shuts the interface down. Command-line
// arguments are not interpreted. Answers the process exit status.
int AfxWinMain(int argc, char* argv[], HINSTANCE resources);
