// Prints the page exactly as the web view receives it, logo and all, so that the page
// tests can serve the real document to a browser.
#include <cstdio>

#include "app/assets.h"
#include "app/page_assembly.h"

int main() {
  const std::string page = assemble_page(page_html(), logo_png());
  if (std::fwrite(page.data(), 1, page.size(), stdout) != page.size() || std::fflush(stdout) != 0) {
    std::perror("print-page");
    return 1;
  }
  return 0;
}
