// SPDX-License-Identifier: Apache-2.0
#include "util/multipart_upload.h"

#include <gtest/gtest.h>

#include "support/raw_http_server.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

using test::HeaderLines;
using test::HttpReply;
using test::TRawHttpServer;

std::string Header(const std::string& request, const std::string& name) {
  for (const std::string& line : HeaderLines(request)) {
    if (line.rfind(name + ": ", 0) == 0) return line.substr(name.size() + 2);
  }
  return "<none>";
}

class MultipartFixture : public ::testing::Test {
 protected:
  MultipartFixture() {
    content_ = std::string("BNEG\0\r\n--not-a-boundary\r\n", 25) + std::string(100000, 'x');
    path_ = temp_.path() + "fw.bin";
    test::WriteFile(path_, content_);
  }
  TMultipartRequest Request(const TRawHttpServer& server) const {
    TMultipartRequest r;
    r.url = server.url("/cgi-bin/upgrade_firmware.cgi");
    r.file_path = path_;
    r.part_content_type = "application/x-zip-compressed";
    r.headers = {"Accept: image/gif, */*", "Accept-Encoding: gzip,deflate"};
    r.user_agent = "Mozilla/3.0 (compatible; Indy Library)";
    r.connect_timeout_ms = 2000;
    r.read_timeout_ms = 2000;
    return r;
  }
  test::TTempFolder temp_;
  std::string content_;
  std::string path_;
};

TEST_F(MultipartFixture, BodyIsFramedByteForByte) {
  TRawHttpServer server([](const std::string&) { return HttpReply(200, "OK", "ok"); });
  TMultipartRequest request = Request(server);
  request.basic_auth = true;
  request.user = "admin";
  request.password = "531642";
  const TPostResult result = PostMultipartFile(request);
  ASSERT_TRUE(result.ok) << result.error;
  const std::string raw = server.requests().at(0);
  EXPECT_EQ(0u, raw.rfind("POST /cgi-bin/upgrade_firmware.cgi HTTP/1.1\r\n", 0));
  const std::string type = Header(raw, "Content-Type");
  ASSERT_EQ(0u, type.rfind("multipart/form-data; boundary=", 0));
  const std::string boundary = type.substr(30);
  const std::string body = raw.substr(raw.find("\r\n\r\n") + 4);
  const std::string expected = "--" + boundary +
                               "\r\nContent-Transfer-Encoding: binary\r\n"
                               "Content-Disposition: form-data; name=\"file\"; filename=\"" +
                               path_ + "\"\r\nContent-Type: application/x-zip-compressed\r\n\r\n" +
                               content_ + "\r\n--" + boundary + "--\r\n";
  EXPECT_EQ(expected, body);
  EXPECT_EQ(std::to_string(expected.size()), Header(raw, "Content-Length"));
  EXPECT_EQ("Basic YWRtaW46NTMxNjQy", Header(raw, "Authorization"));
  EXPECT_EQ("image/gif, */*", Header(raw, "Accept"));
  EXPECT_EQ("gzip,deflate", Header(raw, "Accept-Encoding"));
  EXPECT_EQ("Mozilla/3.0 (compatible; Indy Library)", Header(raw, "User-Agent"));
  EXPECT_EQ("<none>", Header(raw, "Expect"));
  EXPECT_EQ(std::string::npos, content_.find(boundary));
}

TEST_F(MultipartFixture, NoAuthorizationUnlessAsked) {
  TRawHttpServer server([](const std::string&) { return HttpReply(200, "OK", ""); });
  ASSERT_TRUE(PostMultipartFile(Request(server)).ok);
  EXPECT_EQ("<none>", Header(server.requests().at(0), "Authorization"));
}

TEST_F(MultipartFixture, OutcomeRule) {
  struct Case {
    int status;
    const char* reason;
    bool ok;
    std::string error;
  };
  const Case cases[] = {
      {200, "OK", true, ""},
      {204, "No Content", true, ""},
      {302, "Found", false, "HTTP/1.1 302 Found"},
      {401, "Unauthorized", false, "HTTP/1.1 401 Unauthorized"},
      {500, "Internal Server Error", false, "HTTP/1.1 500 Internal Server Error"}};
  for (const Case& c : cases) {
    TRawHttpServer server([&](const std::string&) {
      return HttpReply(c.status, c.reason, "", "Location: http://127.0.0.1:1/elsewhere\r\n");
    });
    const TPostResult result = PostMultipartFile(Request(server));
    EXPECT_EQ(c.ok, result.ok) << c.status;
    EXPECT_EQ(c.error, result.error) << c.status;
    EXPECT_EQ(1u, server.requests().size());
  }
}

TEST_F(MultipartFixture, SilentCameraEndsWithinTheReadTimeout) {
  TRawHttpServer server([](const std::string&) {
    test::RawReply silent;
    silent.never_answer = true;
    return silent;
  });
  TMultipartRequest request = Request(server);
  request.read_timeout_ms = 300;
  const auto start = std::chrono::steady_clock::now();
  const TPostResult result = PostMultipartFile(request);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(MultipartFixture, UnreachableCameraAndMissingFile) {
  TMultipartRequest request;
  request.url = "http://127.0.0.1:1/upgrade_firmware.cgi";
  request.file_path = path_;
  request.connect_timeout_ms = 1000;
  TPostResult result = PostMultipartFile(request);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.file_error);
  EXPECT_FALSE(result.error.empty());

  request.file_path = temp_.path() + "missing.bin";
  result = PostMultipartFile(request);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.file_error);
}

TEST(Multipart, FileNameQuotesCannotBreakTheHeader) {
  const std::string pre = MultipartPreamble("B", "/tmp/a\"b\r\nc.bin", "x/y");
  EXPECT_NE(std::string::npos, pre.find("filename=\"/tmp/a%22b%0D%0Ac.bin\"\r\n"));
}

}  // namespace
}  // namespace camlift
