// The public root certificates that the lead request trusts, built into the executable so
// that the machine's own certificate store never decides whom a lead goes to.
#pragma once

#include <string_view>

// Concatenated PEM certificates, read-only for the life of the process.
std::string_view compiled_in_roots();
