// SPDX-License-Identifier: Apache-2.0
#include "sim_record.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace camlift::sim {
namespace {

std::string NowText() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return text;
}

}  // namespace

TSimRecorder::TSimRecorder(const std::string& path, TKeep keep)
    : file_(path, std::ios::binary | std::ios::app), to_file_(true), keep_(keep) {
  if (!file_) throw std::runtime_error("cannot open the record file " + path);
}

void TSimRecorder::Append(nlohmann::json entry) {
  if (!Records()) return;
  entry["time"] = NowText();
  // Bytes that are not UTF-8 (a firmware path in another code page, say) must not make the
  // dump throw and lose the line: they are replaced.
  const std::string line =
      entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard lock(mutex_);
  if (to_file_) {
    file_ << line;
    file_.flush();
  }
  if (keep_ == TKeep::Memory) entries_.push_back(std::move(entry));
}

std::vector<nlohmann::json> TSimRecorder::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c >= 0x20 && c <= 0x7e)
      out += c;
    else
      out += '?';
  }
  return out;
}

}  // namespace camlift::sim
