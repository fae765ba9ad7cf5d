// The two assets built into the executable, read-only for the life of the process.
#pragma once

#include <string_view>

std::string_view page_html();  // the page document, UTF-8
std::string_view logo_png();   // the logo's PNG bytes, never decoded here
