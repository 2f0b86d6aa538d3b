// SPDX-License-Identifier: Apache-2.0
// The record of everything the simulator was asked: one JSON object per line, appended as each
// request ends, so that tests and integrators can assert the wire format from it.
//
// Fields of a line (absent when they do not apply):
//   "time"     ISO 8601 UTC with milliseconds
//   "role"     "camera" or "repository"
//   "name"     the camera's name from the scenario (cameras only)
//   "series"   "M", "P", "R" (cameras only)
//   "address", "port"    where the request arrived (the listener's own address and port)
//   "peer"     "ip:port" of the client
//   "method", "target"   the request line: method and path with the query exactly as sent
//   "version"  "HTTP/1.1"
//   "headers"  [[name, value], ...] as sent (names in the case they arrived in)
//   "status"   the status the simulator answered (0 when it closed without answering)
//   "note"     why a request was refused or cut (fault, account, framing), when it was
//   "upload"   for upload CGIs: {"part_headers": raw part header block (each line with its
//              CR LF, without the empty line), "field", "filename", "content_type", "size",
//              "md5" (of the part's bytes, lower-case hex), "framing_ok", "error",
//              "firmware": {"series","kind","version"} or null, "accepted"}
#pragma once

#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace camlift::sim {

// Protocol bytes as record text: CR and LF written as \r and \n, other unprintable bytes as "?".
std::string Printable(std::string_view bytes);

class TSimRecorder {
 public:
  // Memory: entries are kept for Entries() (tests in the same process). Nothing: the simulator
  // program, which runs for hours and answers thousands of datagrams a second, keeps none.
  enum class TKeep { Memory, Nothing };
  explicit TSimRecorder(TKeep keep = TKeep::Memory) : keep_(keep) {}
  // Appends to path (created when missing). Throws std::runtime_error when it cannot be opened.
  explicit TSimRecorder(const std::string& path, TKeep keep = TKeep::Memory);

  // False when an entry would go nowhere: a caller may then skip building it.
  bool Records() const { return to_file_ || keep_ == TKeep::Memory; }

  // Thread-safe; "time" is added. Every line is flushed at once so that a reader sees it.
  void Append(nlohmann::json entry);
  // Every entry so far (kept in memory unless TKeep::Nothing, for tests in the same process).
  std::vector<nlohmann::json> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::ofstream file_;
  bool to_file_ = false;
  TKeep keep_ = TKeep::Memory;
  std::vector<nlohmann::json> entries_;
};

}  // namespace camlift::sim
