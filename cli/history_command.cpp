// SPDX-License-Identifier: Apache-2.0
// camlift history: what was done to which camera, from the record every upgrade appends to.
#include <iostream>
#include <memory>

#include "command_registry.h"
#include "fleet/history.h"
#include "platform/paths.h"

namespace camlift::cli {
namespace {

struct THistoryOptions {
  std::string ip;
  std::string since;
  bool json = false;
  std::string data_dir;
};

int RunHistory(const THistoryOptions& options) {
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  bool cut = false;
  const std::vector<THistoryEntry> entries = FilterHistory(
      ReadHistory(HistoryFilePath(), kHistoryReadBytes, &cut), options.ip, options.since);
  if (cut) {
    std::cerr << "camlift: " << HistoryFilePath() << " is larger than " << (kHistoryReadBytes >> 20)
              << " MiB; only its newest records are shown\n";
  }
  if (options.json) {
    for (const THistoryEntry& e : entries) std::cout << HistoryJsonLine(e);
  } else {
    std::cout << HistoryTable(entries);
  }
  std::cout.flush();
  return kExitOk;
}

void SetupHistory(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<THistoryOptions>();
  CLI::App* cmd = root.add_subcommand(
      "history",
      "What was upgraded when: every upgrade of the window, the command line and "
      "each camera of a batch, oldest first");
  cmd->add_option("--ip", options->ip, "Only this camera's address");
  cmd->add_option("--since", options->since,
                  "Only from this date (YYYY-MM-DD) or time (YYYY-MM-DDTHH:MM[:SS]) on, in UTC")
      ->check(
          [](const std::string& text) {
            return IsHistoryDate(text) ? std::string()
                                       : "expected YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]";
          },
          "DATE");
  cmd->add_flag("--json", options->json, "The record's JSON lines as they are stored");
  cmd->add_option("--data-dir", options->data_dir, "Work folder that holds the record");
  cmd->callback([options, &run] { run = [options] { return RunHistory(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("history", SetupHistory);

}  // namespace camlift::cli
