// The dialog's side of the framework probe: its probe member and the handler
// of the "Connect With Winsock" button.
#include <utility>

#include "app/probe_dlg.h"
#include "framework_probe/get_web_file.h"
#include "target_host.h"

int CProbeDlg::GetWebFile(LPCSTR agent, LPCSTR server, INTERNET_PORT port, CString object)
{
    return dravenlok::framework_probe::GetWebFile(agent, server, port, std::move(object));
}

void CProbeDlg::OnConnectWinsock()
{
    // The probe runs on the application's main window, which is this
    // dialog; a dialog running without being the main window uses itself.
    auto* dialog = dynamic_cast<CProbeDlg*>(AfxGetMainWnd());
    if (dialog == nullptr) {
        dialog = this;
    }
    const int result = dialog->GetWebFile("GetWebFile", kTargetHost, INTERNET_DEFAULT_HTTP_PORT, "/");
    if (result != 200) {
        CString text;
        text.Format("HTTP Error Code - %d", result);
        AfxMessageBox(text, MB_OK, 0);
    }
}
