#include "platform/win32/testing.h"
#include "platform/win32/win32.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Allocations still to succeed before one fails; negative: none fails.
std::atomic<long> g_allocationsBeforeFailure{-1};

bool ShouldFail() noexcept
{
    long left = g_allocationsBeforeFailure.load();
    while (left >= 0) {
        if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) {
            return left == 0;
        }
    }
    return false;
}

}  // namespace

namespace dravenlok::win32 {

void FailLocalAllocForTesting(long succeedFirst) noexcept
{
    g_allocationsBeforeFailure = succeedFirst;
}

}  // namespace dravenlok::win32

HLOCAL LocalAlloc(UINT flags, std::size_t bytes)
{
    // Sizes beyond what an object may span fail here rather than in the
    // allocator, which under the sanitizers would abort instead of failing.
    if (bytes > static_cast<std::size_t>(PTRDIFF_MAX) || ShouldFail()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A zero-byte block is still a distinct, freeable block.
    const std::size_t size = bytes == 0 ? 1 : bytes;
    void* memory = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return memory;
}

HLOCAL LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}
