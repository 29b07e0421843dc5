// File services of the Windows API on POSIX descriptors; errno becomes the
// Win32 code (ENOENT -> ERROR_FILE_NOT_FOUND, EACCES -> ERROR_ACCESS_DENIED, ...).
#pragma once

#include "platform/win32/win32.h"

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// INVALID_HANDLE_VALUE with the last error set on failure. Only reading is
// served; GENERIC_WRITE fails with ERROR_NOT_SUPPORTED.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flagsAndAttributes, HANDLE templateFile);
// Low 32 bits of the size; the high 32 bits go to *sizeHigh when it is given.
// INVALID_FILE_SIZE with the last error set on failure (when sizeHigh is null
// a size of exactly 0xFFFFFFFF is reported with ERROR_SUCCESS as last error).
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
// TRUE with *bytesRead 0 at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, void* overlapped);
BOOL CloseHandle(HANDLE handle);
