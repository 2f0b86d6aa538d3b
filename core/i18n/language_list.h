// SPDX-License-Identifier: Apache-2.0
// The language chooser of the main window: which language files are offered, under which names.
#pragma once

#include <string>
#include <vector>

namespace camlift {

// The language files of the language folder that name themselves in the current language
// (key "Name_" + current code of section "Global"), full paths in folder order.
std::vector<std::string> OfferedLanguageFiles();

struct TLanguageChoice {
  std::string code;  // what follows ".l" in the file name
  std::string name;  // the display name from the current language file, UTF-8
};

// One entry per file, named from the current language file; selected is the index of the
// current language, or -1.
std::vector<TLanguageChoice> LanguageChoices(const std::vector<std::string>& files, int& selected);

// The window's larger fonts are for Chinese; a path with "en" anywhere in it keeps the English
// sizes (the chooser has always decided on the whole path).
bool UsesEnglishFontSizes(const std::string& language_file_path);

// A language code as the options file may hold it: 1 to 8 ASCII letters or digits. Anything
// else (a long text that no file name could hold, a path) is no language code.
bool IsLanguageCode(const std::string& code);
// The language to start in from the options file's value: that code when it is a language code,
// else the system's default; "en" when the language folder has no file for the code.
std::string StartLanguageCode(const std::string& stored_code);

}  // namespace camlift
