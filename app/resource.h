// Resource identifiers of the application.
#pragma once

inline constexpr int IDR_MAINFRAME = 128;         // icon group: 32 x 32 and 16 x 16, 16 colours
inline constexpr int IDD_PROBE_DIALOG = 102;      // the main dialog
inline constexpr int IDC_CONNECT_WININET = 1000;  // "Connect With WinInet": the direct probe
inline constexpr int IDC_CONNECT_WINSOCK = 1002;  // "Connect With Winsock": the framework probe
inline constexpr int IDC_CONNECT_WININET2 = 1003; // "Connect WinInet 2": the client probe
