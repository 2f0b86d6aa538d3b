// SPDX-License-Identifier: Apache-2.0
// A whole site from one line: N cameras of the chosen series on consecutive loopback addresses,
// some of them faulty, some excluded or up to date, and a repository one firmware ahead of the
// others (each series' model and versions: the site plan of its profile, sim_series.h). For batch
// tests, the benchmark and anyone who wants to see a batch upgrade run.
#pragma once

#include <string>
#include <vector>

#include "sim_scenario.h"

namespace camlift::sim {

struct TSiteOptions {
  int count = 10;
  std::vector<TSimSeries> series = {TSimSeries::M, TSimSeries::P, TSimSeries::R, TSimSeries::K};
  int faulty = 0;  // cameras that misbehave, spread over the site
  // Of the others, from the first on: cameras whose version the catalogue's NO list refuses,
  // then cameras that run the repository's version already.
  int excluded = 0;
  int up_to_date = 0;
  std::string base_ip = "127.0.1.1";  // the first camera; the others follow
  int port = 8081;
  std::string password = "123456";
  std::string repo_root;
  std::string repo_ip = "127.0.0.1";
  int repo_port = 0;
  std::uint64_t firmware_size = 4096;
};

// The faults given to faulty cameras of a series, in turn (its upload fault from its profile).
std::vector<TCameraFault> SiteFaults(TSimSeries series);

// Throws std::runtime_error for options that make no site (bad address, too many cameras).
TScenario MakeSiteScenario(const TSiteOptions& options);
// The camera list for `camlift upgrade --from`: "ip,port,series,user,password" with a header.
std::string SiteCameraList(const TScenario& scenario);

}  // namespace camlift::sim
