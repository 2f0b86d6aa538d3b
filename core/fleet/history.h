// SPDX-License-Identifier: Apache-2.0
// The record of every upgrade: one JSON line per camera and run in "history.jsonl", appended by
// the window, the command line and every camera of a batch. It names the camera, the versions,
// the firmware and the outcome, never an account or a password. Lines from parallel workers and
// from two programs at once never mix: each line is one write to a file opened for appending,
// under an exclusive lock.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/series.h"

namespace camlift {

class TUpgradeObject;
struct TUpgradeResult;

struct THistoryEntry {
  std::string time;    // UTC, "2026-12-10T13:21:28Z"
  std::string source;  // "window", "cli" or "batch"
  std::string ip;
  int port = 0;
  std::string series;  // "K", "M", "P", "R"
  std::string model;
  std::string version_before;
  std::string version_after;  // what the camera reports after its restart
  std::string firmware_file;
  std::string archive_md5;
  std::string result;  // as in the batch summary: "ok", "failed", ...
  std::string reason;  // the last log line, UTF-8
  std::string log_file;
  // One run of one camera that is recorded in steps (once the camera took the firmware, again
  // at the end): its lines share this text, and the last of them is the record of the run.
  // Empty for a run recorded once.
  std::string run;
};

// A run text no other run of any program shares.
std::string NewHistoryRun();

// Where the record lives.
std::string HistoryFilePath();

// The current time in the form of THistoryEntry::time.
std::string HistoryTimeNow();

// What one run of one camera leaves in the record. archive_md5 is the checksum the firmware was
// verified against (empty when none was).
THistoryEntry HistoryEntryOf(const std::string& source, TSeries series,
                             const TUpgradeObject& upgrader, const TUpgradeResult& result,
                             const std::string& archive_md5, const std::string& log_file);

// One compact JSON object and "\n".
std::string HistoryJsonLine(const THistoryEntry& entry);
std::optional<THistoryEntry> ParseHistoryLine(std::string_view line);

// Appends one whole line; false when the file cannot be opened or written.
bool AppendHistory(const THistoryEntry& entry, const std::string& path = HistoryFilePath());
// How much of the record the command reads (from its end), how much the window reads, and the
// longest line taken for a record (one is a few hundred bytes).
constexpr std::size_t kHistoryReadBytes = 32u << 20;
constexpr std::size_t kHistoryWindowBytes = 1u << 20;
constexpr std::size_t kMaxHistoryLineBytes = 64u << 10;

// The readable lines of a plain file (not a link, a pipe or a device), oldest first; lines that
// are not records are skipped. Lines of one run become one entry: the run's last line, in the
// place of its first. Of a larger file only its last max_bytes are read, and *cut
// says so.
std::vector<THistoryEntry> ReadHistory(const std::string& path = HistoryFilePath(),
                                       std::size_t max_bytes = kHistoryReadBytes,
                                       bool* cut = nullptr);
// The records of the text of a record file, oldest first; lines that are not records, or longer
// than kMaxHistoryLineBytes, are skipped. starts_inside_a_line: the text is the end of a larger
// file, and its first line most likely the end of an older one, which is dropped.
std::vector<THistoryEntry> ParseHistoryText(std::string_view text, bool starts_inside_a_line);

// Entries of one address (empty: all) from a time on (empty: all). since is a date
// "YYYY-MM-DD" or a time "YYYY-MM-DDTHH:MM[:SS]", in UTC like the record.
std::vector<THistoryEntry> FilterHistory(const std::vector<THistoryEntry>& entries,
                                         const std::string& ip, const std::string& since);
// True when text is a date or time that FilterHistory understands.
bool IsHistoryDate(const std::string& text);

// An aligned table of entries.
std::string HistoryTable(const std::vector<THistoryEntry>& entries);

}  // namespace camlift
