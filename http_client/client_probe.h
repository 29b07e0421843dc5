// The client probe behind the dialog's "Connect WinInet 2" button.
#pragma once

// One GET of the target host's root through a fresh CHttpClient; shows the
// body, or the system's text for the failing step's code, in a message box.
void RunClientProbe();
