// SPDX-License-Identifier: Apache-2.0
// The simulated camera's answer to an upload, decided without sockets: which fault of the
// request wins, what the record line says, and when the camera restarts.
#include "sim_upload_verdict.h"

#include <gtest/gtest.h>

namespace camlift::sim {
namespace {

// A request that the camera accepts: whole, well framed, with the right account and a system
// firmware of series P.
TUploadReceipt Good() {
  TUploadReceipt r;
  r.read_all = true;
  r.content_type = "multipart/form-data; boundary=--------121212121212";
  r.has_boundary = true;
  r.framing_ok = true;
  r.has_file_part = true;
  r.account_ok = true;
  r.firmware = TSimFirmwareInfo{TSimSeries::P, TFirmwareKind::System, "1.2.4.0"};
  return r;
}

TCameraConfig Camera(std::set<TCameraFault> faults = {}) {
  TCameraConfig c;
  c.series = TSimSeries::P;
  c.faults = std::move(faults);
  return c;
}

std::string Header(const TUploadVerdict& v, const std::string& name) {
  for (const auto& [key, value] : v.headers) {
    if (key == name) return value;
  }
  return "(none)";
}

TEST(SimUploadVerdict, EachReceiptGetsItsAnswer) {
  struct Case {
    const char* what;
    TUploadReceipt received;
    std::set<TCameraFault> faults;
    TFirmwareKind cgi;
    int status;
    const char* note;
    const char* error;  // nullptr: none recorded
    const char* body_part;
    bool restart;
  };
  auto with = [](auto change) {
    TUploadReceipt r = Good();
    change(r);
    return r;
  };
  const TFirmwareKind sys = TFirmwareKind::System;
  const Case cases[] = {
      {"accepted", Good(), {}, sys, 200, "", nullptr, "Upgrade succeeded.", true},
      {"body cut short",
       with([](auto& r) { r.read_all = false; }),
       {},
       sys,
       400,
       "the body could not be read to its end",
       nullptr,
       "",
       false},
      {"not multipart",
       with([](auto& r) {
         r.has_boundary = false;
         r.framing_ok = false;
         r.content_type = "text/plain";
       }),
       {},
       sys,
       400,
       "malformed upload body",
       "Content-Type is not multipart/form-data with a boundary: text/plain",
       "bad request",
       false},
      {"framing broken",
       with([](auto& r) {
         r.framing_ok = false;
         r.framing_error = "no closing boundary";
       }),
       {},
       sys,
       400,
       "malformed upload body",
       "no closing boundary",
       "bad request",
       false},
      {"no file part",
       with([](auto& r) { r.has_file_part = false; }),
       {},
       sys,
       400,
       "malformed upload body",
       "no part named \"file\"",
       "bad request",
       false},
      {"wrong account",
       with([](auto& r) { r.account_ok = false; }),
       {},
       sys,
       401,
       "wrong account",
       nullptr,
       "401 Unauthorized",
       false},
      // The account decides the answer; the body's fault still goes into the record.
      {"wrong account and no file part",
       with([](auto& r) {
         r.account_ok = false;
         r.has_file_part = false;
       }),
       {},
       sys,
       401,
       "wrong account",
       "no part named \"file\"",
       "401 Unauthorized",
       false},
      {"redirect-upload",
       Good(),
       {TCameraFault::RedirectUpload},
       sys,
       302,
       "fault redirect-upload",
       nullptr,
       "Moved",
       false},
      // A malformed body is refused before the redirect fault is looked at.
      {"redirect-upload, no file part",
       with([](auto& r) { r.has_file_part = false; }),
       {TCameraFault::RedirectUpload},
       sys,
       400,
       "malformed upload body",
       "no part named \"file\"",
       "bad request",
       false},
      {"not a firmware file",
       with([](auto& r) { r.firmware.reset(); }),
       {},
       sys,
       400,
       "not a firmware file of this camera",
       "not a firmware file of this camera",
       "firmware check failed",
       false},
      {"firmware of series R",
       with([](auto& r) { r.firmware->series = TSimSeries::R; }),
       {},
       sys,
       400,
       "firmware of another series or kind",
       "firmware of another series or kind",
       "firmware check failed",
       false},
      {"system file to the UI CGI",
       Good(),
       {},
       TFirmwareKind::Ui,
       400,
       "firmware of another series or kind",
       "firmware of another series or kind",
       "firmware check failed",
       false},
      // Faults of the restart change nothing in the answer.
      {"old-version",
       Good(),
       {TCameraFault::OldVersion, TCameraFault::NeverReturns},
       sys,
       200,
       "",
       nullptr,
       "Upgrade succeeded.",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TUploadVerdict v = JudgeUpload(c.received, Camera(c.faults), c.cgi, true);
    EXPECT_EQ(c.status, v.status);
    EXPECT_EQ(c.note, v.note);
    if (c.error) {
      EXPECT_EQ(std::optional<std::string>(c.error), v.error);
    } else {
      EXPECT_EQ(std::nullopt, v.error);
    }
    EXPECT_NE(std::string::npos, v.body.find(c.body_part)) << v.body;
    EXPECT_EQ(c.restart, v.restart);
  }
}

TEST(SimUploadVerdict, HeadersOfRefusalAndRedirect) {
  TUploadReceipt refused = Good();
  refused.account_ok = false;
  // A camera with Basic authentication challenges; one with the account in the query does not.
  EXPECT_EQ(
      "Basic realm=\"ipcamera\"",
      Header(JudgeUpload(refused, Camera(), TFirmwareKind::System, true), "WWW-Authenticate"));
  EXPECT_EQ("(none)", Header(JudgeUpload(refused, Camera(), TFirmwareKind::System, false),
                             "WWW-Authenticate"));
  const TUploadVerdict moved =
      JudgeUpload(Good(), Camera({TCameraFault::RedirectUpload}), TFirmwareKind::System, true);
  EXPECT_EQ("/login.htm", Header(moved, "Location"));
  EXPECT_EQ("text/html", moved.content_type);
}

// The record names the firmware only once the camera has looked at the file.
TEST(SimUploadVerdict, FirmwareIsNamedOnlyWhenChecked) {
  TUploadReceipt refused = Good();
  refused.account_ok = false;
  EXPECT_FALSE(JudgeUpload(refused, Camera(), TFirmwareKind::System, true).firmware_checked);
  EXPECT_FALSE(
      JudgeUpload(Good(), Camera({TCameraFault::RedirectUpload}), TFirmwareKind::System, true)
          .firmware_checked);
  EXPECT_TRUE(JudgeUpload(Good(), Camera(), TFirmwareKind::Ui, true).firmware_checked);
  EXPECT_TRUE(JudgeUpload(Good(), Camera(), TFirmwareKind::System, true).firmware_checked);
}

}  // namespace
}  // namespace camlift::sim
