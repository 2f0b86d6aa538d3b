// SPDX-License-Identifier: Apache-2.0
#include "i18n/str_res.h"

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "util/text.h"
#include "util/text_convert.h"
#include "util/tools.h"

namespace camlift {
namespace {

struct TEscape {
  std::string_view from;
  std::string_view to;
};
// The order matters: "$$b" reads as "$" and a blank because "$b" goes first, and "$$t" reads as
// a TAB because "$$" has become "$" before "$t" is looked at.
constexpr std::array<TEscape, 5> kEscapes{{
    {"$b", " "},
    {"$c", "="},
    {"$n", "\r\n"},
    {"$$", "$"},
    {"$t", "\t"},
}};

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(from, start)) != std::string::npos;
       start = at + from.size()) {
    out.append(text, start, at - start);
    out.append(to);
  }
  out.append(text, start);
  return out;
}

struct TNoCaseHash {
  std::size_t operator()(const std::string& s) const {
    std::size_t h = 1469598103934665603ull;
    for (const char c : s) h = (h ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
    return h;
  }
};
struct TNoCaseEqual {
  bool operator()(const std::string& a, const std::string& b) const { return SameIniName(a, b); }
};

// Everything a lookup needs, guarded by one lock (the cache lock). The language and the folder
// are read by worker threads too, so they live under it as well. `generation` changes with
// every language switch; a lookup that read its file under an older generation does not put its
// text into the new language's cache.
struct TLangState {
  std::mutex mutex;
  std::string current = "en";
  std::string folder;
  std::string program_file_name;
  bool program_file_known = false;
  std::unordered_map<std::string, std::string, TNoCaseHash, TNoCaseEqual> cache;
  std::uint64_t generation = 0;
  std::shared_ptr<const TIniFile> language_ini;
  std::function<void()> lookup_hook;

