// The layer's side of the test seams declared in testing.h.
#pragma once

#include <optional>

#include "platform/win32/win32.h"
#include "platform/wininet/testing.h"

namespace dravenlok::wininet {

// The failure a test asked for on the next call of this kind, taken once.
[[nodiscard]] std::optional<DWORD> TakeInjectedFailure(testing::Call call);

// A time-out or back-off as the layer applies it: the test cap, when one is
// set, bounds it (a value meaning "no limit" is then the cap as well).
[[nodiscard]] DWORD ApplyTimeoutCap(DWORD milliseconds);

// A back-off as the layer applies it: at most the test cap, when one is set.
[[nodiscard]] DWORD ApplyBackoffCap(DWORD milliseconds);

// Counts an attempt at establishing a connection that failed.
void NoteFailedConnectAttempt();

}  // namespace dravenlok::wininet
