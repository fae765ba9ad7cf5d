#include "app/curl_library.h"

#include <dlfcn.h>

#include <mutex>

namespace {

template <class Function>
bool look_up(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

const CurlLibrary* open_curl() {
  // Never closed: the library lives as long as the process, as a linked one would.
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  static CurlLibrary curl;
  decltype(&curl_global_init) global_init = nullptr;
  const bool found = look_up(library, "curl_global_init", global_init) &&
                     look_up(library, "curl_easy_init", curl.easy_init) &&
                     look_up(library, "curl_easy_setopt", curl.easy_setopt) &&
                     look_up(library, "curl_easy_perform", curl.easy_perform) &&
                     look_up(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                     look_up(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                     look_up(library, "curl_slist_append", curl.slist_append) &&
                     look_up(library, "curl_slist_free_all", curl.slist_free_all);
  if (!found) return nullptr;
  // libcurl here is built thread-safe; call_once keeps the other callers out meanwhile.
  // It fails when memory runs out or when the TLS library cannot start: either way no lead
  // can be sent, which the lead answers as it answers a library that is not there.
  if (global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return &curl;
}

}  // namespace

const CurlLibrary* curl_library() {
  static std::once_flag once;
  static const CurlLibrary* curl = nullptr;
  std::call_once(once, [] { curl = open_curl(); });
  return curl;
}
