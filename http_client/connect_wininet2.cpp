// The dialog's handler for the "Connect WinInet 2" button: the client probe.
#include "app/probe_dlg.h"
#include "http_client/client_probe.h"

void CProbeDlg::OnConnectWinInet2()
{
    RunClientProbe();
}
