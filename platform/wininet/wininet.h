// The internet client library's calls as the probes use them: session,
// connection and request handles over HTTP, implemented on libcurl's multi
// interface (libcurl stays inside this folder's .cpp files).
//
// Every call is synchronous. A call that fails answers null or FALSE and
// leaves its code in the thread's last error (GetLastError).
#pragma once

#include "platform/win32/win32.h"

struct HINTERNET__;
using HINTERNET = HINTERNET__*;
using INTERNET_PORT = WORD;

// ---- InternetOpenA -------------------------------------------------------------
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;  // http_proxy / no_proxy
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

// ---- InternetConnectA ----------------------------------------------------------
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// ---- Request flags ---------------------------------------------------------------
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_RAW_DATA = 0x40000000;
inline constexpr DWORD INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;
inline constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000;
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
inline constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
inline constexpr DWORD INTERNET_FLAG_FORMS_SUBMIT = 0x00000040;

// ---- HttpAddRequestHeadersA ------------------------------------------------------
inline constexpr DWORD HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// ---- HttpQueryInfoA --------------------------------------------------------------
inline constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_VERSION = 18;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS = 21;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr DWORD HTTP_QUERY_LOCATION = 33;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// ---- HttpSendRequestExA / HttpEndRequestA ---------------------------------------
inline constexpr DWORD HSR_INITIATE = 0x00000008;

struct INTERNET_BUFFERSA {
    DWORD dwStructSize;
    INTERNET_BUFFERSA* Next;
    LPCSTR lpcszHeader;
    DWORD dwHeadersLength;
    DWORD dwHeadersTotal;
    LPVOID lpvBuffer;
    DWORD dwBufferLength;
    DWORD dwBufferTotal;
    DWORD dwOffsetLow;
    DWORD dwOffsetHigh;
};
using LPINTERNET_BUFFERSA = INTERNET_BUFFERSA*;

// ---- InternetSetOptionExA (values are DWORDs, milliseconds for time-outs) ------
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_CONNECT_RETRIES = 3;
inline constexpr DWORD INTERNET_OPTION_CONNECT_BACKOFF = 4;
inline constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

// ---- URLs -------------------------------------------------------------------------
inline constexpr DWORD INTERNET_MAX_HOST_NAME_LENGTH = 256;
inline constexpr DWORD INTERNET_MAX_PATH_LENGTH = 2048;
inline constexpr DWORD INTERNET_MAX_SCHEME_LENGTH = 32;
inline constexpr DWORD INTERNET_MAX_URL_LENGTH = INTERNET_MAX_SCHEME_LENGTH + 4 + INTERNET_MAX_PATH_LENGTH;

inline constexpr DWORD ICU_ESCAPE = 0x80000000;
inline constexpr DWORD ICU_NO_ENCODE = 0x20000000;
inline constexpr DWORD ICU_DECODE = 0x10000000;
inline constexpr DWORD ICU_NO_META = 0x08000000;
inline constexpr DWORD ICU_ENCODE_SPACES_ONLY = 0x04000000;
inline constexpr DWORD ICU_BROWSER_MODE = 0x02000000;

enum INTERNET_SCHEME : int {
    INTERNET_SCHEME_UNKNOWN = -1,
    INTERNET_SCHEME_DEFAULT = 0,
    INTERNET_SCHEME_FTP = 1,
    INTERNET_SCHEME_GOPHER = 2,
    INTERNET_SCHEME_HTTP = 3,
    INTERNET_SCHEME_HTTPS = 4,
    INTERNET_SCHEME_FILE = 5,
    INTERNET_SCHEME_NEWS = 6,
    INTERNET_SCHEME_MAILTO = 7,
};

// A component is skipped when its length is 0; copied into the caller's
// buffer when its pointer is set (the length is then the buffer's size in,
// the text's length out); pointed into the URL when the pointer is null and
// the length is not 0.
struct URL_COMPONENTSA {
    DWORD dwStructSize;
    LPSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPSTR lpszHostName;
    DWORD dwHostNameLength;
    INTERNET_PORT nPort;
    LPSTR lpszUserName;
    DWORD dwUserNameLength;
    LPSTR lpszPassword;
    DWORD dwPasswordLength;
    LPSTR lpszUrlPath;
    DWORD dwUrlPathLength;
    LPSTR lpszExtraInfo;
    DWORD dwExtraInfoLength;
};
using LPURL_COMPONENTSA = URL_COMPONENTSA*;

// ---- Calls ---------------------------------------------------------------------------
HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                        DWORD flags);
HINTERNET InternetConnectA(HINTERNET session, LPCSTR serverName, INTERNET_PORT port,
                           LPCSTR userName, LPCSTR password, DWORD service, DWORD flags,
                           DWORD_PTR context);
HINTERNET HttpOpenRequestA(HINTERNET connection, LPCSTR verb, LPCSTR objectName, LPCSTR version,
                           LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags, DWORD_PTR context);
DWORD InternetAttemptConnect(DWORD reserved);
BOOL HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD headersLength,
                            DWORD modifiers);
BOOL HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength);
BOOL HttpSendRequestExA(HINTERNET request, LPINTERNET_BUFFERSA buffersIn,
                        LPINTERNET_BUFFERSA buffersOut, DWORD flags, DWORD_PTR context);
BOOL InternetWriteFile(HINTERNET request, LPCVOID buffer, DWORD bytesToWrite,
                       LPDWORD bytesWritten);
BOOL HttpEndRequestA(HINTERNET request, LPINTERNET_BUFFERSA buffersOut, DWORD flags,
                     DWORD_PTR context);
BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index);
BOOL InternetReadFile(HINTERNET request, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead);
BOOL InternetGetLastResponseInfoA(LPDWORD error, LPSTR buffer, LPDWORD bufferLength);
BOOL InternetSetOptionExA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength,
                          DWORD flags);
BOOL InternetQueryOptionA(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bufferLength);
BOOL InternetCanonicalizeUrlA(LPCSTR url, LPSTR buffer, LPDWORD bufferLength, DWORD flags);
BOOL InternetCrackUrlA(LPCSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTSA components);
BOOL InternetCloseHandle(HINTERNET handle);
