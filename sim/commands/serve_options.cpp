// SPDX-License-Identifier: Apache-2.0
#include "serve_options.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "sim_client_env.h"
#include "sim_detach.h"

namespace camlift::sim {
namespace {

// Signals are blocked before any thread starts, so that only the main thread's sigwait sees them.
sigset_t BlockStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  return set;
}

}  // namespace

void AddServeOptions(CLI::App& command, TServeOptions& options, bool with_wildcard) {
  command.add_option("--record", options.record, "Append one JSON line per request to this file");
  if (with_wildcard) {
    command.add_flag("--allow-wildcard", options.allow_wildcard,
                     "Allow listening on 0.0.0.0 or ::");
  }
  command.add_flag("--detach", options.detach,
                   "Return once the simulator listens; it goes on in the background");
}

int RunUntilSignal(TScenario scenario, const TServeOptions& options) {
  if (options.detach) DetachUntilReady();
  const sigset_t signals = BlockStopSignals();
  scenario.allow_wildcard = scenario.allow_wildcard || options.allow_wildcard;
  const std::string record = options.record.empty() ? scenario.record : options.record;
  // Nobody in this process reads the entries back: they go to the file or nowhere.
  constexpr auto keep = TSimRecorder::TKeep::Nothing;
  auto recorder = record.empty() ? std::make_shared<TSimRecorder>(keep)
                                 : std::make_shared<TSimRecorder>(record, keep);
  const char* scale = std::getenv("CAMLIFT_TIME_SCALE");
  const std::string client_line = ClientEnvironmentLine(scenario, scale ? scale : "");
  TSimulator simulator(std::move(scenario), recorder);
  simulator.Start();
  for (const auto& line : simulator.Describe()) std::cout << "camlift-sim: " << line << "\n";
  if (options.detach) {
    const std::string pid = std::to_string(::getpid());
    std::cout << "camlift-sim: runs in the background as process " << pid << " (kill " << pid
              << " stops it)\n";
  }
  std::cout << "camlift-sim: ready\n" << client_line << std::endl;
  if (options.detach) ReleaseParent();
  int received = 0;
  sigwait(&signals, &received);
  simulator.Stop();
  std::cout << "camlift-sim: stopped" << std::endl;
  return 0;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace camlift::sim
