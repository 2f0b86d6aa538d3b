// SPDX-License-Identifier: Apache-2.0
// camlift search: the background search of the selection dialog, run for a few passes, then the
// list of cameras found, sorted by IP address (a table, JSON lines, or the CSV file the dialog
// exports). When nothing answers it says where it searched and which ports it could not bind;
// a search datagram the system refused to send is named with its address and reason.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli_session.h"
#include "command_registry.h"
#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/search_diagnostics.h"
#include "discovery/search_engine.h"
#include "discovery/tools_net.h"
#include "i18n/str_res.h"
#include "platform/dispatcher.h"
#include "platform/timing.h"
#include "r730/r730_search.h"
#include "search_run.h"
#include "upgrade/series_probe.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

struct TSearchOptions {
  int passes = 3;
  bool json = false;
  bool csv = false;
  std::string address;
  std::string lang;
};

// Runs the calls other threads hand to this (UI) thread until the time is up; asleep while
// nothing comes, so that a long search costs only what its replies cost.
void ServeFor(TLoopDispatcher& ui, std::chrono::milliseconds time) { ui.RunFor(time); }

}  // namespace

TSearchOutcome Search(int passes, const std::string& address) {
  TLoopDispatcher ui;
  TDeviceList list;
  TFind_Hisi finder;
  TSearchOutcome outcome;
  {
    TSearchEngine engine(ui, list, R730Client(), &finder);
    engine.Create();
    engine.SetManualAddress(address);
    // A typed-in camera that answers is asked its series too, as an upgrade of it would ask.
    engine.ManualProbe().SetSeriesTeller(ProbeSeries);
    for (int pass = 0; pass < passes; ++pass) {
      // The first pass also asks the closed library and the typed-in address, as Find does.
      engine.TimerTick(pass == 0);
      if (pass == 0) engine.StartManualProbe();
      ServeFor(ui, Duration(Wait::SearchPassInterval));
    }
    ServeFor(ui, Duration(Wait::SearchSettle));
    // A series R search still listening gets to finish: its answers may still be on the way,
    // and so may the typed-in address's.
    WaitR730SearchesDone(ui);
    engine.ManualProbe().WaitDone();
    outcome.rows = list.Rows();
    outcome.diagnostics = engine.Diagnostics();
    engine.Teardown();
  }
  finder.Shutdown(&ui);
  std::stable_sort(outcome.rows.begin(), outcome.rows.end(),
                   [](const TDevInfo& a, const TDevInfo& b) {
                     return TTools_Net::CompareDotted(a.IPAddr, b.IPAddr) < 0;
                   });
  return outcome;
}

namespace {

// Width of a UTF-8 text in characters (every character counts as one column).
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void PrintTable(const std::vector<TDevInfo>& rows) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"Type", "Name", "IP address", "Port", "Series", "Version"});
  for (const TDevInfo& d : rows) {
    // Names and versions are the cameras' own texts; a reply from another address than the one
    // it names is marked in the address column.
    cells.push_back({ShownText(DevTypeCaption(d.DevType)),
                     ShownText(DisplayName(d, CurrentLanguage())), AddressColumnText(d),
                     std::to_string(d.DevPort), SeriesLetter(SeriesOfDevice(d)),
                     ShownText(d.Version)});
  }
  std::vector<std::size_t> widths(cells.front().size(), 0);
  for (const auto& row : cells) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  for (const auto& row : cells) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - Columns(row[c]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::cout << line << "\n";
  }
}

// The lines of an empty search, in the chosen language.
void PrintDiagnostics(std::ostream& out, const TSearchDiagnostics& diagnostics) {
  out << LangTextOr("IDS_NOCAMERAFOUND", "There is no camera found in the LAN.") << "\n";
  for (const std::string& line : DiagnosticLines(diagnostics)) out << line << "\n";
}

int RunSearch(const TSearchOptions& options) {
  // The language first: its code page decodes the names of cameras set up in Chinese.
  const TCliSession session(options.lang);
  const TSearchOutcome outcome = Search(options.passes, options.address);
  const std::vector<TDevInfo>& rows = outcome.rows;
  if (options.csv) {
    std::cout << DevicesToCsv(rows);
  } else if (options.json) {
    for (const TDevInfo& d : rows) std::cout << DeviceJsonLine(d) << "\n";
  } else {
    PrintTable(rows);
  }
  std::cout.flush();
  if (rows.empty()) {
    // The machine-readable forms stay clean: the diagnosis goes beside them.
    PrintDiagnostics(options.csv || options.json ? std::cerr : std::cout, outcome.diagnostics);
  } else {
    // Cameras answered, but a search that could not go out may have missed others, and a full
    // list refused some.
    for (const std::string& line : SendProblemLines(outcome.diagnostics.SendProblems)) {
      std::cerr << line << "\n";
    }
    if (const std::string full = ListFullLine(outcome.diagnostics); !full.empty()) {
      std::cerr << full << "\n";
    }
    if (const std::string dropped = DroppedLine(outcome.diagnostics); !dropped.empty()) {
      std::cerr << dropped << "\n";
    }
  }
  return kExitOk;
}

void SetupSearch(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<TSearchOptions>();
  CLI::App* sub = root.add_subcommand(
      "search",
      "Search the LAN for cameras as the selection dialog does, then list them by IP address.");
  sub->add_option("--passes", options->passes, "Number of search passes, one second apart")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  CLI::Option* json = sub->add_flag(
      "--json", options->json, "One JSON object per camera and line (series: K, M, P, R or empty)");
  sub->add_flag("--csv", options->csv,
                "The list as the selection dialog exports it: CSV, UTF-8 with a byte order mark")
      ->excludes(json);
  sub->add_option("--address", options->address,
                  "Also ask this camera directly (host or host:port): for a camera on another "
                  "subnet that broadcasts do not reach; its series is asked too");
  sub->add_option("--lang", options->lang,
                  "Language of the report shown when nothing answers (en, cn, b5)");
  sub->callback([options, &run] { run = [options] { return RunSearch(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("search", SetupSearch);

}  // namespace camlift::cli
