#include "webdriver/curl_api.h"

#include <dlfcn.h>

#include <memory>
#include <string>

#include "platform/debug_output.h"

namespace tarnvex::webdriver {
namespace {

// The library's ABI name, as the dynamic linker would have looked it up.
constexpr const char* kLibraryName = "libcurl.so.4";

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

std::unique_ptr<CurlApi> Load() {
  void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    DebugOutput(std::string("libcurl could not be loaded: ") + (why ? why : kLibraryName));
    return nullptr;
  }
  auto api = std::make_unique<CurlApi>();
  decltype(&curl_global_init) global_init = nullptr;
  const bool bound = Bind(library, "curl_global_init", global_init) &&
                     Bind(library, "curl_easy_init", api->easy_init) &&
                     Bind(library, "curl_easy_setopt", api->easy_setopt) &&
                     Bind(library, "curl_easy_cleanup", api->easy_cleanup) &&
                     Bind(library, "curl_multi_init", api->multi_init) &&
                     Bind(library, "curl_multi_cleanup", api->multi_cleanup) &&
                     Bind(library, "curl_multi_add_handle", api->multi_add_handle) &&
                     Bind(library, "curl_multi_remove_handle", api->multi_remove_handle) &&
                     Bind(library, "curl_multi_perform", api->multi_perform) &&
                     Bind(library, "curl_multi_info_read", api->multi_info_read) &&
                     Bind(library, "curl_multi_poll", api->multi_poll) &&
                     Bind(library, "curl_slist_append", api->slist_append) &&
                     Bind(library, "curl_slist_free_all", api->slist_free_all);
  if (!bound) {
    DebugOutput(std::string("libcurl lacks a function the WebDriver client needs: ") + kLibraryName);
    return nullptr;
  }
  global_init(CURL_GLOBAL_DEFAULT);
  // The library stays loaded for the rest of the process: handles may live
  // until its end.
  return api;
}

}  // namespace

const CurlApi* Curl() {
  static const std::unique_ptr<CurlApi> api = Load();
  return api.get();
}

}  // namespace tarnvex::webdriver
