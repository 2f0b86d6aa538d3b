// SPDX-License-Identifier: Apache-2.0
#include "util/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "util/text.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

std::string_view TrimRight(std::string_view s) {
  const auto last = s.find_last_not_of(kBlanks);
  return last == std::string_view::npos ? std::string_view() : s.substr(0, last + 1);
}

bool IsQuotePair(std::string_view v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

// One line of the text with its line end kept apart, so that a rewrite can put it back as it was.
struct Line {
  std::string_view body;
  std::string_view end;
};

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  while (!bytes.empty()) {
    const auto nl = bytes.find('\n');
    if (nl == std::string_view::npos) {
      lines.push_back({bytes, {}});
      break;
    }
    std::size_t body_len = nl;
    if (body_len > 0 && bytes[body_len - 1] == '\r') --body_len;
    lines.push_back({bytes.substr(0, body_len), bytes.substr(body_len, nl + 1 - body_len)});
    bytes.remove_prefix(nl + 1);
  }
  return lines;
}

enum class LineKind { kOther, kSection, kEntry };

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section name or key
  std::string_view value;  // raw value, trimmed
};

ParsedLine ParseLine(std::string_view body) {
  const std::string_view t = Trim(body);
  if (t.empty() || t.front() == ';') return {};
  if (t.front() == '[') {
    const auto close = t.find(']');
    const std::string_view inner =
        t.substr(1, close == std::string_view::npos ? t.npos : close - 1);
    return {LineKind::kSection, Trim(inner), {}};
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  const std::string_view key = Trim(t.substr(0, eq));
  if (key.empty()) return {};
  return {LineKind::kEntry, key, Trim(t.substr(eq + 1))};
}

std::string_view WithoutBom(std::string_view bytes) {
  if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
  return bytes;
}

bool ContainsLineBreak(std::string_view s) { return s.find_first_of("\r\n") != s.npos; }

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

TIniData ParseIni(std::string_view bytes) {
  TIniData data;
  TIniData::Section* current = nullptr;
  for (const Line& line : SplitLines(WithoutBom(bytes))) {
    const ParsedLine parsed = ParseLine(line.body);
    if (parsed.kind == LineKind::kSection) {
      data.sections_.push_back({std::string(parsed.name), {}});
      current = &data.sections_.back();
    } else if (parsed.kind == LineKind::kEntry && current != nullptr) {
      std::string_view value = parsed.value;
      if (IsQuotePair(value)) value = value.substr(1, value.size() - 2);
      value = value.substr(0, TIniData::kMaxValueBytes);
      current->entries.push_back({std::string(parsed.name), std::string(value)});
    }
  }
  return data;
}

const TIniData::Section* TIniData::FindSection(std::string_view section) const {
  // A section that stands twice is only seen in its first place, as the profile reader does.
  for (const Section& s : sections_) {
    if (SameIniName(s.name, section)) return &s;
  }
  return nullptr;
}

std::optional<std::string> TIniData::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return std::nullopt;
  for (const Entry& e : s->entries) {
    if (SameIniName(e.key, key)) return e.value;
  }
  return std::nullopt;
}

std::string TIniData::ReadString(std::string_view section, std::string_view key,
                                 std::string_view default_value) const {
  if (auto value = Find(section, key)) return std::move(*value);
  return std::string(TrimRight(default_value));
}

bool TIniData::SectionExists(std::string_view section) const {
  return FindSection(section) != nullptr;
}

bool TIniData::ValueExists(std::string_view section, std::string_view key) const {
  return Find(section, key).has_value();
}

std::vector<std::string> TIniData::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) {
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& n) { return SameIniName(n, s.name); })) {
      names.push_back(s.name);
    }
  }
  return names;
}

std::vector<std::string> TIniData::KeyNames(std::string_view section) const {
  std::vector<std::string> keys;
  const Section* s = FindSection(section);
  if (s == nullptr) return keys;
  for (const Entry& e : s->entries) {
    if (std::none_of(keys.begin(), keys.end(),
                     [&](const std::string& k) { return SameIniName(k, e.key); })) {
      keys.push_back(e.key);
    }
  }
  return keys;
}

