// The framework probe: one HTTP GET through the framework's internet classes,
// with the session's connect time-out and retry, a long Accept line, a
// User-Agent line of its own and at most one redirect (301, 302, 303)
// followed by hand.
#pragma once

#include <cstddef>

#include "platform/mfc/cstring.h"
#include "platform/wininet/wininet.h"

class CInternetSession;

namespace dravenlok::framework_probe {

// Session options, set in this order on every session of the probe.
inline constexpr DWORD kConnectTimeoutMs = 30000;
inline constexpr DWORD kConnectBackoffMs = 1000;
inline constexpr DWORD kConnectRetries = 1;

// The body is read in pieces of at most this many bytes.
inline constexpr unsigned kReadChunk = 1999;
// Reading stops after this many body bytes and what was read is shown: far
// more than any message box can show, and an endless body cannot exhaust
// memory.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;

// Sets the session options above, in their order; their results are not
// examined (a session without them still works, with the layer's defaults).
void ConfigureSession(CInternetSession& session);

// Fetches `object` from `server`:`port`; shows the body of a final 200
// answer, or the internet layer's error text, in a message box. Answers the
// final status, or 0 when the exchange broke off (error, redirect without a
// usable target, unreadable status). Throws CInternetException* only when the
// session cannot be opened.
[[nodiscard]] int GetWebFile(LPCSTR agent, LPCSTR server, INTERNET_PORT port, CString object);

}  // namespace dravenlok::framework_probe
