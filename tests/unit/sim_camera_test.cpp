// SPDX-License-Identifier: Apache-2.0
// The simulated cameras: pages behind the right account, uploads taken strictly and recorded,
// the restart window, and the fault switches the upgrade engine's tests lean on.
#include "sim_camera.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/timing.h"
#include "sim_firmware.h"
#include "util/base64.h"

namespace camlift::sim {
namespace {

using Clock = std::chrono::steady_clock;

TCameraConfig Config(TSimSeries series, const std::string& ip) {
  TCameraConfig c;
  c.series = series;
  c.ip = ip;
  c.port = 0;
  c.upload_port = 0;
  c.user = "admin";
  c.password = "s3cret";
  c.sys_version = "1.2.3.4";
  c.ui_version = "2.1.0.3";
  c.model = "X100";
  c.oem = "acme";
  c.reboot_ms = 4000;
  return c;
}

httplib::Headers Basic(const std::string& user, const std::string& password) {
  return {{"Authorization", "Basic " + Base64EncodeOneLine(user + ":" + password)}};
}

// An upload body exactly as the upgraders put it on the wire.
struct Upload {
  std::string boundary = "--------121212121212";
  std::string part_headers;
  std::string body;
};
Upload MakeUpload(const std::string& file_bytes, const std::string& part_type) {
  Upload u;
  u.part_headers =
      "Content-Transfer-Encoding: binary\r\n"
      "Content-Disposition: form-data; name=\"file\"; filename=\"/home/u/Bin/fw.bin\"\r\n"
      "Content-Type: " +
      part_type + "\r\n";
  u.body = "--" + u.boundary + "\r\n" + u.part_headers + "\r\n" + file_bytes + "\r\n--" +
           u.boundary + "--\r\n";
  return u;
}

std::string Firmware(TSimSeries series, TFirmwareKind kind, const std::string& version,
                     std::size_t size = 3000) {
  std::string bytes = FirmwareHeaderBytes({series, kind, version});
  bytes.resize(std::max(size, bytes.size()), 'x');
  return bytes;
}

class SimCamera : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeScaleForTesting(0.05); }
  void TearDown() override { SetTimeScaleForTesting(-1); }
  std::unique_ptr<TSimCamera> Start(const TCameraConfig& config) {
    auto camera = std::make_unique<TSimCamera>(config, recorder_);
    camera->Start();
    return camera;
  }
  std::shared_ptr<TSimRecorder> recorder_ = std::make_shared<TSimRecorder>();
};

