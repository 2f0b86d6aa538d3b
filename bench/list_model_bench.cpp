// SPDX-License-Identifier: Apache-2.0
// The device list under load: 500, 2000 or 10 000 cameras that answer every search pass in two
// dialects (1010 and 8600), so twice as many replies per pass. A pass has to stay far below the
// one-second interval, and its cost has to grow with the cameras, not with their square.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/device_list.h"
#include "discovery/reply_intake.h"
#include "discovery/reply_parsers.h"

namespace camlift {
namespace {

void PutText(TBytes& bytes, std::size_t offset, const std::string& text) {
  std::memcpy(bytes.data() + offset, text.data(), text.size());
}

std::string Ip(int i) {
  return "10." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ".7";
}

TBytes Info1010(int i) {
  TBytes d(150, 0);
  d[0] = d[1] = 0x10;
  d[2] = 0x12, d[3] = 0x8F;
  PutText(d, 8, Ip(i));
  PutText(d, 24, "255.255.0.0");
  PutText(d, 40, "10.0.0.1");
  d[88] = 80;
  d[100] = static_cast<std::uint8_t>(i >> 8), d[101] = static_cast<std::uint8_t>(i);
  PutText(d, 112, "camera " + std::to_string(i));
  PutText(d, 136, "1.2.3");
  return d;
}

TBytes Reply8600(int i) {
  TBytes d(516, 0);
  d[0] = 0x44, d[1] = 0x48, d[2] = 0x01, d[3] = 0x08;
  PutText(d, 4, Ip(i));
  PutText(d, 20, "255.255.0.0");
  d[88] = static_cast<std::uint8_t>(i >> 8), d[89] = static_cast<std::uint8_t>(i);
  d[90] = 0x98, d[91] = 0x21;
  PutText(d, 124, "camera " + std::to_string(i));
  PutText(d, 204, "84.2.0.130");
  return d;
}

std::vector<TBytes> Input(std::int64_t devices) {
  std::vector<TBytes> datagrams;
  for (int i = 0; i < devices; ++i) {
    datagrams.push_back(Info1010(i));
    datagrams.push_back(Reply8600(i));
  }
  return datagrams;
}

// One pass as the dialog runs it: every reply parsed and added or refreshed, then the tick.
void RunPass(TDeviceList& list, const std::vector<TBytes>& datagrams) {
  for (const TBytes& d : datagrams) {
    TDevInfo record;
    const bool parsed = d[0] == 0x44 ? Parse8600Reply(d, record)
                                     : ParseReply(d, record, nullptr, [&](const std::string& id) {
                                         return list.FindByID(id);
                                       });
    if (parsed) list.OnRecord(record);
  }
  list.Tick();
}

// Steady state: the list already holds every camera (range(0)); range(1) of them per thousand
// change their name each pass, which rewrites the row and puts it in its place again.
void BM_SearchPassSteady(benchmark::State& state) {
  std::vector<TBytes> datagrams = Input(state.range(0));
  TDeviceList list;
  RunPass(list, datagrams);
  const int changed = static_cast<int>(datagrams.size() * state.range(1) / 1000);
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++round;
    for (int k = 0; k < changed; ++k) {
      TBytes& d =
          datagrams[static_cast<std::size_t>(k * 1000 / std::max<std::int64_t>(state.range(1), 1))];
      d[d[0] == 0x44 ? 124 : 112] = static_cast<std::uint8_t>('a' + round % 26);
    }
    state.ResumeTiming();
    RunPass(list, datagrams);
  }
  state.counters["rows"] = static_cast<double>(list.Count());
  state.counters["replies/pass"] = static_cast<double>(datagrams.size());
}
BENCHMARK(BM_SearchPassSteady)
    ->ArgNames({"devices", "changed"})
    ->ArgsProduct({{500, 2000, 10000}, {0, 10}})
    ->Unit(benchmark::kMillisecond);

// The first pass after Find: every reply makes a new row in its sorted place; the window looks
// at the list once, at the end of the pass.
void BM_SearchPassFromEmpty(benchmark::State& state) {
  const std::vector<TBytes> datagrams = Input(state.range(0));
  for (auto _ : state) {
    TDeviceList list;
    RunPass(list, datagrams);
    benchmark::DoNotOptimize(list.Rows().data());
  }
}
BENCHMARK(BM_SearchPassFromEmpty)
    ->ArgName("devices")
    ->Arg(500)
    ->Arg(2000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond);

void BM_ParseThroughput(benchmark::State& state) {
  const std::vector<TBytes> datagrams = Input(2000);
  std::size_t i = 0;
  for (auto _ : state) {
    const TBytes& d = datagrams[i++ % datagrams.size()];
    TDevInfo record;
    benchmark::DoNotOptimize(d[0] == 0x44 ? Parse8600Reply(d, record)
                                          : ParseReply(d, record, nullptr, nullptr));
    benchmark::DoNotOptimize(record);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseThroughput);

}  // namespace
}  // namespace camlift
