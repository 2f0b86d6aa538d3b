// SPDX-License-Identifier: Apache-2.0
// INI ("profile") texts: the language files, the firmware catalogue and the options file.
//
// Reading keeps the rules of the desktop platform's profile-file reader, because the shipped files
// were written against it:
//  - section and key names match without regard to ASCII letter case;
//  - blanks (spaces, tabs) around the key and around the value are dropped;
//  - a value enclosed in a pair of double or of single quotes loses that pair;
//  - at most kMaxValueBytes bytes of a value are read;
//  - lines whose first non-blank character is ";" are comments;
//  - where a section or a key stands twice, the first one counts;
//  - a missing section or key gives the caller's default with its trailing blanks dropped.
// Values are plain bytes; nothing is decoded. The parser only looks at ASCII bytes that cannot be
// trail bytes of GBK, Big5 or Shift-JIS characters ("=", ";", blanks, quotes, a leading "["), so
// double-byte texts pass through unchanged.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

// One parsed INI text. Keeps only what a lookup needs; writing works on the raw lines instead.
class TIniData {
 public:
  static constexpr std::size_t kMaxValueBytes = 2047;

  // The value of key in section (rules above applied), or nothing when either is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  // Find, or default_value with its trailing blanks dropped.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // Section names in file order (first spelling of each), and the keys of one section.
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

 private:
  friend TIniData ParseIni(std::string_view bytes);
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(std::string_view section) const;
  std::vector<Section> sections_;
};

// Parses INI bytes (CR LF or LF line ends, an optional UTF-8 byte-order mark is skipped).
TIniData ParseIni(std::string_view bytes);

// ASCII case-insensitive comparison, as the profile reader compares names.
bool SameIniName(std::string_view a, std::string_view b);

// An INI file on disk. The file is read once when the object is made (a missing or unreadable
// file reads as empty); WriteString writes through to the file at once and refreshes that copy.
class TIniFile {
 public:
  explicit TIniFile(std::string path);

  const std::string& FileName() const { return path_; }
  const TIniData& Data() const { return data_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const {
    return data_.ReadString(section, key, default_value);
  }
  bool SectionExists(std::string_view section) const { return data_.SectionExists(section); }
  bool ValueExists(std::string_view section, std::string_view key) const {
    return data_.ValueExists(section, key);
  }

  // Sets key in section to value, creating the file, the section or the key when missing. Every
  // other line of an existing file stays as it was (comments, blank lines, line ends, duplicate
  // entries behind the first). A value that the reading rules would change (blanks at its edges,
  // or a pair of enclosing quotes) is written inside double quotes so that it reads back as given.
  // The new file replaces the old one in a single rename, so a crash never leaves half a file.
  // False when the file cannot be written, or when the names or the value cannot be represented
  // (empty names, line breaks anywhere, "=" in a key, "]" in a section name, a key or section
  // that would read as a comment).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Why the last WriteString failed, as the system says it ("Permission denied", "No space
  // left on device", ...); empty after a success.
  const std::string& WriteError() const { return write_error_; }

  // Re-reads the file from disk.
  void Reload();

 private:
  std::string path_;
  TIniData data_;
  std::string write_error_;
};

// Pure form of WriteString: the bytes of an INI text after setting section/key to value, or
// nothing when the names or the value cannot be represented. New lines use the text's own line
// end (CR LF when it has any, else LF).
std::optional<std::string> IniWithValue(std::string_view bytes, std::string_view section,
                                        std::string_view key, std::string_view value);

}  // namespace camlift
