// A stand-in libcurl.so.4 whose set-up fails with CURLE_FAILED_INIT, as the real one's does
// when its TLS library cannot start. Nothing past the set-up may be reached.
#include <curl/curl.h>

#include <cstdlib>

extern "C" {

int failing_curl_global_init_calls = 0;

CURLcode curl_global_init(long /*flags*/) {
  ++failing_curl_global_init_calls;
  return CURLE_FAILED_INIT;
}

CURL* curl_easy_init() { std::abort(); }
CURLcode curl_easy_setopt(CURL* /*curl*/, CURLoption /*option*/, ...) { std::abort(); }
CURLcode curl_easy_perform(CURL* /*curl*/) { std::abort(); }
CURLcode curl_easy_getinfo(CURL* /*curl*/, CURLINFO /*info*/, ...) { std::abort(); }
void curl_easy_cleanup(CURL* /*curl*/) { std::abort(); }
curl_slist* curl_slist_append(curl_slist* /*list*/, const char* /*text*/) { std::abort(); }
void curl_slist_free_all(curl_slist* /*list*/) { std::abort(); }
}
