// Windows of the framework: CWnd wraps a window handle and routes the
// window's messages through its message map; CPaintDC brackets painting.
#pragma once

#include "platform/mfc/cmd_target.h"

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override = default;

    HWND m_hWnd = nullptr;  // the window while it exists, else null

    [[nodiscard]] HWND GetSafeHwnd() const noexcept { return m_hWnd; }

    // Runs the window's message handling at once and answers its result.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    [[nodiscard]] BOOL IsIconic() const;
    void GetClientRect(LPRECT rect) const;
    HICON SetIcon(HICON icon, BOOL bigIcon);
    [[nodiscard]] HICON GetIcon(BOOL bigIcon) const;

    // The default handling of the message being handled now.
    LRESULT Default();

    // The framework's window procedure for every window it owns: finds the
    // CWnd of `window`, runs WindowProc, and catches any exception a handler
    // throws (see AfxReportHandlerException).
    static LRESULT AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    DECLARE_MESSAGE_MAP()

protected:
    // Message map first (WM_COMMAND through OnCommand), then DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };
    CurrentMessage m_current;
};

// A paint device context for a window: BeginPaint on construction, EndPaint
// on destruction.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    [[nodiscard]] HDC GetSafeHdc() const noexcept { return m_hDC; }
    operator HDC() const noexcept { return m_hDC; }  // NOLINT(google-explicit-constructor)

    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

    HDC m_hDC = nullptr;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// Reports an exception that left a message handler: "The command could not
// be completed:" and the exception's message, in a message box. The program
// goes on. Called by the framework's dispatch inside a catch block.
void AfxReportHandlerException() noexcept;
