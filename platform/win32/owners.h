// Owners for the kernel's C handles: one deleter and one unique_ptr alias per
// handle type, so every way out of an operation releases what it took.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/win32/files.h"
#include "platform/win32/registry.h"
#include "platform/win32/win32.h"

namespace dravenlok::win32 {

struct LocalFreeDeleter {
    void operator()(char* block) const noexcept { LocalFree(block); }
};
// A LocalAlloc block of bytes or text (FormatMessageA's allocated texts too).
using LocalBlock = std::unique_ptr<char, LocalFreeDeleter>;

// LocalAlloc(LPTR, bytes) as a LocalBlock; empty when the allocation fails
// (the last error then says why).
[[nodiscard]] inline LocalBlock AllocateZeroed(std::size_t bytes)
{
    return LocalBlock(static_cast<char*>(LocalAlloc(LPTR, bytes)));
}

struct FileCloser {
    void operator()(void* file) const noexcept { CloseHandle(file); }
};
// An open file; holds only valid handles (never INVALID_HANDLE_VALUE).
using FileHandle = std::unique_ptr<void, FileCloser>;

struct RegKeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using RegKey = std::unique_ptr<HKEY__, RegKeyCloser>;

}  // namespace dravenlok::win32
