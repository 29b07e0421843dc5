#include "platform/mfc/wnd.h"

#include <exception>
#include <string>

#include "platform/mfc/exception.h"
#include "platform/mfc/message_box.h"

namespace {

constexpr char kCommandFailed[] = "The command could not be completed:";
constexpr char kUnknownFailure[] = "The command could not be completed because of an unexpected error.";

}  // namespace

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT rect) const
{
    ::GetClientRect(m_hWnd, rect);
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bigIcon != FALSE ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

HICON CWnd::GetIcon(BOOL bigIcon) const
{
    return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_GETICON, bigIcon != FALSE ? ICON_BIG : ICON_SMALL, 0));
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Default() answers for the innermost message; a nested one (a handler
    // that sends a message) puts the outer one back when it ends.
    const CurrentMessage saved = m_current;
    m_current = CurrentMessage{message, wParam, lParam};
    struct Restore {
        CWnd& self;
        CurrentMessage saved;
        ~Restore() { self.m_current = saved; }
    } restore{*this, saved};

    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam) != FALSE) {
            return 0;
        }
        return DefWindowProc(message, wParam, lParam);
    }
    if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0); entry != nullptr) {
        return entry->pfn(*this, wParam, lParam);
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM /*lParam*/)
{
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    auto* target = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (target == nullptr) {
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    if (target->m_hWnd == nullptr) {
        target->m_hWnd = window;
    }
    try {
        return target->WindowProc(message, wParam, lParam);
    } catch (...) {
        AfxReportHandlerException();
        return 0;
    }
}

void AfxReportHandlerException() noexcept
{
    try {
        std::string message;
        try {
            throw;
        } catch (CException* exception) {
            const dravenlok::mfc::ExceptionPtr owned(exception);
            if (exception != nullptr) {
                message = dravenlok::mfc::ExceptionMessage(*exception);
            }
        } catch (const std::exception& exception) {
            message = exception.what();
        } catch (...) {
        }
        const std::string text = message.empty() ? std::string(kUnknownFailure)
                                                 : std::string(kCommandFailed) + "\n" + message;
        AfxMessageBox(text.c_str(), MB_OK, 0);
    } catch (...) {
        // Reporting failed too (no memory): the program still goes on.
    }
}

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window != nullptr ? window->m_hWnd : nullptr)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
