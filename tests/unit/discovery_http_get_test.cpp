// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "discovery/tools_net.h"
#include "support/raw_http_server.h"

namespace camlift {
namespace {

TEST(DiscoveryHttpGet, BodyAuthorisationAndErrors) {
  test::TRawHttpServer server([](const std::string& request) {
    if (request.find("GET /missing") == 0) return test::HttpReply(404, "Not Found", "nope");
    if (request.find("GET /silent") == 0) {
      test::RawReply silent;
      silent.never_answer = true;
      return silent;
    }
    return test::HttpReply(200, "OK", "var sys_ver=\"1.2\";");
  });
  std::string text;
  ASSERT_TRUE(TTools_Net::HttpGet(server.url("/get_params.cgi"), text, 2000, "", ""));
  EXPECT_EQ("var sys_ver=\"1.2\";", text);
  EXPECT_EQ(std::string::npos, server.requests().back().find("Authorization"));

  ASSERT_TRUE(TTools_Net::HttpGet(server.url("/x"), text, 2000, "admin", "p:w"));
  // "admin:p:w" in Base64.
  EXPECT_NE(std::string::npos,
            server.requests().back().find("Authorization: Basic YWRtaW46cDp3\r\n"));

  text = "stale";
  EXPECT_FALSE(TTools_Net::HttpGet(server.url("/missing"), text, 2000, "", ""));
  EXPECT_EQ("", text);
  EXPECT_FALSE(TTools_Net::HttpGet(server.url("/silent"), text, 200, "", ""));
  EXPECT_FALSE(TTools_Net::HttpGet("http://127.0.0.1:1/", text, 500, "", ""));
}

}  // namespace
}  // namespace camlift
