// Whether WebKit's engine can start here. WebKit ends the whole process with a fatal error
// when its helper programs are missing, before any signal reaches us, so we look first.
#pragma once

#include <optional>
#include <string>

// The reason the engine cannot start, or nullopt when its helpers are in place.
std::optional<std::string> web_engine_problem();
