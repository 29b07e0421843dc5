#include "app/probe_dlg.h"

#include "target_host.h"

// Each button's click goes to its handler; one line per button. What the map
// does not handle (IDOK, IDCANCEL among it) falls through to CDialog.
BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_CONNECT_WININET, OnConnectWinInet)
    ON_BN_CLICKED(IDC_CONNECT_WINSOCK, OnConnectWinsock)
    ON_BN_CLICKED(IDC_CONNECT_WININET2, OnConnectWinInet2)
END_MESSAGE_MAP()

CProbeDlg::CProbeDlg(CWnd* parent)
    : CDialog(IDD_PROBE_DIALOG, parent), m_hIcon(LoadIconA(AfxGetResourceHandle(), IDR_MAINFRAME))
{
}

CProbeDlg::~CProbeDlg() = default;

void CProbeDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
}

BOOL CProbeDlg::OnInitDialog()
{
    static_cast<void>(CDialog::OnInitDialog());
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    return TRUE;  // the system focuses the first button
}

void CProbeDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    // The icon centred in the client area. Integer division truncates toward
    // zero, so a client narrower than the icon puts it at -15, not -16, for a
    // width of 0.
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect{};
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CProbeDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CProbeDlg::OnConnectWinInet()
{
    static_cast<void>(GetURL(kTargetHost, "", ""));
}
