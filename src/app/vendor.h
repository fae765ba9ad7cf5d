// The vendor's values, one of each for the whole program. The page carries the same
// texts; a test reads the page and compares them with these.
#pragma once

#include <string_view>

namespace vendor {

inline constexpr std::string_view contact_number = "0901 234 567";
inline constexpr std::string_view zalo_link = "https://zalo.me/0901234567";
inline constexpr std::string_view service_host = "api.orvanta.vn";
inline constexpr std::string_view site_host = "orvanta.vn";
inline constexpr std::string_view example_phone = "0912345678";

inline constexpr std::string_view window_subtitle = "Bản quyền Windows & Office";
inline constexpr std::string_view window_title = "Orvanta Tool — Bản quyền Windows & Office";
// Plain ASCII, for the manifest and the version block.
inline constexpr std::string_view ascii_subtitle = "Windows & Office licences";
inline constexpr std::string_view company_name = "Orvanta";
inline constexpr std::string_view legal_copyright = "Copyright (C) 2026 Orvanta";

}  // namespace vendor
