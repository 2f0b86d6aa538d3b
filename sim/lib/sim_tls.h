// SPDX-License-Identifier: Apache-2.0
// HTTPS for the simulated repository: a test CA of its own, kept in a folder so that the client
// under test can be given its certificate (--ca-file), and a server certificate issued by it for
// the address the repository listens on. Nothing here is meant for anything but tests.
#pragma once

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace camlift::sim {

struct TSslCtxFree {
  void operator()(SSL_CTX* ctx) const;
};
using TSslContext = std::shared_ptr<SSL_CTX>;

// The CA certificate file of the test CA in dir ("ca.pem"; its key is "ca.key").
std::string TestCaFile(const std::string& dir);

// Makes the test CA in dir unless it is there already, issues a server certificate for
// host_name (an IP address goes into the certificate as such, anything else as a DNS name) and
// returns a server context with it. Throws std::runtime_error on failure.
TSslContext MakeTestTlsContext(const std::string& dir, const std::string& host_name);

}  // namespace camlift::sim
