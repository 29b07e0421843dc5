// The two baselines every probe is measured against, each fetching the same
// resource over a new connection: a plain socket client (the floor: name
// lookup, connect, one request, read to the announced length, close) and a
// bare libcurl easy transfer on a new handle (what any libcurl user pays).
#pragma once

#include <cstddef>
#include <string>

namespace dravenlok::bench {

// Body bytes received, or 0 when the exchange failed.
[[nodiscard]] std::size_t RawGet(const char* host, const char* path);
// Sends `body` (a complete multipart body for `boundary`) as a POST; answers
// the response body's length, 0 on failure.
[[nodiscard]] std::size_t RawPost(const char* host, const char* path, const std::string& boundary,
                                  const std::string& body);

// `out` receives the body (cleared first; the benchmarks pass a new string
// each time, as a new handle is made each time), with room for the
// announced length taken at once; false when curl failed or the status was
// not 200.
[[nodiscard]] bool CurlGet(const std::string& url, std::string& out);
// The body's length only, nothing kept; 0 when curl failed or the status
// was not 200.
[[nodiscard]] std::size_t CurlGetCounted(const std::string& url);
// A multipart/form-data POST of the file at `file` as field `field`, as a
// libcurl user writes it (curl_mime_filedata).
[[nodiscard]] bool CurlPostFile(const std::string& url, const char* field, const char* file, std::string& out);

}  // namespace dravenlok::bench
