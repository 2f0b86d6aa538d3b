// SPDX-License-Identifier: Apache-2.0
// camlift status in one process: the version reads and catalogue lookups of a simulated site
// (200 cameras of the four series unless CAMLIFT_BENCH_STATUS_CAMERAS says otherwise), one
// camera at a time (the sum of single reads) against sixteen at a time. Target: the parallel
// read takes at most 1/8 of the serial one. scripts/bench.sh measures the same with the
// programs, process start included.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "fleet/camera_list.h"
#include "fleet/status_read.h"
#include "platform/timing.h"
#include "sim_scenario.h"
#include "sim_site.h"

namespace camlift {
namespace {

int SiteSize() {
  const char* env = std::getenv("CAMLIFT_BENCH_STATUS_CAMERAS");
  const int n = env ? std::atoi(env) : 200;
  return n > 0 ? n : 200;
}

// One site for every run of the benchmark, started on first use.
struct TBenchSite {
  std::string root;
  std::unique_ptr<sim::TSimulator> simulator;
  std::vector<TCameraEntry> cameras;

  TBenchSite() {
    SetTimeScaleForTesting(0.02);
    root = (std::filesystem::temp_directory_path() /
            ("camlift-status-bench-" + std::to_string(::getpid())))
               .string();
    sim::TSiteOptions options;
    options.count = SiteSize();
    options.base_ip = "127.0.16.1";
    options.up_to_date = options.count / 10;
    options.excluded = 1;
    options.repo_root = root + "/repo";
    sim::TScenario scenario = sim::MakeSiteScenario(options);
    for (const auto& c : scenario.cameras) {
      TCameraEntry entry;
      entry.ip = c.ip;
      entry.port = c.port;
      entry.series = c.series == sim::TSimSeries::K   ? TSeries::K
                     : c.series == sim::TSimSeries::M ? TSeries::M
                     : c.series == sim::TSimSeries::P ? TSeries::P
                                                      : TSeries::R;
      entry.user = c.user;
      entry.password = c.password;
      cameras.push_back(entry);
    }
    simulator = std::make_unique<sim::TSimulator>(scenario, std::make_shared<sim::TSimRecorder>());
    simulator->Start();
  }
  ~TBenchSite() {
    simulator->Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

TBenchSite& Site() {
  static TBenchSite site;
  return site;
}

void BM_FleetStatus(benchmark::State& state) {
  TBenchSite& site = Site();
  TStatusOptions options;
  options.jobs = static_cast<int>(state.range(0));
  options.repository_url = site.simulator->repository()->BaseUrl();
  options.work_folder = site.root + "/data/";
  std::filesystem::create_directories(options.work_folder);
  std::size_t read = 0;
  for (auto _ : state) {
    const auto rows = ReadFleetStatus(site.cameras, options);
    read = 0;
    for (const auto& row : rows) read += row.state != TCameraState::Unreachable;
  }
  if (read != site.cameras.size()) state.SkipWithError("some cameras could not be read");
  state.counters["cameras"] = static_cast<double>(site.cameras.size());
  state.counters["cameras_per_second"] = benchmark::Counter(
      static_cast<double>(site.cameras.size() * state.iterations()), benchmark::Counter::kIsRate);
}
// jobs 1 is the sum of single reads; jobs 16 the command's parallel read.
BENCHMARK(BM_FleetStatus)
    ->Arg(1)
    ->Arg(16)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace camlift
