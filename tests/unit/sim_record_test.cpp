// SPDX-License-Identifier: Apache-2.0
// The simulator's record: kept in memory for tests in the same process, written to its file for
// everybody else, and nowhere at all when nobody asked for it (the simulator program runs for
// hours beside thousands of cameras; an in-memory copy nobody reads would only grow).
#include "sim_record.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace camlift::sim {
namespace {

TEST(SimRecord, KeepsEntriesOnlyWhereSomebodyReadsThem) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("camlift-record-" + std::to_string(::getpid()));
  struct TCase {
    bool to_file;
    TSimRecorder::TKeep keep;
    bool records;
    std::size_t in_memory;
  };
  for (const TCase c : {TCase{false, TSimRecorder::TKeep::Memory, true, 1},
                        TCase{false, TSimRecorder::TKeep::Nothing, false, 0},
                        TCase{true, TSimRecorder::TKeep::Nothing, true, 0},
                        TCase{true, TSimRecorder::TKeep::Memory, true, 1}}) {
    SCOPED_TRACE(std::to_string(c.to_file) + " " + std::to_string(c.in_memory));
    std::filesystem::remove(file);
    TSimRecorder recorder = c.to_file ? TSimRecorder(file.string(), c.keep) : TSimRecorder(c.keep);
    EXPECT_EQ(c.records, recorder.Records());
    recorder.Append({{"role", "camera"}});
    EXPECT_EQ(c.in_memory, recorder.Entries().size());
    std::ifstream in(file);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(c.to_file, written.find("\"role\":\"camera\"") != std::string::npos) << written;
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace camlift::sim
