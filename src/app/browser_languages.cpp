#include "app/browser_languages.h"

#include <algorithm>
#include <string_view>

std::vector<std::string> browser_languages(const char* const* locale_names) {
  std::vector<std::string> tags;
  for (; *locale_names != nullptr; ++locale_names) {
    // language[_territory][.codeset][@modifier]
    std::string_view name = *locale_names;
    std::string tag(name.substr(0, name.find_first_of(".@")));
    if (tag.empty() || tag == "C" || tag == "POSIX") continue;
    std::replace(tag.begin(), tag.end(), '_', '-');
    if (std::find(tags.begin(), tags.end(), tag) == tags.end()) tags.push_back(std::move(tag));
  }
  return tags;
}
