// SPDX-License-Identifier: Apache-2.0
// A camera asked for by address: the address field's rules, the probe of its pages against
// simulated cameras, and the hand-off of its result from the worker to the UI thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "discovery/manual_probe.h"
#include "discovery/search_engine.h"
#include "platform/timing.h"
#include "r730/r730_search.h"
#include "sim_camera.h"

namespace camlift {
namespace {

using namespace std::chrono_literals;

TEST(ManualAddress, Parsing) {
  struct Case {
    const char* text;
    const char* host;  // nullptr: refused
    std::uint16_t port;
  };
  const Case cases[] = {
      {"192.168.5.20", "192.168.5.20", 80},
      {"  192.168.5.20:8080 ", "192.168.5.20", 8080},
      {"http://cam.local:81/", "cam.local", 81},
      {"", nullptr, 0},
      {"   ", nullptr, 0},
      {"10.0.0.1:0", nullptr, 0},
      {"10.0.0.1:65536", nullptr, 0},
      {"10.0.0.1:80x", nullptr, 0},
      {"10.0.0.1:", nullptr, 0},
      {"10.0.0.1/admin", nullptr, 0},
      {"user@10.0.0.1", nullptr, 0},
      {"-oProxy", nullptr, 0},
      {"a b", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto address = ParseManualAddress(c.text);
    if (!c.host) {
      EXPECT_FALSE(address.has_value()) << c.text;
      continue;
    }
    ASSERT_TRUE(address.has_value()) << c.text;
    EXPECT_EQ(c.host, address->Host);
    EXPECT_EQ(c.port, address->Port);
  }
}

class ManualProbe : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeScaleForTesting(0.05); }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  std::unique_ptr<sim::TSimCamera> Camera(sim::TSimSeries series, const char* ip,
                                          const std::string& password = "",
                                          std::set<sim::TCameraFault> faults = {}) {
    sim::TCameraConfig config;
    config.series = series;
    config.ip = ip;
    config.port = 0;
    config.upload_port = 0;
    config.password = password;
    config.oem = "acme\r\n";
    config.model = "SIM300";
    config.ui_version = "2.1.0.3";
    config.faults = std::move(faults);
    auto camera = std::make_unique<sim::TSimCamera>(config, nullptr);
    camera->Start();
    return camera;
  }

  static TManualAddress At(const sim::TSimCamera& camera) {
    return {camera.config().ip, static_cast<std::uint16_t>(camera.http_port())};
  }

  bool ServeUntil(TLoopDispatcher& ui, const std::function<bool()>& done,
                  std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      ui.ProcessPending();
      if (done()) return true;
      std::this_thread::sleep_for(2ms);
    }
    return done();
  }
};

TEST_F(ManualProbe, PagesGiveNameVersionAndAddress) {
  auto open = Camera(sim::TSimSeries::P, "127.0.0.61");
  const auto record = ProbeAddress(At(*open), 2000);
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(kTypeManual, record->DevType);
  EXPECT_EQ(-1, TypeToSeries(record->DevType));
  EXPECT_EQ("acme", record->DevName);
  EXPECT_EQ("2.1.0.3", record->Version);  // the "v" of series P dropped
  EXPECT_EQ("127.0.0.61", record->IPAddr);
  EXPECT_EQ(open->http_port(), record->DevPort);
  EXPECT_EQ("manual:127.0.0.61:" + std::to_string(open->http_port()), record->DevID);

  // A camera that wants an account is still there; its refused pages name nothing.
  auto locked = Camera(sim::TSimSeries::M, "127.0.0.62", "secret");
  const auto refused = ProbeAddress(At(*locked), 2000);
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ("", refused->DevName);
  EXPECT_EQ("", refused->Version);

  auto silent = Camera(sim::TSimSeries::P, "127.0.0.63", "", {sim::TCameraFault::NotListening});
  EXPECT_FALSE(ProbeAddress({"127.0.0.63", 1}, 500).has_value());
}

TEST_F(ManualProbe, ResultReachesTheUiThreadAndStopDropsIt) {
  auto camera = Camera(sim::TSimSeries::P, "127.0.0.64");
  TLoopDispatcher ui;
  TManualProbe probe(ui);
  const auto ui_thread = std::this_thread::get_id();
  std::vector<std::pair<std::string, std::optional<TDevInfo>>> results;
  const auto keep = [&](const std::string& address, const std::optional<TDevInfo>& record) {
    EXPECT_EQ(ui_thread, std::this_thread::get_id());
    results.emplace_back(address, record);
  };
  const std::string address = "127.0.0.64:" + std::to_string(camera->http_port());
  probe.Start(address, keep);
  ASSERT_TRUE(ServeUntil(ui, [&] { return !results.empty(); }));
  EXPECT_EQ(address, results[0].first);
  ASSERT_TRUE(results[0].second.has_value());
  EXPECT_EQ("acme", results[0].second->DevName);

  // Text that is no address answers at once, without a worker.
  probe.Start("not an address", keep);
  ASSERT_EQ(2u, results.size());
  EXPECT_FALSE(results[1].second.has_value());

  // A camera that never answers: Stop returns at once, and the late result is dropped.
  auto stuck = Camera(sim::TSimSeries::P, "127.0.0.65", "", {sim::TCameraFault::NeverAnswers});
  probe.Start("127.0.0.65:" + std::to_string(stuck->http_port()), keep);
  EXPECT_EQ(1, probe.Running());
  const auto before = std::chrono::steady_clock::now();
  probe.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  probe.WaitDone();
  EXPECT_EQ(2u, results.size());
}