TEST_F(SimCamera, PagesWithRightAndWrongAccount) {
  struct Case {
    TSimSeries series;
    const char* ip;
    const char* status_quote;
    const char* app_ver;
  } cases[] = {{TSimSeries::K, "127.0.0.20", "\"", "v2.1.0.3"},
               {TSimSeries::M, "127.0.0.21", "'", "v2.1.0.3"},
               {TSimSeries::P, "127.0.0.22", "\"", "v2.1.0.3"},
               {TSimSeries::R, "127.0.0.23", "\"", "2.1.0.3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(SeriesText(c.series));
    auto camera = Start(Config(c.series, c.ip));
    httplib::Client client(c.ip, camera->http_port());
    const bool r = c.series == TSimSeries::R;
    const std::string good = r ? "?user=admin&pwd=s3cret" : "";
    const std::string bad = r ? "?user=admin&pwd=wrong" : "";
    const httplib::Headers good_auth = r ? httplib::Headers{} : Basic("admin", "s3cret");
    const httplib::Headers bad_auth = r ? httplib::Headers{} : Basic("admin", "wrong");

    auto oem = client.Get("/oem.txt" + good, good_auth);
    ASSERT_TRUE(oem);
    EXPECT_EQ(200, oem->status);
    EXPECT_EQ("acme", oem->body);
    // The record line is there by the time the answer is.
    EXPECT_EQ("/oem.txt" + good, recorder_->Entries().back()["target"]);
    EXPECT_EQ(404, client.Get("/nothing.htm")->status);
    EXPECT_EQ(404, recorder_->Entries().back()["status"]);
    auto appver = client.Get("/appver.js" + good, good_auth);
    ASSERT_TRUE(appver);
    EXPECT_EQ(std::string("var app_model=\"X100\";\nvar app_ver=\"") + c.app_ver + "\";\n",
              appver->body);
    auto status = client.Get("/get_status.cgi" + good);
    ASSERT_TRUE(status);
    EXPECT_EQ(200, status->status);
    const std::string q = c.status_quote;
    EXPECT_NE(std::string::npos, status->body.find("var sys_ver=" + q + "1.2.3.4" + q + ";"));
    EXPECT_NE(std::string::npos, status->body.find("var app_ver=" + q + "2.1.0.3" + q + ";"));

    for (const std::string page : {"/oem.txt", "/appver.js"}) {
      auto refused = client.Get(page + bad, bad_auth);
      ASSERT_TRUE(refused);
      EXPECT_EQ(401, refused->status) << page;
      // Series R says its refusal as its configuration CGIs do, with that text alone.
      if (r) {
        EXPECT_EQ("Auth Failed", refused->body) << page;
      } else {
        EXPECT_NE(std::string::npos, refused->body.find("Unauthorized")) << page;
      }
      auto anonymous = client.Get(page);
      ASSERT_TRUE(anonymous);
      EXPECT_EQ(401, anonymous->status) << page;
    }
    // The status page is open for K, M and P, behind the query account for R.
    EXPECT_EQ(r ? 401 : 200, client.Get("/get_status.cgi")->status);
    if (r) {
      httplib::Client upload_port(c.ip, camera->upload_port());
      auto s = upload_port.Get("/get_Status.cgi?user=admin&pwd=s3cret");
      ASSERT_TRUE(s);
      EXPECT_NE(std::string::npos, s->body.find("var sys_ver=\"1.2.3.4\";"));
      EXPECT_EQ(401, upload_port.Get("/get_Status.cgi?user=admin&pwd=")->status);
      // Query values arrive percent-encoded.
      TCameraConfig odd = Config(TSimSeries::R, "127.0.0.24");
      odd.password = "a&b c";
      auto odd_camera = Start(odd);
      httplib::Client odd_client("127.0.0.24", odd_camera->http_port());
      EXPECT_EQ(200, odd_client.Get("/oem.txt?user=admin&pwd=a%26b%20c")->status);
    }
  }
  const auto entries = recorder_->Entries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ("/oem.txt", entries.front()["target"]);
  EXPECT_EQ(200, entries.front()["status"]);
  EXPECT_EQ(0u, entries.front()["head"].get<std::string>().rfind("GET /oem.txt HTTP/1.1\r\n", 0));
}

TEST_F(SimCamera, UploadRecordedAndRestartWindow) {
  TCameraConfig config = Config(TSimSeries::P, "127.0.0.25");
  auto camera = Start(config);
  httplib::Client client("127.0.0.25", camera->http_port());
  const Upload upload = MakeUpload(Firmware(TSimSeries::P, TFirmwareKind::System, "1.2.4.0"),
                                   "application/x-zip-compressed");

  // A wrong account is refused after the body has been read, and nothing restarts.
  auto refused = client.Post("/cgi-bin/upgrade_firmware.cgi", Basic("admin", "no"), upload.body,
                             "multipart/form-data; boundary=" + upload.boundary);
  ASSERT_TRUE(refused);
  EXPECT_EQ(401, refused->status);

  auto answer = client.Post("/cgi-bin/upgrade_firmware.cgi", Basic("admin", "s3cret"), upload.body,
                            "multipart/form-data; boundary=" + upload.boundary);
  const auto answered = Clock::now();
  ASSERT_TRUE(answer);
  EXPECT_EQ(200, answer->status);
  // Right after its answer the camera stops answering ...
  httplib::Client probe("127.0.0.25", camera->http_port());
  probe.set_connection_timeout(std::chrono::milliseconds(100));
  EXPECT_FALSE(probe.Get("/get_status.cgi"));
  // ... for reboot_ms scaled (4000 ms x 0.05 = 200 ms), then reports the new version.
  ASSERT_TRUE(camera->WaitUntilUp(5000));
  const auto away = Clock::now() - answered;
  EXPECT_GE(away, std::chrono::milliseconds(190));
  EXPECT_LT(away, std::chrono::milliseconds(3000));
  auto status = probe.Get("/get_status.cgi");
  ASSERT_TRUE(status);
  EXPECT_NE(std::string::npos, status->body.find("var sys_ver=\"1.2.4.0\";"));
  EXPECT_EQ(1, camera->state().upgrades);

  const auto entries = recorder_->Entries();
  ASSERT_GE(entries.size(), 2u);
  const nlohmann::json& bad = entries[0];
  EXPECT_EQ(401, bad["status"]);
  EXPECT_FALSE(bad["upload"]["accepted"]);
  const nlohmann::json& good = entries[1];
  EXPECT_EQ("/cgi-bin/upgrade_firmware.cgi", good["target"]);
  EXPECT_EQ(200, good["status"]);
  const nlohmann::json& u = good["upload"];
  EXPECT_EQ(upload.part_headers, u["part_headers"]);
  EXPECT_EQ("/home/u/Bin/fw.bin", u["filename"]);
  EXPECT_EQ(3000, u["size"]);
  EXPECT_EQ(true, u["framing_ok"]);
  EXPECT_EQ(true, u["accepted"]);
  EXPECT_EQ("1.2.4.0", u["firmware"]["version"]);
  bool content_type_as_sent = false;
  for (const auto& h : good["headers"]) {
    if (h[0] == "Content-Type") {
      content_type_as_sent = h[1] == "multipart/form-data; boundary=" + upload.boundary;
    }
  }
  EXPECT_TRUE(content_type_as_sent);
}

TEST_F(SimCamera, UploadCgisOfEachSeries) {
  struct Case {
    TSimSeries series;
    const char* ip;
    std::string path;
    bool basic;
    TFirmwareKind kind;
    bool on_upload_port;
  } cases[] = {
      {TSimSeries::M, "127.0.0.26",
       "/upgrade_firmware.cgi?user=admin&pwd=s3cret&next_url=reboot.htm", false,
       TFirmwareKind::System, false},
      {TSimSeries::M, "127.0.0.26", "/upgrade_htmls.cgi?user=admin&pwd=s3cret&next_url=reboot.htm",
       false, TFirmwareKind::Ui, false},
      {TSimSeries::P, "127.0.0.27", "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm", true,
       TFirmwareKind::Ui, false},
      {TSimSeries::R, "127.0.0.28", "/upgrade_firmware.cgi?loginuse=admin&loginpas=s3cret", false,
       TFirmwareKind::System, true},
      {TSimSeries::R, "127.0.0.28", "/upgrade_htmls.cgi?loginuse=admin&loginpas=s3cret", false,
       TFirmwareKind::Ui, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    TCameraConfig config = Config(c.series, c.ip);
    config.reboot_ms = 0;
    auto camera = Start(config);
    const int port = c.on_upload_port ? camera->upload_port() : camera->http_port();
    httplib::Client client(c.ip, port);
    const httplib::Headers auth = c.basic ? Basic("admin", "s3cret") : httplib::Headers{};
    const std::string type = "multipart/form-data; boundary=--------121212121212";
    // The other kind's file, then the wrong series' file, are refused; the right one is taken.
    const TFirmwareKind other =
        c.kind == TFirmwareKind::System ? TFirmwareKind::Ui : TFirmwareKind::System;
    const TSimSeries other_series = c.series == TSimSeries::P ? TSimSeries::R : TSimSeries::P;
    EXPECT_EQ(400,
              client.Post(c.path, auth, MakeUpload(Firmware(c.series, other, "9"), "x").body, type)
                  ->status);
    EXPECT_EQ(
        400,
        client.Post(c.path, auth, MakeUpload(Firmware(other_series, c.kind, "9"), "x").body, type)
            ->status);
    EXPECT_EQ(200, client
                       .Post(c.path, auth,
                             MakeUpload(Firmware(c.series, c.kind, "7.7.7.7"), "x").body, type)
                       ->status);
    ASSERT_TRUE(camera->WaitUntilUp(5000));
    const TCameraState state = camera->state();
    EXPECT_EQ("7.7.7.7", c.kind == TFirmwareKind::System ? state.sys_version : state.ui_version);
  }
}

TEST_F(SimCamera, Faults) {
  const std::string type = "multipart/form-data; boundary=--------121212121212";
  const std::string path = "/cgi-bin/upgrade_firmware.cgi";
  const std::string body =
      MakeUpload(Firmware(TSimSeries::P, TFirmwareKind::System, "5.0.0.0", 300000), "x").body;
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.29");
    config.faults = {TCameraFault::RedirectUpload};
    auto camera = Start(config);
    httplib::Client client("127.0.0.29", camera->http_port());
    auto answer = client.Post(path, Basic("admin", "s3cret"), body, type);
    ASSERT_TRUE(answer);
    EXPECT_EQ(302, answer->status);
    EXPECT_EQ("/login.htm", answer->get_header_value("Location"));
    EXPECT_EQ(0, camera->state().upgrades);
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.30");
    config.faults = {TCameraFault::CloseMidUpload};
    config.close_after_bytes = 100000;
    auto camera = Start(config);
    httplib::Client client("127.0.0.30", camera->http_port());
    EXPECT_FALSE(client.Post(path, Basic("admin", "s3cret"), body, type));
    const auto entries = recorder_->Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(0, entries.back()["status"]);
    EXPECT_EQ(0, camera->state().upgrades);
  }
  {
    // A slow camera takes the whole upload, no faster than its rate (300000 bytes at 1 MB/s).
    TCameraConfig config = Config(TSimSeries::P, "127.0.9.61");
    config.upload_rate = 1000000;
    auto camera = Start(config);
    httplib::Client client("127.0.9.61", camera->http_port());
    const auto before = Clock::now();
    auto answer = client.Post(path, Basic("admin", "s3cret"), body, type);
    ASSERT_TRUE(answer);
    EXPECT_EQ(200, answer->status);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(290));
    EXPECT_EQ(300000, recorder_->Entries().back()["upload"]["size"]);
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.31");
    config.faults = {TCameraFault::NeverAnswers};
    auto camera = Start(config);
    httplib::Client client("127.0.0.31", camera->http_port());
    client.set_read_timeout(std::chrono::milliseconds(300));
    const auto before = Clock::now();
    EXPECT_FALSE(client.Get("/get_status.cgi"));
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(250));
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.32");
    config.faults = {TCameraFault::NotListening};
    auto camera = Start(config);
    httplib::Client client("127.0.0.32", 81);
    EXPECT_FALSE(client.Get("/get_status.cgi"));
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.33");
    config.faults = {TCameraFault::RejectAccount};
    auto camera = Start(config);
    httplib::Client client("127.0.0.33", camera->http_port());
    EXPECT_EQ(401, client.Get("/oem.txt", Basic("admin", "s3cret"))->status);
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.34");
    config.faults = {TCameraFault::OldVersion};
    config.reboot_ms = 0;
    auto camera = Start(config);
    httplib::Client client("127.0.0.34", camera->http_port());
    EXPECT_EQ(200, client.Post(path, Basic("admin", "s3cret"), body, type)->status);
    ASSERT_TRUE(camera->WaitUntilUp(5000));
    EXPECT_EQ("1.2.3.4", camera->state().sys_version);
  }
  {
    TCameraConfig config = Config(TSimSeries::P, "127.0.0.35");
    config.faults = {TCameraFault::NeverReturns};
    config.reboot_ms = 0;
    auto camera = Start(config);
    httplib::Client client("127.0.0.35", camera->http_port());
    EXPECT_EQ(200, client.Post(path, Basic("admin", "s3cret"), body, type)->status);
    EXPECT_FALSE(camera->WaitUntilUp(300));
  }
  TCameraConfig wildcard = Config(TSimSeries::P, "0.0.0.0");
  TSimCamera refused(wildcard, recorder_);
  EXPECT_THROW(refused.Start(), std::runtime_error);
}

}  // namespace
}  // namespace camlift::sim
