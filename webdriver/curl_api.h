#pragma once
// libcurl, loaded when the first WebDriver request is made rather than when
// the program starts: only action 1 talks to a WebDriver server, and loading
// libcurl with the libraries it pulls in costs every other run milliseconds
// of start-up and megabytes of resident memory.
#include <curl/curl.h>

namespace tarnvex::webdriver {

// The libcurl calls the command transport makes.
struct CurlApi {
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_info_read) multi_info_read;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
};

// The library's calls, loaded and initialised on the first call (thread-safe);
// null when it cannot be loaded, which is then written to the debug output.
const CurlApi* Curl();

}  // namespace tarnvex::webdriver
