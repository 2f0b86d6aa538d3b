// camlift search: the background search of the selection dialog, run for a few passes, then the
// list of cameras found, sorted by IP address.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/r730_search.h"
#include "discovery/search_engine.h"
#include "discovery/tools_net.h"
#include "platform/dispatcher.h"
#include "platform/timing.h"

namespace camlift::cli {
namespace {

struct TSearchOptions {
  int passes = 3;
  bool json = false;
};

std::string SeriesLetter(std::int32_t type) {
  static constexpr const char* kLetters[] = {"K", "M", "P", "R"};
  const int series = TypeToSeries(type);
  return series >= 0 ? kLetters[series] : "";
}

// Runs the calls other threads hand to this (UI) thread until the time is up.
void ServeFor(TLoopDispatcher& ui, std::chrono::milliseconds time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  for (;;) {
    ui.ProcessPending();
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(2)));
  }
}

std::vector<TDevInfo> Search(int passes) {
  TLoopDispatcher ui;
  TDeviceList list;
  TFind_Hisi finder;
  std::vector<TDevInfo> rows;
  {
    TSearchEngine engine(ui, list, R730Client(), &finder);
    engine.Create();
    for (int pass = 0; pass < passes; ++pass) {
      // The first pass also asks the closed library, as the Find button does.
      engine.TimerTick(pass == 0);
      ServeFor(ui, Duration(Wait::SearchPassInterval));
    }
    ServeFor(ui, Duration(Wait::SearchSettle));
    // A series R search still listening gets to finish: its answers may still be on the way.
    WaitR730SearchesDone(ui);
    rows = list.Rows();
    engine.Teardown();
  }
  finder.Shutdown(&ui);
  std::stable_sort(rows.begin(), rows.end(), [](const TDevInfo& a, const TDevInfo& b) {
    return TTools_Net::CompareDotted(a.IPAddr, b.IPAddr) < 0;
  });
  return rows;
}

nlohmann::json RowJson(const TDevInfo& d) {
  // Never the DDNS password: the output ends up in logs and bug reports.
  return {{"type", ToValidUtf8(DevTypeCaption(d.DevType))},
          {"devType", d.DevType},
          {"series", SeriesLetter(d.DevType)},
          {"id", ToValidUtf8(d.DevID)},
          {"normId", ToValidUtf8(d.NormID)},
          {"name", ToValidUtf8(d.DevName)},
          {"ip", ToValidUtf8(d.IPAddr)},
          {"port", d.DevPort},
          {"version", ToValidUtf8(d.Version)},
          {"netmask", ToValidUtf8(d.Netmask)},
          {"gateway", ToValidUtf8(d.Gateway)},
          {"dns1", ToValidUtf8(d.DNS1)},
          {"dns2", ToValidUtf8(d.DNS2)},
          {"serial", ToValidUtf8(d.SerialNo)},
          {"dhcp", d.DhcpFlag == 1},
          {"ddnsHost", ToValidUtf8(d.DdnsHost)},
          {"ddnsUser", ToValidUtf8(d.DdnsUser)}};
}

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
    cells.push_back({ToValidUtf8(DevTypeCaption(d.DevType)), ToValidUtf8(d.DevName),
                     ToValidUtf8(d.IPAddr), std::to_string(d.DevPort), SeriesLetter(d.DevType),
                     ToValidUtf8(d.Version)});
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

int RunSearch(const TSearchOptions& options) {
  const std::vector<TDevInfo> rows = Search(options.passes);
  if (options.json) {
    for (const TDevInfo& d : rows) std::cout << RowJson(d).dump() << "\n";
  } else {
    PrintTable(rows);
  }
  std::cout.flush();
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
  sub->add_flag("--json", options->json,
                "One JSON object per camera and line (series: K, M, P, R or empty)");
  sub->callback([options, &run] { run = [options] { return RunSearch(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("search", SetupSearch);

}  // namespace camlift::cli
