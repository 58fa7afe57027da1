#pragma once

#include <curl/curl.h>
#include <memory>

namespace velquist {

// The one owner type for libcurl easy handles: every transfer of the network layer makes
// its handle through this, so none can leak on an early return.
struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

inline CurlEasy MakeCurlEasy() {
    return CurlEasy(curl_easy_init());
}

} // namespace velquist
