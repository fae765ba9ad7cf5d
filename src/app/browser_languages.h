// The web view's preferred languages, from the user's locale: what the page reads as
// navigator.language and navigator.languages.
#pragma once

#include <string>
#include <vector>

// Locale names as GLib gives them (g_get_language_names: "vi_VN.UTF-8", "vi_VN", "vi", "C")
// as language tags: codeset and modifier dropped, "_" as "-", "C" and "POSIX" left out,
// each tag once, in the order given. Empty when nothing is left.
std::vector<std::string> browser_languages(const char* const* locale_names);
