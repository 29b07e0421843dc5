// Test seams of the kernel services: make an allocation fail on purpose, so
// that callers' out-of-memory paths can be exercised.
#pragma once

namespace dravenlok::win32 {

// Lets the next `succeedFirst` LocalAlloc calls succeed and fails the one
// after them (once) with ERROR_NOT_ENOUGH_MEMORY; a negative count switches
// the injected failure off. Counts calls of every thread.
void FailLocalAllocForTesting(long succeedFirst) noexcept;

}  // namespace dravenlok::win32
