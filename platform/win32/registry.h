// The registry read of a file type's "Content Type" value under
// HKEY_CLASSES_ROOT\.ext. Linux keeps that mapping in mime.types (Debian's
// media-types); its extensions become keys, matched case-insensitively as
// registry keys are. Only that one key family and value exist.
#pragma once

#include "platform/win32/win32.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LSTATUS = LONG;

inline const HKEY HKEY_CLASSES_ROOT =
    reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000));  // NOLINT(performance-no-int-to-ptr)
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD REG_SZ = 1;

// Results are Win32 codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA,
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER); the last error is not touched.
LSTATUS RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// The value's data with its terminating zero; ERROR_MORE_DATA (and the needed
// size in *size) when it does not fit.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                         LPBYTE data, LPDWORD size);
LSTATUS RegCloseKey(HKEY key);

namespace dravenlok::win32 {
// Reads the extension table from another file instead of /etc/mime.types
// (tests); an empty path restores the system file. The table is read lazily.
void SetMimeTypesPathForTesting(const char* path);
}  // namespace dravenlok::win32
