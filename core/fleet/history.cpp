// SPDX-License-Identifier: Apache-2.0
#include "fleet/history.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "discovery/series.h"
#include "fleet/json_port.h"
#include "i18n/str_res.h"
#include "platform/paths.h"
#include "upgrade/upgrade_object.h"
#include "upgrade/upgrade_thread.h"
#include "util/text.h"
#include "util/text_convert.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

// Closes the descriptor on every path.
class TFd {
 public:
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A text from the record in one table cell: the file may have been edited, and a control
// character (a line break, an escape sequence for the terminal, also the UTF-8 forms of
// U+0080..U+009F) must neither break the table nor reach the terminal.
std::string OneLine(const std::string& raw) { return ShownText(raw); }

// Hides what may carry an account in a text that goes into the record: the user and password
// part of a URL ("//user:pwd@"), the value of a "pwd=" or "password=" query, and the password
// itself where some message quotes it.
std::string WithoutAccount(std::string text, const std::string& password) {
  text = WithoutUrlAccounts(text);
  for (const char* key : {"pwd=", "password=", "passwd="}) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
      const std::size_t value = at + std::char_traits<char>::length(key);
      const std::size_t end = text.find_first_of("&# \t\"'", value);
      text.replace(value, (end == std::string::npos ? text.size() : end) - value, "***");
    }
  }
  // The camera gets the password in lower case, so a quote of it may differ in case. A password
  // of one or two characters would blank out ordinary text; longer ones go.
  const std::string secret = LowerAscii(TrimText(password));
  if (secret.size() >= 3) {
    std::string lower = LowerAscii(text);
    for (std::size_t at = lower.find(secret); at != std::string::npos;
         at = lower.find(secret, at)) {
      text.replace(at, secret.size(), "***");
      lower.replace(at, secret.size(), "***");
      at += 3;
    }
  }
  return text;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string HistoryFilePath() { return StateFolder() + "history.jsonl"; }

std::string HistoryTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

THistoryEntry HistoryEntryOf(const std::string& source, TSeries series,
                             const TUpgradeObject& upgrader, const TUpgradeResult& result,
                             const std::string& archive_md5, const std::string& log_file) {
  THistoryEntry entry;
  entry.time = HistoryTimeNow();
  entry.source = source;
  entry.ip = upgrader.IPAddress();
  entry.port = upgrader.Port();
  entry.series = SeriesLetter(series);
  entry.model =
      ToValidUtf8(!upgrader.Model().empty() ? upgrader.Model() : TrimText(upgrader.OemText()));
  entry.version_before = ToValidUtf8(result.old_version);
  entry.version_after = ToValidUtf8(result.reported_version);
  entry.firmware_file = TrimText(upgrader.RepositoryFile());
  if (entry.firmware_file.empty() && !upgrader.LocalFilePath().empty()) {
    entry.firmware_file = std::filesystem::path(upgrader.LocalFilePath()).filename().string();
  }
  const std::string& password = upgrader.Password();
  entry.firmware_file = ToValidUtf8(WithoutAccount(entry.firmware_file, password));
  entry.archive_md5 = LowerAscii(TrimText(archive_md5));
  entry.result = UpgradeResultText(result.status);
  // Log text is UTF-8 from the worker on.
  entry.reason = ToValidUtf8(WithoutAccount(result.last_log, password));
  entry.log_file = WithoutAccount(log_file, password);
  return entry;
}

