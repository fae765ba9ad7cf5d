#include "app/browser_languages.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

struct Row {
  const char* language;  // LANGUAGE, or null for unset
  const char* lang;      // LANG
  std::vector<std::string> tags;
};

const Row rows[] = {
    {nullptr, "vi_VN.UTF-8", {"vi-VN", "vi"}},
    {nullptr, "sr_RS.UTF-8@latin", {"sr-RS", "sr"}},
    {nullptr, "en_US", {"en-US", "en"}},
    {nullptr, "C.UTF-8", {}},
    {nullptr, "POSIX", {}},
    {"fr_FR:de", "vi_VN.UTF-8", {"fr-FR", "fr", "de"}},
};

}  // namespace

// Through GLib's own reading of the environment, as the web view gets it.
TEST(BrowserLanguages, FromTheLocaleAsGLibReadsIt) {
  // NOLINTBEGIN(concurrency-mt-unsafe): the test has the process to itself, on one thread
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (const Row& row : rows) {
    if (row.language) setenv("LANGUAGE", row.language, 1);
    else unsetenv("LANGUAGE");
    setenv("LANG", row.lang, 1);
    EXPECT_EQ(browser_languages(g_get_language_names()), row.tags)
        << "LANGUAGE=" << (row.language ? row.language : "(unset)") << " LANG=" << row.lang;
  }
  // NOLINTEND(concurrency-mt-unsafe)
}

TEST(BrowserLanguages, EmptyNamesAndRepeatsAreLeftOut) {
  const char* names[] = {"", ".UTF-8", "@euro", "de_DE@euro", "de_DE.ISO-8859-15@euro", "de", nullptr};
  EXPECT_EQ(browser_languages(names), (std::vector<std::string>{"de-DE", "de"}));
}
