// SPDX-License-Identifier: Apache-2.0
// A camera that runs a newer version than the catalogue's, from the command line: the status
// says so, --yes alone installs nothing, --allow-downgrade does.
#include <gtest/gtest.h>

#include "e2e_site.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TFirmwareKind;
using sim::TSimSeries;

TEST(Downgrade, NeedsItsOwnConsent) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::P;
  config.sys_version = "2.0.0.5";
  auto& camera = site.AddCamera(config);
  site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "2.0.0.1");
  site.StartRepository();

  const TProcessResult status =
      site.Run({"status", "--series", "P", "--ip", camera.config().ip, "--port",
                std::to_string(camera.http_port()), "--repository", site.RepositoryUrl(),
                "--data-dir", site.DataDir(), "--json"});
  EXPECT_NE(std::string::npos, status.out.find("\"state\":\"newer than the repository\""))
      << status.out << status.err;

  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string version_after;
    std::string last;
  };
  const Case cases[] = {
      {{},
       3,
       "2.0.0.5",
       "The camera keeps its newer version 2.0.0.5; the older version 2.0.0.1 was not "
       "installed."},
      {{"--yes"},
       3,
       "2.0.0.5",
       "The camera keeps its newer version 2.0.0.5; the older version 2.0.0.1 was not "
       "installed."},
      {{"--allow-downgrade"}, 0, "2.0.0.1", "The camera now runs the version:2.0.0.1"},
  };
  for (const Case& c : cases) {
    const TProcessResult run = site.Upgrade(camera, c.args);
    const std::string name = c.args.empty() ? "no option" : c.args[0];
    EXPECT_EQ(c.exit_code, run.exit_code) << name << run.out << run.err;
    const auto log = LogTexts(run.out);
    ASSERT_FALSE(log.empty()) << name;
    EXPECT_EQ(c.last, log.back()) << name;
    EXPECT_EQ(c.version_after, camera.state().sys_version) << name;
  }
  EXPECT_EQ(1u, site.Uploads().size());
}

}  // namespace
}  // namespace camlift::test
