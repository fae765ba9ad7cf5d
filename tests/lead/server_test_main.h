// The one test server that a test program shares: started before its first test, stopped
// after its last.
#pragma once

#include <string>

#include "tls_test_server.h"

const TlsTestServer& test_server();

// The exact bytes a lead with this body puts on the wire to the vendor's service.
std::string expected_lead_request(const std::string& body);
