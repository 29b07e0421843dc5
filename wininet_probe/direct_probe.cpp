// The direct probe: one GET through the internet library, step by step,
// with one report for the step that fails.
#include "wininet_probe/direct_probe.h"

#include <array>

#include "app/probe_dlg.h"
#include "platform/win32/owners.h"
#include "platform/wininet/handle.h"
#include "platform/wininet/wininet.h"

namespace {

using dravenlok::win32::LocalBlock;
using dravenlok::wininet::InternetHandle;

constexpr INTERNET_PORT kHttpPort = 80;
// Always from the server, nothing into the cache, and a no-cache pragma.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x84000100);

constexpr std::size_t kBodyBufferSize = 8192;      // one read of at most 8191 bytes: always terminated
constexpr std::size_t kResponseBufferSize = 1024;  // the server's last response text

}  // namespace

void ReportRequestFailure(CString strStep, int nReqID)
{
    const DWORD error = GetLastError();

    char* allocated = nullptr;
    static_cast<void>(FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                         FORMAT_MESSAGE_FROM_SYSTEM,
                                     nullptr, error, LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&allocated), 0,
                                     nullptr));
    const LocalBlock systemText(allocated);  // released after the report has closed

    std::array<char, kResponseBufferSize> response{};
    DWORD responseError = 0;
    auto responseLength = static_cast<DWORD>(response.size());
    static_cast<void>(InternetGetLastResponseInfoA(&responseError, response.data(), &responseLength));
    response.back() = '\0';  // whatever the library wrote, the text ends inside the buffer

    CString message;
    message.Format("ReqID %d, %s - %s (%d) - %s", nReqID, strStep.GetString(),
                   systemText != nullptr ? systemText.get() : "(null)", static_cast<int>(error), response.data());
    AfxMessageBox(message, MB_OK, 0);
}

int CProbeDlg::GetURL(CString strServer, CString strPath1, CString strPath2)
{
    // Declared session, connection, request: they close in the reverse
    // order, child first, and only after any report has been shown.
    const InternetHandle session(InternetOpenA("", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr) {
        ReportRequestFailure("InternetOpen", 0);
        return 0;
    }

    const InternetHandle connection(InternetConnectA(session.get(), strServer, kHttpPort, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
    if (connection == nullptr) {
        ReportRequestFailure("InternetConnect", 0);
        return 0;
    }

    const CString object = strPath1 + strPath2;
    const InternetHandle request(
        HttpOpenRequestA(connection.get(), "GET", object, nullptr, nullptr, nullptr, kRequestFlags, 0));
    if (request == nullptr) {
        ReportRequestFailure("HttpOpenRequest", 0);
        return 0;
    }

    if (HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0) == FALSE) {
        ReportRequestFailure("HttpSendRequest", 0);
        return 0;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &statusSize,
                       nullptr) == FALSE) {
        return 0;
    }
    if (status != 200) {
        return static_cast<int>(status);
    }

    // One read: the box shows what it delivered, up to the first zero byte.
    std::array<char, kBodyBufferSize> body{};
    DWORD bytesRead = 0;
    static_cast<void>(InternetReadFile(request.get(), body.data(), static_cast<DWORD>(body.size() - 1), &bytesRead));
    AfxMessageBox(body.data(), MB_OK, 0);
    return 200;
}
