// The main dialog: three buttons, each running one probe of the target host
// and showing its outcome in a message box.
#pragma once

#include "app/resource.h"
#include "platform/mfc/framework.h"
#include "platform/wininet/wininet.h"

class CProbeDlg : public CDialog {
public:
    // Template IDD_PROBE_DIALOG; loads the icon IDR_MAINFRAME (null when the
    // resource module has none: the window then shows no icon).
    explicit CProbeDlg(CWnd* parent = nullptr);
    ~CProbeDlg() override;

    // The direct probe (wininet_probe/direct_probe.cpp): a GET of strPath1 +
    // strPath2 from strServer on port 80, step by step through the internet
    // library. Shows the first read of a 200 answer's body, or one report
    // for the step that failed. Answers the HTTP status, 0 when none came.
    int GetURL(CString strServer, CString strPath1, CString strPath2);

    // The framework probe (framework_probe/): a GET of `object` from
    // server:port through the framework's internet session classes, with one
    // redirect followed by hand. Answers the final HTTP status, 0 when the
    // exchange broke off.
    int GetWebFile(LPCSTR agent, LPCSTR server, INTERNET_PORT port, CString object);

    // Command handlers of the three buttons.
    void OnConnectWinInet();   // 1000: GetURL(target host, "", "")          (app/probe_dlg.cpp)
    void OnConnectWinsock();   // 1002: GetWebFile on the main window      (framework_probe/)
    void OnConnectWinInet2();  // 1003: RunClientProbe()                    (http_client/)

    // Painting of the minimized window: the icon centred in the client area.
    void OnPaint();
    // The image shown while the minimized window is dragged: the icon.
    [[nodiscard]] HCURSOR OnQueryDragIcon();

    BOOL OnInitDialog() override;

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* exchange) override;

    HICON m_hIcon;
};
