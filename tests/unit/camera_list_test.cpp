// SPDX-License-Identifier: Apache-2.0
#include "fleet/camera_list.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

TEST(CameraList, CsvWithHeaderCommentsAndDefaults) {
  const auto list = ParseCameraList(
      "ip,port,series,user,password\n"
      "# the hall\n"
      "127.0.0.2,8081,M,root,secret\n"
      "\n"
      "127.0.0.3, 81 ,p\n"
      "127.0.0.4,80,K,,\r\n",
      "admin", "531642");
  ASSERT_TRUE(list.errors.empty()) << list.errors[0];
  ASSERT_EQ(3u, list.cameras.size());
  EXPECT_EQ("127.0.0.2", list.cameras[0].ip);
  EXPECT_EQ(8081, list.cameras[0].port);
  EXPECT_EQ(TSeries::M, list.cameras[0].series);
  EXPECT_EQ("root", list.cameras[0].user);
  EXPECT_EQ("secret", list.cameras[0].password);
  EXPECT_EQ(TSeries::P, list.cameras[1].series);
  EXPECT_EQ("admin", list.cameras[1].user);
  EXPECT_EQ("531642", list.cameras[1].password);
  EXPECT_EQ(TSeries::K, list.cameras[2].series);
  EXPECT_EQ("admin", list.cameras[2].user);
  EXPECT_EQ("", list.cameras[2].password);
}

TEST(CameraList, SearchJsonLines) {
  const auto list =
      ParseCameraList(R"({"type":"R","series":"R","ip":"127.0.0.9","port":8081,"name":"Yard"})"
                      "\n"
                      R"({"type":"P","series":"","ip":"127.0.0.10","port":81})"
                      "\n",
                      "admin", "x");
  ASSERT_EQ(1u, list.cameras.size());
  EXPECT_EQ(TSeries::R, list.cameras[0].series);
  EXPECT_EQ("x", list.cameras[0].password);
  ASSERT_EQ(1u, list.errors.size());
  EXPECT_EQ(0u, list.errors[0].rfind("line 2: ", 0));
}

TEST(CameraList, RefusedLines) {
  struct Case {
    const char* line;
    const char* error_part;
  };
  const Case cases[] = {
      {"127.0.0.2,81", "expected"},
      {"127.0.0.2,81,X", "unknown series"},
      {"camera.local,81,P", "not an IPv4"},
      {"127.0.0.2,0,P", "port"},
      {"127.0.0.2,70000,P", "port"},
      {"{not json", "JSON"},
      {R"({"ip":"127.0.0.2","port":"81","series":"P"})", "wrong type"},
      {R"({"ip":7,"series":"P"})", "wrong type"},
      {R"({"ip":"127.0.0.2","series":["P"]})", "wrong type"},
      // A number that is no port never wraps onto another camera's port (2^32 + 81 is not 81).
      {R"({"ip":"127.0.0.2","port":4294967377,"series":"P"})", "port out of range"},
      {R"({"ip":"127.0.0.2","port":-65455,"series":"P"})", "port out of range"},
      {R"({"ip":"127.0.0.2","port":81.5,"series":"P"})", "wrong type"},
      {R"({"ip":"127.0.0.2","port":1e300,"series":"P"})", "wrong type"},
  };
  for (const Case& c : cases) {
    const auto list = ParseCameraList(std::string(c.line) + "\n", "admin", "");
    ASSERT_EQ(1u, list.errors.size()) << c.line;
    EXPECT_NE(std::string::npos, list.errors[0].find(c.error_part)) << list.errors[0];
  }
}

TEST(CameraList, TheSameCameraTwiceIsRefused) {
  const auto list = ParseCameraList("127.0.0.2,81,P\n127.0.0.3,81,P\n127.0.0.2,81,M\n", "a", "");
  EXPECT_EQ(2u, list.cameras.size());
  ASSERT_EQ(1u, list.errors.size());
  EXPECT_NE(std::string::npos, list.errors[0].find("listed twice"));
}

}  // namespace
}  // namespace camlift
