// The one place libcurl comes in. Only .cpp files of this folder include it;
// every other header of the layer stays free of curl types.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace dravenlok::wininet {

struct CurlEasyDeleter {
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
};
struct CurlShareDeleter {
    void operator()(CURLSH* share) const noexcept { curl_share_cleanup(share); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlSharePtr = std::unique_ptr<CURLSH, CurlShareDeleter>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// curl_global_init once per process, before the first handle is made
// (curl_global_init is not thread-safe on its own).
void EnsureCurlInitialised();

}  // namespace dravenlok::wininet
