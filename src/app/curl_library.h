// libcurl, opened at the first lead rather than linked into the program: with what it pulls in
// (OpenSSL, GnuTLS through librtmp, p11-kit, LDAP, SSH2, ...) it would cost every start about
// 4.5 MB of memory that a user who sends no lead never uses.
#pragma once

#include <curl/curl.h>

// The entry points the lead exchange uses.
struct CurlLibrary {
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_perform) easy_perform;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
};

// Opens libcurl and runs curl_global_init, once, whichever thread comes first; later callers
// wait until that has finished. Null when the library cannot be opened or set up.
const CurlLibrary* curl_library();
