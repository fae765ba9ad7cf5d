// The start-up error box: shown without a parent window, waited for, then the process ends.
#pragma once

#include <string>

// Shows the engine failure to the user and, once dismissed, ends the process (non-zero).
[[noreturn]] void fail_web_view_start(const std::string& reason);
