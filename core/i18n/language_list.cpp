// SPDX-License-Identifier: Apache-2.0
#include "i18n/language_list.h"

#include <filesystem>

#include "i18n/str_res.h"
#include "platform/locale.h"
#include "util/ini_file.h"
#include "util/text_convert.h"
#include "util/tools.h"

namespace camlift {

std::vector<std::string> OfferedLanguageFiles() {
  const std::string file = LanguageFileName();
  const std::string folder = file.substr(0, file.rfind('/') + 1);
  TFoundFiles found;
  TTools::FindFiles(found, folder, "*.l*", false, nullptr, true);
  std::vector<std::string> offered;
  const std::string key = "Name_" + CurrentLanguage();
  for (const TFoundFile& f : found) {
    if (!TIniFile(f.name).ReadString("Global", key, "").empty()) offered.push_back(f.name);
  }
  return offered;
}

std::vector<TLanguageChoice> LanguageChoices(const std::vector<std::string>& files, int& selected) {
  selected = -1;
  const TIniFile current(LanguageFileName());
  std::vector<TLanguageChoice> choices;
  for (std::size_t i = 0; i < files.size(); ++i) {
    TLanguageChoice choice;
    choice.code = LanguageCodeOfFile(files[i]);
    choice.name =
        LangToUtf8(current.ReadString("Global", "Name_" + choice.code, ""), CurrentLanguage());
    if (choice.code == CurrentLanguage()) selected = static_cast<int>(i);
    choices.push_back(std::move(choice));
  }
  return choices;
}

bool UsesEnglishFontSizes(const std::string& language_file_path) {
  return language_file_path.find("en") != std::string::npos;
}

bool IsLanguageCode(const std::string& code) {
  if (code.empty() || code.size() > 8) return false;
  for (const char c : code) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!plain) return false;
  }
  return true;
}

std::string StartLanguageCode(const std::string& stored_code) {
  std::string code = IsLanguageCode(stored_code) ? stored_code : std::string();
  if (code.empty()) code = DefaultLanguageCode();
  if (!IsLanguageCode(code)) return "en";
  std::error_code ec;
  return std::filesystem::is_regular_file(LanguageFilePath(code), ec) ? code : "en";
}

}  // namespace camlift