// A camera that answered is asked its series once, by the teller the window hands in: the record
// carries the answer, and the dialog hands it over as the camera's series. Stop ends a question
// still being asked.
TEST_F(ManualProbe, RecordCarriesTheSeriesTheTellerFound) {
  auto camera = Camera(sim::TSimSeries::P, "127.0.0.68");
  TLoopDispatcher ui;
  TManualProbe probe(ui);
  std::vector<std::string> asked;
  std::optional<TDevInfo> record;
  probe.SetSeriesTeller([&](const std::string& host, int port, const TRunControl&) {
    asked.push_back(host + ":" + std::to_string(port));
    return TSeries::M;
  });
  const std::string address = "127.0.0.68:" + std::to_string(camera->http_port());
  probe.Start(address, [&](const std::string&, const std::optional<TDevInfo>& r) { record = r; });
  ASSERT_TRUE(ServeUntil(ui, [&] { return record.has_value(); }));
  EXPECT_EQ(std::vector<std::string>{address}, asked);
  EXPECT_EQ(TSeries::M, record->ProbedSeries);
  EXPECT_EQ(TSeries::M, SeriesOfDevice(*record));
  TDeviceList list;
  list.OnTypedCamera(*record);
  EXPECT_EQ(1, list.Accept().nTYpe);  // M
  // A searched camera's series is its type's, whatever the field says.
  TDevInfo searched = *record;
  searched.DevType = kType8600;
  EXPECT_EQ(TSeries::R, SeriesOfDevice(searched));

  // A silent address is not asked its series.
  asked.clear();
  std::optional<std::string> silent;
  probe.Start("127.0.0.69:1", [&](const std::string& a, const std::optional<TDevInfo>& r) {
    if (!r) silent = a;
  });
  ASSERT_TRUE(ServeUntil(ui, [&] { return silent.has_value(); }));
  EXPECT_TRUE(asked.empty());

  // A teller still asking ends once Stop is called.
  std::atomic<bool> stopped_seen{false};
  probe.SetSeriesTeller([&](const std::string&, int, const TRunControl& control) {
    while (!control.Cancelled()) std::this_thread::sleep_for(5ms);
    stopped_seen = true;
    return TSeries::None;
  });
  probe.Start(address, [](const std::string&, const std::optional<TDevInfo>&) {});
  ASSERT_TRUE(ServeUntil(ui, [&] { return probe.Running() == 1; }));
  probe.Stop();
  probe.WaitDone();
  EXPECT_TRUE(stopped_seen);
}

// Find asks the typed-in address; the row it gives does not expire, as no broadcast refreshes it.
TEST_F(ManualProbe, EngineFindAddsAManualRowThatStays) {
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  auto camera = Camera(sim::TSimSeries::P, "127.0.0.66");
  TLoopDispatcher ui;
  TDeviceList list;
  TSearchPorts ports;
  ports.SetAll(9);  // nobody
  SetR730SearchLocalPort(0);
  TSearchEngine engine(ui, list, R730Client(), nullptr, ports);
  engine.Create();
  engine.SetManualAddress("127.0.0.66:" + std::to_string(camera->http_port()));
  engine.Find();
  ASSERT_TRUE(ServeUntil(ui, [&] { return list.Count() == 1; }));
  EXPECT_EQ(kTypeManual, list.Rows()[0].DevType);
  EXPECT_EQ("manual", RowTexts(list.Rows()[0])[0]);
  for (int i = 0; i < 40; ++i) list.Tick();
  EXPECT_EQ(1u, list.Count());
  EXPECT_TRUE(engine.Diagnostics().UnansweredAddress.empty());

  engine.SetManualAddress("127.0.0.67:1");
  engine.Find();
  EXPECT_TRUE(list.Empty());
  ASSERT_TRUE(ServeUntil(ui, [&] { return engine.ManualProbe().Running() == 0; }));
  ui.ProcessPending();
  EXPECT_EQ("127.0.0.67:1", engine.Diagnostics().UnansweredAddress);
  EXPECT_TRUE(list.Empty());
  engine.Teardown();
  WaitR730SearchesDone(ui);
  SetR730SearchLocalPort(k8600LocalPort);
}

}  // namespace
}  // namespace camlift
