#include "app/root_certificates.h"

#include <cstddef>

extern "C" const char ov_root_certificates[], ov_root_certificates_end[];

std::string_view compiled_in_roots() {
  return {ov_root_certificates, static_cast<std::size_t>(ov_root_certificates_end - ov_root_certificates)};
}
