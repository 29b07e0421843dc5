// Base types, constants and kernel services of the Windows API as the product
// code uses them, implemented on the C++ standard library and POSIX.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Base types --------------------------------------------------------------
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using LPLONG = LONG*;
using LPBYTE = BYTE*;

using HANDLE = void*;
using HLOCAL = void*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline const HANDLE INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));  // NOLINT(performance-no-int-to-ptr)

// ---- Error codes -------------------------------------------------------------
// Every code the platform layer sets as the thread's last error has a text in
// the message table of FormatMessageA (message_table.cpp); the list below is
// that set. Values are those of the Windows API, so reports read the same.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_HANDLE_EOF = 38;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
inline constexpr DWORD ERROR_NO_DATA = 232;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_IO_DEVICE = 1117;
inline constexpr DWORD ERROR_NETWORK_UNREACHABLE = 1231;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;
inline constexpr DWORD ERROR_CANT_RESOLVE_FILENAME = 1921;

// The internet library's own codes (12000 and up).
inline constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_PROTOCOL_NOT_FOUND = 12008;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
inline constexpr DWORD ERROR_INTERNET_OPTION_NOT_SETTABLE = 12011;
inline constexpr DWORD ERROR_INTERNET_SHUTDOWN = 12012;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
inline constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr DWORD ERROR_HTTP_HEADER_ALREADY_EXISTS = 12155;
inline constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;
inline constexpr DWORD ERROR_INTERNET_SERVER_UNREACHABLE = 12164;

// ---- Last error (thread-local) -------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);

// ---- Messages --------------------------------------------------------------------
inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD LANG_NEUTRAL = 0x00;
inline constexpr DWORD LANG_USER_DEFAULT = 0x0400;

// Only FORMAT_MESSAGE_FROM_SYSTEM is served, from our own English message
// table. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really an LPSTR* that
// receives a LocalAlloc'ed text the caller releases with LocalFree; otherwise
// the text is copied into `buffer` of `size` characters. Returns the length of
// the text without its terminator, or 0 with the last error set
// ERROR_MR_MID_NOT_FOUND when there is no text for the code; nothing is then allocated.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, void* arguments);

// The text of the message table for `code`, or nullptr when there is none.
// FormatMessageA is built on it; tests use it to check every code has a text.
[[nodiscard]] const char* SystemMessageText(DWORD code);

// ---- Local memory ------------------------------------------------------------------
inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;
inline constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// Null with ERROR_NOT_ENOUGH_MEMORY when the allocation fails.
HLOCAL LocalAlloc(UINT flags, std::size_t bytes);
// Null on success, as the Windows call answers.
HLOCAL LocalFree(HLOCAL memory);
