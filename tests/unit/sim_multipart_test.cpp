// SPDX-License-Identifier: Apache-2.0
// The simulator's strict multipart reader: it must take exactly what an upgrader sends, keep the
// part header block byte for byte, and refuse framing a camera would choke on.
#include "sim_multipart.h"

#include <gtest/gtest.h>

#include <string>

namespace camlift::sim {
namespace {

const std::string kBoundary = "--------20240101120000000";
const std::string kPartHeaders =
    "Content-Transfer-Encoding: binary\r\n"
    "Content-Disposition: form-data; name=\"file\"; filename=\"/opt/camlift/Bin/fw_P.bin\"\r\n"
    "Content-Type: application/x-zip-compressed\r\n";
// File bytes that look like framing: CR LF, a partial delimiter, the boundary without "--".
const std::string kData = std::string("BNEG\r\n--") + "\r\n-" + kBoundary + std::string(1, '\0') +
                          "\r\n--" + kBoundary.substr(0, 10) + "tail";

std::string Body(const std::string& data = kData) {
  return "--" + kBoundary + "\r\n" + kPartHeaders + "\r\n" + data + "\r\n--" + kBoundary + "--\r\n";
}

TEST(SimMultipart, KnownBodyGivesExactHeadersAndData) {
  const std::string body = Body();
  const TParsedMultipart whole = ParseMultipart(kBoundary, body);
  ASSERT_TRUE(whole.ok) << whole.error;
  ASSERT_EQ(1u, whole.parts.size());
  const TPartHeaders& h = whole.parts[0].headers;
  EXPECT_EQ(kPartHeaders, h.raw);
  EXPECT_EQ("file", h.name);
  EXPECT_TRUE(h.has_filename);
  EXPECT_EQ("/opt/camlift/Bin/fw_P.bin", h.filename);
  EXPECT_EQ("application/x-zip-compressed", h.content_type);
  ASSERT_EQ(3u, h.fields.size());
  EXPECT_EQ("Content-Transfer-Encoding", h.fields[0].first);
  EXPECT_EQ(kData, whole.parts[0].data);

  // The same body in every split of pieces gives the same result (delimiters cut anywhere).
  for (std::size_t piece : {1u, 2u, 3u, 7u, 31u, 64u}) {
    std::string headers;
    std::string data;
    TMultipartParser parser(kBoundary, {[&](const TPartHeaders& p) {
                                          headers = p.raw;
                                          return true;
                                        },
                                        [&](std::span<const char> d) {
                                          data.append(d.data(), d.size());
                                          return true;
                                        },
                                        nullptr});
    for (std::size_t at = 0; at < body.size(); at += piece) {
      ASSERT_TRUE(
          parser.Feed(std::span<const char>(body.data() + at, std::min(piece, body.size() - at))))
          << "piece " << piece << ": " << parser.error();
    }
    ASSERT_TRUE(parser.Finish()) << parser.error();
    EXPECT_EQ(kPartHeaders, headers) << "piece " << piece;
    EXPECT_EQ(kData, data) << "piece " << piece;
  }
}

TEST(SimMultipart, EmptyFileAndTwoParts) {
  const TParsedMultipart empty = ParseMultipart(kBoundary, Body(""));
  ASSERT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ("", empty.parts.at(0).data);

  const std::string two =
      "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" +
      kBoundary + "\r\n" + kPartHeaders + "\r\nxyz\r\n--" + kBoundary + "--\r\n";
  const TParsedMultipart parsed = ParseMultipart(kBoundary, two);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  ASSERT_EQ(2u, parsed.parts.size());
  EXPECT_EQ("1", parsed.parts[0].data);
  EXPECT_FALSE(parsed.parts[0].headers.has_filename);
  EXPECT_EQ("xyz", parsed.parts[1].data);
}

TEST(SimMultipart, RefusesLooseFraming) {
  const std::string open = "--" + kBoundary + "\r\n";
  const std::string close = "\r\n--" + kBoundary + "--\r\n";
  struct Case {
    const char* what;
    std::string body;
  } cases[] = {
      {"preamble", "hello\r\n" + Body()},
      {"LF after the opening boundary", "--" + kBoundary + "\n" + kPartHeaders + "\r\nx" + close},
      {"bare LF ends a header line",
       open + "Content-Disposition: form-data; name=\"file\"\nContent-Type: x\r\n\r\nx" + close},
      {"header line without colon", open + "Content-Disposition form-data\r\n\r\nx" + close},
      {"no Content-Disposition", open + "Content-Type: x\r\n\r\nx" + close},
      {"not form-data", open + "Content-Disposition: attachment; name=\"file\"\r\n\r\nx" + close},
      {"no closing boundary", open + kPartHeaders + "\r\nx"},
      {"closing boundary without CR LF", open + kPartHeaders + "\r\nx\r\n--" + kBoundary + "--"},
      {"closing boundary with LF only", open + kPartHeaders + "\r\nx\r\n--" + kBoundary + "--\n"},
      {"epilogue", Body() + "trailer"},
      {"other boundary", "--other\r\n" + kPartHeaders + "\r\nx\r\n--other--\r\n"},
      {"boundary followed by junk", open + kPartHeaders + "\r\nx\r\n--" + kBoundary + "XX\r\n"},
      {"header block without end", open + std::string(kMaxPartHeaderBytes + 10, 'a')},
  };
  for (const Case& c : cases) {
    const TParsedMultipart parsed = ParseMultipart(kBoundary, c.body);
    EXPECT_FALSE(parsed.ok) << c.what;
    EXPECT_FALSE(parsed.error.empty()) << c.what;
  }
}

TEST(SimMultipart, BoundaryFromContentType) {
  struct Case {
    const char* value;
    const char* boundary;  // nullptr: refused
  } cases[] = {
      {"multipart/form-data; boundary=abc", "abc"},
      {"Multipart/Form-Data;boundary=\"a b;c\"", "a b;c"},
      {"multipart/form-data; charset=x; boundary=--xyz--", "--xyz--"},
      {"multipart/form-data", nullptr},
      {"multipart/form-data; boundary=", nullptr},
      {"multipart/mixed; boundary=abc", nullptr},
      {"application/octet-stream", nullptr},
  };
  for (const Case& c : cases) {
    const auto boundary = BoundaryFromContentType(c.value);
    if (c.boundary) {
      ASSERT_TRUE(boundary.has_value()) << c.value;
      EXPECT_EQ(c.boundary, *boundary) << c.value;
    } else {
      EXPECT_FALSE(boundary.has_value()) << c.value;
    }
  }
  EXPECT_FALSE(BoundaryFromContentType("multipart/form-data; boundary=" + std::string(71, 'x')));
}

}  // namespace
}  // namespace camlift::sim
