#include "upgrade/history.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <thread>

#include "support/process.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

THistoryEntry Entry(const std::string& time, const std::string& ip) {
  THistoryEntry e;
  e.time = time;
  e.source = "batch";
  e.ip = ip;
  e.port = 8081;
  e.series = "P";
  e.model = "P100";
  e.version_before = "2.0.0.0";
  e.version_after = "2.0.0.1";
  e.firmware_file = "fw_P_sys_2.0.0.1.zip";
  e.archive_md5 = "0123456789abcdef0123456789abcdef";
  e.result = "ok";
  e.reason = "The camera now runs the version:2.0.0.1";
  e.log_file = "/data/logs/127.0.0.5-20261210.log";
  return e;
}

TEST(History, LineRoundTrip) {
  const THistoryEntry e = Entry("2026-12-10T13:21:28Z", "127.0.0.5");
  const std::string line = HistoryJsonLine(e);
  EXPECT_EQ(
      R"({"time":"2026-12-10T13:21:28Z","source":"batch","ip":"127.0.0.5","port":8081,)"
      R"("series":"P","model":"P100","versionBefore":"2.0.0.0","versionAfter":"2.0.0.1",)"
      R"("firmwareFile":"fw_P_sys_2.0.0.1.zip","archiveMd5":"0123456789abcdef0123456789abcdef",)"
      R"("result":"ok","reason":"The camera now runs the version:2.0.0.1",)"
      R"("log":"/data/logs/127.0.0.5-20261210.log"})"
      "\n",
      line);
  const auto back = ParseHistoryLine(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(line, HistoryJsonLine(*back));
  // A name with a line break stays on its line.
  THistoryEntry odd = e;
  odd.model = "P100\n{\"ip\":\"x\"}";
  const std::string odd_line = HistoryJsonLine(odd);
  EXPECT_EQ(1, std::count(odd_line.begin(), odd_line.end(), '\n'));
  for (const char* bad :
       {"", "not json", "[1,2]", R"({"time":"2026-12-10T13:21:28Z"})", R"({"ip":"127.0.0.5"})"}) {
    EXPECT_FALSE(ParseHistoryLine(bad)) << bad;
  }
}

TEST(History, DatesAndFilter) {
  struct DateCase {
    const char* text;
    bool ok;
  };
  for (const DateCase& c : {DateCase{"2026-12-10", true},
                            {"2026-12-10T13:21", true},
                            {"2026-12-10T13:21:28", true},
                            {"2026-12-1", false},
                            {"10.12.2026", false},
                            {"2026-12-10 13:21", false},
                            {"2026-12-10T13:21:2", false},
                            {"yesterday", false},
                            {"", false}}) {
    EXPECT_EQ(c.ok, IsHistoryDate(c.text)) << c.text;
  }
  const std::vector<THistoryEntry> all = {Entry("2026-12-09T23:59:59Z", "127.0.0.5"),
                                          Entry("2026-12-10T00:00:00Z", "127.0.0.6"),
                                          Entry("2026-12-10T13:21:28Z", "127.0.0.5")};
  struct FilterCase {
    const char* ip;
    const char* since;
    std::size_t count;
  };
  for (const FilterCase& c : {FilterCase{"", "", 3},
                              {"127.0.0.5", "", 2},
                              {"127.0.0.55", "", 0},
                              {"", "2026-12-10", 2},
                              {"", "2026-12-10T13:21", 1},
                              {"", "2026-12-10T13:21:29", 0},
                              {"127.0.0.6", "2026-12-10", 1}}) {
    EXPECT_EQ(c.count, FilterHistory(all, c.ip, c.since).size()) << c.ip << " " << c.since;
  }
}

// Threads of one program and two programs append at once: every line arrives whole.
TEST(History, ParallelAppendsNeverMix) {
  test::TTempFolder temp;
  const std::string path = temp.path() + "state/history.jsonl";
  THistoryEntry big = Entry("2026-12-10T13:21:28Z", "127.0.0.5");
  big.reason = std::string(6000, 'r');  // more than a pipe buffer's atomic size
  constexpr int kThreads = 4, kPerThread = 25;
  auto append_many = [&](const std::string& ip) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        THistoryEntry e = big;
        e.ip = ip;
        for (int i = 0; i < kPerThread; ++i) {
          e.port = t * 1000 + i;
          AppendHistory(e, path);
        }
      });
    }
    for (auto& t : threads) t.join();
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    append_many("127.0.0.7");
    ::_exit(0);
  }
  append_many("127.0.0.5");
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));

  const std::string text = test::ReadFile(path);
  std::set<std::pair<std::string, int>> seen;
  for (const std::string& line : test::Lines(text)) {
    const auto e = ParseHistoryLine(line);
    ASSERT_TRUE(e) << line.substr(0, 200);
    EXPECT_EQ(big.reason, e->reason);
    seen.insert({e->ip, e->port});
  }
  EXPECT_EQ(2u * kThreads * kPerThread, seen.size());
  EXPECT_EQ(2u * kThreads * kPerThread, ReadHistory(path).size());
}

}  // namespace
}  // namespace camlift
