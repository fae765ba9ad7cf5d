// The open_url action: hands a web or telephone link to the desktop's default handler.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

// True for links that begin with "https://", "http://" or "tel:", byte for byte.
bool is_openable_link(std::string_view link);

// Always {"ok":true}: whether the link opened is never reported.
nlohmann::json open_url(const nlohmann::json& payload);