  std::mutex form_mutex;
  std::atomic<ILangUi*> ui{nullptr};
};

TLangState& State() {
  static TLangState state;
  return state;
}

std::string FileNamePart(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Under the lock.
std::string FileNameLocked(TLangState& s, std::string_view code) {
  if (!s.program_file_known) {
    s.program_file_name = FileNamePart(TTools::ModuleFileName());
    s.program_file_known = true;
  }
  return s.folder + LanguageFileNameFor(s.program_file_name, code);
}

void DropLanguageLocked(TLangState& s) {
  s.language_ini.reset();
  s.cache.clear();
  ++s.generation;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

struct TLookup {
  std::string text;
  std::string code;
};

TLookup Lookup(const std::string& id) {
  TLangState& s = State();
  std::string file;
  std::uint64_t generation = 0;
  std::string code;
  {
    std::lock_guard lock(s.mutex);
    code = s.current;
    if (!id.empty()) {
      if (const auto it = s.cache.find(id); it != s.cache.end() && !it->second.empty()) {
        return {it->second, code};
      }
    }
    file = FileNameLocked(s, code);
    generation = s.generation;
  }
  // The file is read without the lock: two threads that miss the same key both read it and
  // both store the same text.
  // Converted once, here: every text that leaves the lookup is UTF-8, so a line made of it does
  // not depend on the language that is current when it is shown.
  std::string text;
  if (!id.empty()) text = LangToUtf8(ReadLangText(TIniFile(file), "StrRes", id, ""), code);
  std::function<void()> hook;
  {
    std::lock_guard lock(s.mutex);
    hook = s.lookup_hook;
  }
  if (hook) hook();
  {
    std::lock_guard lock(s.mutex);
    if (generation == s.generation) {
      if (text.empty()) {
        s.cache.erase(id);
      } else {
        s.cache[id] = text;
      }
    }
  }
  return {std::move(text), std::move(code)};
}

}  // namespace

void SetLangUi(ILangUi* ui) { State().ui.store(ui); }

void SetLangLookupHookForTesting(std::function<void()> hook) {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  s.lookup_hook = std::move(hook);
}

std::string ExpandLangEscapes(std::string text) {
  if (text.find('$') == std::string::npos) return text;
  for (const TEscape& e : kEscapes) text = ReplaceAll(std::move(text), e.from, e.to);
  return text;
}

std::string CurrentLanguage() {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  return s.current;
}

void SetCurrentLanguageDirect(const std::string& code) {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  DropLanguageLocked(s);
  s.current = code;
}

void SetLanguage(const std::string& code) {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  DropLanguageLocked(s);
  s.current = code;
  // The "en" file itself is not checked: it is the last resort either way.
  if (!FileExists(FileNameLocked(s, code))) s.current = "en";
}

std::string LanguageFolder() {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  return s.folder;
}

std::string LanguageFileName() {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  return FileNameLocked(s, s.current);
}

std::string LanguageFilePath(const std::string& code) {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  return FileNameLocked(s, code);
}

void SetLanguageFolder(const std::string& folder, const std::string& program_file_name) {
  TLangState& s = State();
  std::lock_guard lock(s.mutex);
  DropLanguageLocked(s);
  s.folder = folder;
  s.program_file_name = FileNamePart(program_file_name);
  s.program_file_known = true;
}

std::string LanguageFileNameFor(std::string_view program_file_name, std::string_view code) {
  std::string name = FileNamePart(program_file_name);
  if (name.empty()) name = "camlift";
  // The extension is what follows the last dot, unless that dot opens the name (".hidden").
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".l" + std::string(code);
}

std::string LanguageCodeOfFile(std::string_view path) {
  const std::string name = FileNamePart(path);
  const auto at = name.find(".l");
  return at == std::string::npos ? std::string() : name.substr(at + 2);
}

std::string ReadLangText(const TIniFile& reader, std::string_view section, std::string_view key,
                         std::string_view default_value) {
  return ExpandLangEscapes(reader.ReadString(section, key, default_value));
}

std::string ReadLangValue(const std::string& section, const std::string& key) {
  if (section.empty() || key.empty()) return {};
  return ReadLangText(TIniFile(LanguageFileName()), section, key, "");
}

std::string GetLangStr(const std::string& id) { return Lookup(id).text; }

std::string GetLangStrUtf8(const std::string& id) { return Lookup(id).text; }

int ShowLangMessage(const std::string& text, const std::string& caption, int flags) {
  ILangUi* ui = State().ui.load();
  return ui == nullptr ? 0 : ui->MessageBox(text, caption, flags);
}

int LangMessageBox(const std::string& text_id, const std::string& caption_id, int flags) {
  return ShowLangMessage(GetLangStrUtf8(text_id), GetLangStrUtf8(caption_id), flags);
}

TFontDesc SetLanguageFont(std::string_view code, TFontDesc font) {
  struct TRule {
    std::string_view code;
    std::string_view face;
    int charset;
  };
  static constexpr std::array<TRule, 3> kRules{{
      {"cn", "\xCB\xCE\xCC\xE5", kGb2312Charset},  // SimSun, named in GBK
      {"b5", "PMingLiU", kChineseBig5Charset},
      {"jp", "MS Mincho", kShiftJisCharset},
  }};
  font.charset = kDefaultCharset;
  for (const TRule& rule : kRules) {
    if (rule.code == code) {
      font.face = std::string(rule.face);
      font.charset = rule.charset;
      if (font.size == 8) font.size = 9;
      return font;
    }
  }
  font.face = "Tahoma";
  if (font.size == 9) font.size = 8;
  return font;
}

void LocalizeTexts(const std::string& section, std::vector<TLangTextItem>& items) {
  TLangState& s = State();
  std::lock_guard form_lock(s.form_mutex);
  std::shared_ptr<const TIniFile> ini;
  std::string code;
  {
    std::lock_guard lock(s.mutex);
    if (!s.language_ini) {
      s.language_ini = std::make_shared<const TIniFile>(FileNameLocked(s, s.current));
    }
    ini = s.language_ini;
    code = s.current;
  }
  for (TLangTextItem& item : items) {
    if (auto value = ini->Data().Find(section, item.key)) {
      item.text = LangToUtf8(ExpandLangEscapes(std::move(*value)), code);
    } else {
      std::string_view kept = item.text;
      kept = kept.substr(0, kept.find_last_not_of(" \t") + 1);
      item.text = ExpandLangEscapes(std::string(kept));
    }
  }
}

std::string AccessibleText(std::string_view caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const char c = caption[i];
    if (c == '(' && i + 3 < caption.size() && caption[i + 1] == '&' && caption[i + 3] == ')' &&
        caption[i + 2] != '&') {
      i += 3;  // "(&O)": the whole access-key mark goes
      continue;
    }
    if (c == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string LangItemKey(std::string_view component, int index) {
  return std::string(component) + ".Items" + std::to_string(index) + ".Caption";
}

std::string LangColumnKey(std::string_view component, int index) {
  return std::string(component) + ".Columns" + std::to_string(index) + ".Caption";
}

}  // namespace camlift