std::optional<std::string> IniWithValue(std::string_view bytes, std::string_view section,
                                        std::string_view key, std::string_view value) {
  const std::string_view t_section = Trim(section);
  const std::string_view t_key = Trim(key);
  if (t_section.empty() || t_key.empty() || ContainsLineBreak(section) || ContainsLineBreak(key) ||
      ContainsLineBreak(value) || t_section.find(']') != t_section.npos ||
      t_key.find('=') != t_key.npos || t_key.front() == ';' || t_key.front() == '[') {
    return std::nullopt;
  }
  std::string stored(value);
  if (Trim(value) != value || IsQuotePair(value)) stored = "\"" + stored + "\"";
  if (stored.size() > TIniData::kMaxValueBytes) return std::nullopt;
  const std::string entry = std::string(t_key) + "=" + stored;

  const std::string_view prefix = bytes.substr(0, bytes.size() - WithoutBom(bytes).size());
  const std::vector<Line> lines = SplitLines(WithoutBom(bytes));
  const std::string_view eol = bytes.find("\r\n") != bytes.npos ? "\r\n" : "\n";

  // Find the first section of that name, the first entry of the key inside it and the last
  // entry line of the section (a new key goes right behind it, before any trailing blank lines).
  std::optional<std::size_t> header, found, last_entry;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ParsedLine parsed = ParseLine(lines[i].body);
    if (parsed.kind == LineKind::kSection) {
      if (header) break;
      if (SameIniName(parsed.name, t_section)) header = i;
    } else if (header && parsed.kind == LineKind::kEntry) {
      last_entry = i;
      if (SameIniName(parsed.name, t_key)) {
        found = i;
        break;
      }
    }
  }

  // Output lines; a line without its own end (the last one of the file) gets one only when
  // something follows it.
  std::vector<std::pair<std::string, std::string_view>> out_lines;
  if (!header) {
    for (const Line& l : lines) out_lines.emplace_back(l.body, l.end);
    out_lines.emplace_back("[" + std::string(t_section) + "]", eol);
    out_lines.emplace_back(entry, eol);
  } else {
    const std::size_t insert_after = found ? *found : last_entry.value_or(*header);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (found && i == *found) {
        out_lines.emplace_back(entry, lines[i].end);
        continue;
      }
      out_lines.emplace_back(lines[i].body, lines[i].end);
      if (!found && i == insert_after) out_lines.emplace_back(entry, eol);
    }
  }
  std::string out(prefix);
  for (std::size_t i = 0; i < out_lines.size(); ++i) {
    out += out_lines[i].first;
    const bool last = i + 1 == out_lines.size();
    out += out_lines[i].second.empty() && !last ? eol : out_lines[i].second;
  }
  return out;
}

TIniFile::TIniFile(std::string path) : path_(std::move(path)) { Reload(); }

void TIniFile::Reload() {
  // Only a file is read: a folder in its place (or a device) reads as empty instead of ending
  // the program with a read error.
  std::error_code ec;
  if (!fs::is_regular_file(path_, ec)) {
    data_ = ParseIni("");
    return;
  }
  std::ifstream in(path_, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  data_ = ParseIni(bytes);
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::error_code ec;
  write_error_.clear();
  const auto failed = [this](int error) {
    write_error_ = std::strerror(error);
    return false;
  };
  // Write through a symbolic link to the file it names rather than replacing the link.
  const fs::path target = fs::weakly_canonical(path_, ec);
  if (ec) return failed(ec.value());
  if (fs::exists(target, ec) && !fs::is_regular_file(target, ec)) {
    return failed(fs::is_directory(target, ec) ? EISDIR : EINVAL);
  }
  std::string old_bytes;
  {
    std::ifstream in(target, std::ios::binary);
    old_bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::optional<std::string> new_bytes = IniWithValue(old_bytes, section, key, value);
  if (!new_bytes) return failed(EINVAL);

  std::string temp = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return failed(errno);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  bool ok = true;
  int error = 0;
  const auto note = [&error](bool step_ok) {
    if (!step_ok && error == 0) error = errno ? errno : EIO;
    return step_ok;
  };
  std::string_view rest = *new_bytes;
  while (ok && !rest.empty()) {
    errno = 0;
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = note(n > 0);
    if (ok) rest.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = note(::fsync(fd) == 0) && ok;
  ok = note(::close(fd) == 0) && ok;
  if (ok) ok = note(::rename(temp.c_str(), target.c_str()) == 0);
  if (!ok) {
    ::unlink(temp.c_str());
    return failed(error);
  }
  data_ = ParseIni(*new_bytes);
  return true;
}

}  // namespace camlift
