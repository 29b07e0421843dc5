// Seams of the internet layer for tests: they let a test make one named call
// fail and look at which handles are open. Product code never calls them.
#pragma once

#include <cstddef>

#include "platform/win32/win32.h"

namespace dravenlok::wininet::testing {

enum class Call {
    InternetOpen,
    InternetConnect,
    HttpOpenRequest,
    HttpAddRequestHeaders,
    HttpSendRequest,
    HttpQueryInfo,
    InternetReadFile,
    InternetAttemptConnect,
};

// The next call of that kind (on any thread) fails with `code` as last error,
// before it does anything else. One shot.
void FailNextCall(Call call, DWORD code);
// Forgets any pending failure.
void ClearInjectedFailures();

// Handles of every level that are open now (opened and not yet closed).
[[nodiscard]] std::size_t OpenHandleCount();

}  // namespace dravenlok::wininet::testing
