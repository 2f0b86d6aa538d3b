// SPDX-License-Identifier: Apache-2.0
// The series profiles of the simulator (sim_series.h) as users meet them: the letters, the search
// dialect a camera answers when it names none, what a site of each series runs, and the firmware
// form of each series. The pages of each series are held by sim_camera_test.
#include <gtest/gtest.h>
#include <httplib.h>

#include "search_responder_ext.h"
#include "sim_firmware.h"
#include "sim_repository.h"
#include "sim_site.h"
#include "support/temp_folder.h"

namespace camlift::sim {
namespace {

TEST(SimSeries, LettersAsTypedAndShown) {
  struct Case {
    const char* text;
    std::optional<TSimSeries> series;
  };
  const Case cases[] = {{"K", TSimSeries::K}, {"m", TSimSeries::M}, {"P", TSimSeries::P},
                        {"r", TSimSeries::R}, {"", std::nullopt},   {"X", std::nullopt},
                        {"KM", std::nullopt}, {" K", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(c.series, ParseSeries(c.text)) << c.text;
  EXPECT_EQ("K", SeriesText(TSimSeries::K));
  EXPECT_EQ("R", SeriesText(TSimSeries::R));
  EXPECT_EQ("K, M, P or R", SeriesList());
}

// A camera that names no dialect answers the one of its series (series K answers the CTP search
// through its command service); the dialect table's own default agrees.
TEST(SimSeries, DefaultSearchDialectOfACamera) {
  struct Case {
    TSimSeries series;
    std::vector<std::string> dialects;
  };
  const Case cases[] = {{TSimSeries::K, {}},
                        {TSimSeries::M, {"moi"}},
                        {TSimSeries::P, {"1010"}},
                        {TSimSeries::R, {"8600"}}};
  for (const Case& c : cases) {
    TCameraConfig config;
    config.series = c.series;
    EXPECT_EQ(c.dialects, SearchDialectsOf(config)) << SeriesText(c.series);
    const TSimCamera camera(config, nullptr);
    EXPECT_EQ(c.dialects, camera.config().search_dialects) << SeriesText(c.series);
  }
  TCameraConfig chosen;
  chosen.series = TSimSeries::M;
  chosen.search_dialects = {"1010", "8600"};
  EXPECT_EQ(chosen.search_dialects, TSimCamera(chosen, nullptr).config().search_dialects);
}

TEST(SimSeries, SiteCamerasOfEachSeries) {
  struct Case {
    TSimSeries series;
    const char* model;
    const char* current;
    const char* latest;
    const char* excluded;
    const char* section;
    TCameraFault upload_fault;
  };
  const Case cases[] = {
      {TSimSeries::K, "K10", "3.1.8.7", "3.1.9.7", "3.1.5.7", "3.1.X.7",
       TCameraFault::CtpDataRefused},
      {TSimSeries::M, "M20", "1.2.3.4", "1.2.3.5", "1.2.3.2", "1.2.3",
       TCameraFault::RedirectUpload},
      {TSimSeries::P, "P100", "2.0.0.0", "2.0.0.1", "1.9.0.0", "P100",
       TCameraFault::RedirectUpload},
      {TSimSeries::R, "R730", "84.2.0.121", "84.2.0.130", "84.2.0.100", "R730",
       TCameraFault::RedirectUpload},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SeriesText(c.series));
    TSiteOptions options;
    options.count = 3;
    options.series = {c.series};
    options.excluded = 1;
    options.up_to_date = 1;
    options.repo_root = "/tmp/repo";
    const TScenario site = MakeSiteScenario(options);
    ASSERT_EQ(3u, site.cameras.size());
    EXPECT_EQ(c.model, site.cameras[0].model);
    EXPECT_EQ(c.excluded, site.cameras[0].sys_version);
    EXPECT_EQ(c.latest, site.cameras[1].sys_version);
    EXPECT_EQ(c.current, site.cameras[2].sys_version);
    ASSERT_EQ(1u, site.firmware.size());
    EXPECT_EQ(c.section, site.firmware[0].section);
    EXPECT_EQ(c.latest, site.firmware[0].version);
    EXPECT_EQ(c.excluded, site.firmware[0].excluded);
    EXPECT_EQ((std::vector<TCameraFault>{TCameraFault::RejectAccount, c.upload_fault,
                                         TCameraFault::OldVersion, TCameraFault::NotListening}),
              SiteFaults(c.series));
  }
}

// Series K's firmware is a package for its command service: no plain firmware file, a ".pk2" in
// the archive, and no upload CGI on its web port.
TEST(SimSeries, FirmwareFormOfSeriesK) {
  test::TTempFolder folder;
  std::string error;
  EXPECT_FALSE(WriteSimFirmware(folder.path() + "k.bin",
                                {TSimSeries::K, TFirmwareKind::System, "1"}, 4096, error));
  EXPECT_EQ("series K firmware is a package file that the CTP side of the simulator makes", error);
  EXPECT_TRUE(WriteSimFirmware(folder.path() + "r.bin", {TSimSeries::R, TFirmwareKind::System, "1"},
                               4096, error));

  TCameraConfig config;
  config.series = TSimSeries::K;
  config.ip = "127.0.0.19";
  config.port = 0;
  TSimCamera camera(config, nullptr);
  camera.Start();
  httplib::Client client("127.0.0.19", camera.http_port());
  for (const char* path : {"/upgrade_firmware.cgi", "/cgi-bin/upgrade_firmware.cgi",
                           "/upgrade_htmls.cgi", "/cgi-bin/upgrade_htmls.cgi"}) {
    const auto answer = client.Post(path, "x", "text/plain");
    ASSERT_TRUE(answer) << path;
    EXPECT_EQ(404, answer->status) << path;
  }
  camera.Stop();
}

}  // namespace
}  // namespace camlift::sim
