// The page as the web view receives it: the document with the logo put in as a data URI.
#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view logo_placeholder = "__OV_LOGO_DATA_URI__";

// "data:image/png;base64," and the standard, padded base64 of the bytes.
std::string png_data_uri(std::string_view png);

// Every occurrence of `from` replaced by `to`, left to right, without rescanning.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to);

std::string assemble_page(std::string_view page_html, std::string_view logo_png);

// The web view's profile folder inside the user's cache folder, one separator between.
std::string profile_folder(std::string_view cache_dir);
