// What the benchmarks fetch, and from where. The server runs inside the
// benchmark's private network namespace, where the hosts file maps the
// target host to 127.0.0.1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravenlok::bench {

inline constexpr char kServerAddress[] = "127.0.0.1";
inline constexpr std::uint16_t kServerPort = 80;

inline constexpr char kSmallPath[] = "/1k";
inline constexpr std::size_t kSmallBody = 1024;
inline constexpr char kLargePath[] = "/100k";
inline constexpr std::size_t kLargeBody = 100 * 1024;
inline constexpr char kUploadPath[] = "/upload";
inline constexpr std::size_t kUploadFile = 1024 * 1024;
inline constexpr char kUploadAnswer[] = "stored\n";
// What the dialog's own buttons fetch ("/"): the large body, so that the
// memory figures include the largest boxes the probes show.
inline constexpr std::size_t kRootBody = kLargeBody;

}  // namespace dravenlok::bench
