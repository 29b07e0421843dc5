// Defaults and limits of the internet layer, in one place.
#pragma once

#include <cstddef>

#include "platform/win32/win32.h"

namespace dravenlok::wininet {

// Time-outs are in milliseconds. 0 and 0xFFFFFFFF both mean "no limit of our
// own" (for the connect time-out curl's built-in limit of 300 s then applies).
inline constexpr DWORD kNoTimeLimit = 0xFFFFFFFF;

// Each attempt at establishing the TCP connection (name lookup included).
inline constexpr DWORD kDefaultConnectTimeoutMs = 60000;
// Further attempts after one that was refused or timed out; a probe should
// report an unreachable host promptly, so none by default.
inline constexpr DWORD kDefaultConnectRetries = 0;
// Wait between two connection attempts.
inline constexpr DWORD kDefaultConnectBackoffMs = 0;
// Longest time without progress while the request (and its body) goes out.
inline constexpr DWORD kDefaultSendTimeoutMs = 30000;
// Longest time without a byte from the server while waiting for the response
// or for body data.
inline constexpr DWORD kDefaultReceiveTimeoutMs = 30000;

// A response whose header blocks (interim 1xx blocks included) exceed this is
// rejected as an invalid server response rather than buffered.
inline constexpr std::size_t kMaxResponseHeaderBytes = 256 * 1024;
// curl's receive buffer (CURLOPT_BUFFERSIZE): the most one socket read pulls,
// so a small read of a large body takes little more than it asks for. curl's
// own default size: a smaller one costs a socket read, a body callback and
// often a pause and resume of the transfer per piece (1 KB pieces made a
// 100 KB body take three times as long as bare libcurl).
inline constexpr long kReceiveBufferBytes = 16 * 1024;
// InternetGetLastResponseInfoA's text is cut at this many characters.
inline constexpr std::size_t kMaxResponseInfoChars = 256;

}  // namespace dravenlok::wininet
