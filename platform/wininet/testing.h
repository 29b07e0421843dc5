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
    InternetWriteFile,
    HttpEndRequest,
    InternetSetOption,
    InternetCanonicalizeUrl,
    InternetCrackUrl,
};

// The next call of that kind (on any thread) fails with `code` as last error,
// before it does anything else. One shot. HttpSendRequest stands for both
// HttpSendRequestA and HttpSendRequestExA.
void FailNextCall(Call call, DWORD code);
// Forgets any pending failure.
void ClearInjectedFailures();

// Handles of every level that are open now (opened and not yet closed).
[[nodiscard]] std::size_t OpenHandleCount();

// 0 = no cap. Otherwise every connect, send and receive time-out and every
// connect back-off the layer applies that is longer than `milliseconds` is
// taken as `milliseconds`, so tests can run real settings quickly. The total
// of an exchange, derived from the send and receive time-outs, follows them.
// InternetQueryOptionA still reports the values as they were set.
void CapTimeoutsForTesting(DWORD milliseconds);

// Attempts at establishing a connection that failed (refused or timed out),
// counted over the whole process; a retried connect counts each attempt.
[[nodiscard]] std::size_t FailedConnectAttempts();

}  // namespace dravenlok::wininet::testing
