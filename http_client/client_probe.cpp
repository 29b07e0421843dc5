// The client probe: a GET of "http://<target host>/" through a CHttpClient
// that lives in this frame, and one message box with the outcome.
#include "http_client/client_probe.h"

#include <cstring>
#include <string>

#include "http_client/http_client.h"
#include "platform/mfc/cstring.h"
#include "platform/mfc/message_box.h"
#include "target_host.h"

namespace {

constexpr char kAgent[] = "TALVIK(0.9/;p)";

}  // namespace

void RunClientProbe()
{
    CHttpClient client;  // about 200 KB, held in this frame for one run
    const std::string url = std::string("http://") + kTargetHost + "/";
    if (client.Request(url.c_str(), REQUEST_GET, kAgent) != 0) {
        // The body up to its first zero byte, never past the buffer's end.
        const char* body = client.GetBody();
        const CString text(body, static_cast<int>(strnlen(body, CHttpClient::kBufferSize)));
        AfxMessageBox(text, MB_OK, 0);
        return;
    }

    const DWORD code = client.GetLastErrorCode();
    LPSTR message = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                        nullptr, code, LANG_USER_DEFAULT,
                                        reinterpret_cast<LPSTR>(&message), 0, nullptr);
    // Released once its box has closed.
    const dravenlok::win32::LocalBlock owner(message);
    if (length != 0 && message != nullptr) {
        AfxMessageBox(message, MB_OK, 0);
        return;
    }
    // The system has no text for this code: the code itself still tells
    // the user what to look up.
    CString fallback;
    fallback.Format("Error %lu", static_cast<unsigned long>(code));
    AfxMessageBox(fallback, MB_OK, 0);
}
