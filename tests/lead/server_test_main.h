// The one test server that a test program shares: started before its first test, stopped
// after its last, with curl_global_init run before any test starts a thread.
#pragma once

#include "tls_test_server.h"

const TlsTestServer& test_server();
