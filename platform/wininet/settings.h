// Defaults and limits of the internet layer, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The send and receive time-outs bound each wait on its own, so a server that
// sends (or takes) one byte just before either runs out could hold a caller
// until a size limit is reached: 8191 bytes at 30 s a byte is 68 hours. One
// exchange therefore has a total as well: once its connection is up, the
// calls of the exchange (send, body writes, end of request, body reads) may
// together wait at most this many times the longer of its send and receive
// time-outs as applied; then the waiting call fails with ERROR_INTERNET_TIMEOUT, as if a
// single wait had run out. Connecting is not counted: it has its own
// time-out per attempt and a bounded number of attempts. The caller's own
// time between two calls is not counted either, so a slow reader is never
// cut off for its own pace. With either time-out unlimited there is no total
// (the caller chose to wait without limit). The total is derived, not an
// option of its own: InternetQueryOptionA and InternetSetOptionExA know no
// number for it, and the test cap applies to it through the capped time-outs.
// Ten times leaves a slow but steady answer ample room: 300 s by default,
// time for the largest body a probe takes (1 MiB) at 3.5 KB/s.
inline constexpr DWORD kExchangeLimitFactor = 10;
inline constexpr std::uint64_t kDefaultExchangeLimitMs =
    std::uint64_t{kExchangeLimitFactor} * kDefaultReceiveTimeoutMs;

// The total for time-outs as applied (0 meaning none); 0: no total.
[[nodiscard]] constexpr std::uint64_t ExchangeLimitMs(DWORD sendTimeoutMs,
                                                      DWORD receiveTimeoutMs) noexcept
{
    if (sendTimeoutMs == 0 || receiveTimeoutMs == 0) {
        return 0;
    }
    const DWORD longer = sendTimeoutMs > receiveTimeoutMs ? sendTimeoutMs : receiveTimeoutMs;
    return std::uint64_t{kExchangeLimitFactor} * longer;
}

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