std::string NewHistoryRun() {
  static std::atomic<unsigned> counter{0};
  return HistoryTimeNow() + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::string HistoryJsonLine(const THistoryEntry& e) {
  const nlohmann::ordered_json line = {{"time", e.time},
                                       {"source", e.source},
                                       {"ip", e.ip},
                                       {"port", e.port},
                                       {"series", e.series},
                                       {"model", e.model},
                                       {"versionBefore", e.version_before},
                                       {"versionAfter", e.version_after},
                                       {"firmwareFile", e.firmware_file},
                                       {"archiveMd5", e.archive_md5},
                                       {"result", e.result},
                                       {"reason", e.reason},
                                       {"log", e.log_file}};
  if (!e.run.empty()) {
    nlohmann::ordered_json with_run = line;
    with_run["run"] = e.run;
    return with_run.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<THistoryEntry> ParseHistoryLine(std::string_view line) {
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  auto text = [&](const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  THistoryEntry e;
  e.time = text("time");
  e.ip = text("ip");
  if (e.time.empty() || e.ip.empty()) return std::nullopt;
  e.source = text("source");
  const auto port = j.find("port");
  e.port = port != j.end() ? JsonPort(*port).value_or(0) : 0;
  e.series = text("series");
  e.model = text("model");
  e.version_before = text("versionBefore");
  e.version_after = text("versionAfter");
  e.firmware_file = text("firmwareFile");
  e.archive_md5 = text("archiveMd5");
  e.result = text("result");
  e.reason = text("reason");
  e.log_file = text("log");
  e.run = text("run");
  return e;
}

bool AppendHistory(const THistoryEntry& entry, const std::string& path) {
  const std::string line = HistoryJsonLine(entry);
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  // Only the owner reads what was done to which camera.
  TFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0) return false;
  // O_APPEND makes one write land whole at the end; the lock keeps it so on file systems that
  // do not promise that, and against a writer that needs more than one write.
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) break;
  }
  ssize_t written;
  do {
    written = ::write(fd.get(), line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  ::flock(fd.get(), LOCK_UN);
  return written == static_cast<ssize_t>(line.size());
}

std::vector<THistoryEntry> ReadHistory(const std::string& path, std::size_t max_bytes, bool* cut) {
  std::vector<THistoryEntry> entries;
  if (cut) *cut = false;
  // Only a plain file is read: a link, a pipe or a device in its place could point anywhere or
  // never end (the writer refuses a link just the same).
  TFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return entries;
  // A record that grew large is read from its end: the newest lines are what is looked for,
  // and neither the window nor the command waits for a whole gigabyte.
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const std::uint64_t start = size > max_bytes ? size - max_bytes : 0;
  std::string text(static_cast<std::size_t>(size - start), '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n =
        ::pread(fd.get(), text.data() + got, text.size() - got, static_cast<off_t>(start + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  if (start > 0 && cut) *cut = true;
  return ParseHistoryText(text, start > 0);
}

std::vector<THistoryEntry> ParseHistoryText(std::string_view text, bool starts_inside_a_line) {
  std::vector<THistoryEntry> entries;
  std::size_t from = 0;
  if (starts_inside_a_line) {
    from = text.find('\n');
    from = from == std::string_view::npos ? text.size() : from + 1;
  }
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(from, end - from);
    if (line.size() <= kMaxHistoryLineBytes) {
      if (auto entry = ParseHistoryLine(line)) entries.push_back(std::move(*entry));
    }
    from = end + 1;
  }
  // A run recorded in steps: its last line tells how it ended.
  std::map<std::string, std::size_t> first_of_run;
  std::vector<THistoryEntry> runs;
  for (THistoryEntry& entry : entries) {
    if (entry.run.empty()) {
      runs.push_back(std::move(entry));
      continue;
    }
    const auto [at, added] = first_of_run.emplace(entry.run, runs.size());
    if (added) {
      runs.push_back(std::move(entry));
    } else {
      runs[at->second] = std::move(entry);
    }
  }
  return runs;
}

bool IsHistoryDate(const std::string& text) {
  // YYYY-MM-DD, optionally followed by THH:MM or THH:MM:SS.
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return false;
  const std::string_view t = text;
  if (!AllDigits(t.substr(0, 4)) || t[4] != '-' || !AllDigits(t.substr(5, 2)) || t[7] != '-' ||
      !AllDigits(t.substr(8, 2))) {
    return false;
  }
  if (text.size() == 10) return true;
  if (t[10] != 'T' || !AllDigits(t.substr(11, 2)) || t[13] != ':' || !AllDigits(t.substr(14, 2))) {
    return false;
  }
  return text.size() == 16 || (t[16] == ':' && AllDigits(t.substr(17, 2)));
}

std::vector<THistoryEntry> FilterHistory(const std::vector<THistoryEntry>& entries,
                                         const std::string& ip, const std::string& since) {
  std::vector<THistoryEntry> kept;
  for (const THistoryEntry& e : entries) {
    if (!ip.empty() && e.ip != ip) continue;
    // Times of the record compare as texts: the same form, always UTC. A shorter "since"
    // compares with the same number of leading characters.
    if (!since.empty() && e.time.substr(0, since.size()) < since) continue;
    kept.push_back(e);
  }
  return kept;
}

std::string HistoryTable(const std::vector<THistoryEntry>& entries) {
  std::vector<std::vector<std::string>> cells = {
      {"Time", "Camera", "Series", "Model", "Before", "After", "Result", "Reason"}};
  for (const THistoryEntry& e : entries) {
    cells.push_back({OneLine(e.time), OneLine(e.ip + ":" + std::to_string(e.port)),
                     OneLine(e.series), OneLine(e.model), OneLine(e.version_before),
                     OneLine(e.version_after), OneLine(e.result), OneLine(e.reason)});
  }
  std::vector<std::size_t> widths(cells.front().size(), 0);
  for (const auto& row : cells) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Columns(row[c]));
  }
  std::string table;
  for (const auto& row : cells) {
    std::string text;
    for (std::size_t c = 0; c < row.size(); ++c) {
      text += row[c];
      if (c + 1 < row.size()) text += std::string(widths[c] - Columns(row[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    table += text + "\n";
  }
  return table;
}

}  // namespace camlift
