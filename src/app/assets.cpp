#include "app/assets.h"

extern "C" const char ov_page_html[], ov_page_html_end[];
extern "C" const char ov_logo_png[], ov_logo_png_end[];

std::string_view page_html() { return {ov_page_html, static_cast<size_t>(ov_page_html_end - ov_page_html)}; }
std::string_view logo_png() { return {ov_logo_png, static_cast<size_t>(ov_logo_png_end - ov_logo_png)}; }
