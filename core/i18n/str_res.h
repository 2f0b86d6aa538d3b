// SPDX-License-Identifier: Apache-2.0
// Message texts and window texts of the current language.
//
// The language files are unpacked by TfrmStrRes (str_resource.h) into LanguageFolder(); from then
// on these functions read only those files. A file is an INI text in the code page of its
// language (util/ini_file.h has the reading rules); its values may hold escapes, expanded on
// every read in this order: "$b" blank, "$c" "=", "$n" CR LF, "$$" "$", "$t" TAB.
//
// Threads: GetLangStr and its UTF-8 form may run on any thread, also while the UI thread
// switches the language; a lookup then answers wholly in the old or wholly in the new language.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/ini_file.h"

namespace camlift {

// Message-box style bits and answers, as the platform's message box has them.
inline constexpr int kMbOk = 0x00;
inline constexpr int kMbYesNo = 0x04;
inline constexpr int kMbIconQuestion = 0x20;
inline constexpr int kMbIconWarning = 0x30;
inline constexpr int kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The port through which core code asks the user: the GUI shows a dialog, the CLI prints or
// answers from its options. Called on whatever thread asks; an implementation that must show
// its box on the UI thread hands it over itself and waits for the answer (the Qt one does).
class ILangUi {
 public:
  virtual ~ILangUi() = default;
  // text and caption are UTF-8. Returns the button chosen (kIdOk, kIdYes, kIdNo, ...).
  virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;
};

// Installs the port (not owned; nullptr removes it). Without a port, message boxes answer 0.
void SetLangUi(ILangUi* ui);

// The escapes of a language-file value expanded, in their fixed order.
std::string ExpandLangEscapes(std::string text);

// The current language code; "en" until something else is set.
std::string CurrentLanguage();
// Sets the code as it stands (start-up picks it from the options file); drops what was read
// for the previous language, like SetLanguage, but does not look for the file.
void SetCurrentLanguageDirect(const std::string& code);
// Switches to code, or to "en" when the folder holds no file for code.
void SetLanguage(const std::string& code);

// Folder of the unpacked files, ending in "/"; empty until TfrmStrRes has been made.
std::string LanguageFolder();
// Path of the file of the current language: LanguageFolder() + LanguageFileNameFor(program
// file name, CurrentLanguage()).
std::string LanguageFileName();
// Path of the file of the language with this code (it need not exist).
std::string LanguageFilePath(const std::string& code);
// The file name of a language's file: the program file's name with its extension replaced by
// ".l" + code. A name without extension ("camlift", the usual case on Linux) gets ".l" + code
// appended: "camlift.len". An empty name stands for "camlift".
std::string LanguageFileNameFor(std::string_view program_file_name, std::string_view code);
// The language code of a language file's path: what follows the first ".l" in its file-name
// part ("/tmp/x.len" gives "en"), or empty.
std::string LanguageCodeOfFile(std::string_view path);

// Value of key in section of reader with default, escapes expanded (also in the default).
std::string ReadLangText(const TIniFile& reader, std::string_view section, std::string_view key,
                         std::string_view default_value);
// ReadLangText from a fresh read of the current file, empty default; empty for an empty section
// or key. Nothing is cached.
std::string ReadLangValue(const std::string& section, const std::string& key);

// The text of an IDS_ key in section [StrRes] of the current language, as UTF-8 (converted from
// the language's code page when it is read); empty when absent. Found texts are kept until the
// language changes; absent keys are looked up again every time. Keys match without regard to
// case. Log lines, messages and the worker's texts are UTF-8 from here on.
std::string GetLangStr(const std::string& id);
// The same as GetLangStr (the name says what callers get).
std::string GetLangStrUtf8(const std::string& id);

// Shows GetLangStr(text_id) with caption GetLangStr(caption_id) through the installed port.
int LangMessageBox(const std::string& text_id, const std::string& caption_id, int flags);
// The same for a text that is already made (UTF-8), for example a formatted message.
int ShowLangMessage(const std::string& text, const std::string& caption, int flags);

// A font as the window code describes it.
struct TFontDesc {
  std::string face;  // in the code page of the language ("cn": GBK bytes)
  int charset = 1;
  int size = 9;  // points
  bool operator==(const TFontDesc&) const = default;
};
// Charset constants of the desktop platform.
inline constexpr int kDefaultCharset = 1;
inline constexpr int kShiftJisCharset = 128;
inline constexpr int kGb2312Charset = 134;
inline constexpr int kChineseBig5Charset = 136;
// The font a window of the language code should use: "cn" the SimSun face (written in GBK),
// "b5" PMingLiU, "jp" MS Mincho, each lifting 8 points to 9; any other code Tahoma, lowering 9
// points to 8. Other sizes stay.
TFontDesc SetLanguageFont(std::string_view code, TFontDesc font);

// One text of a window: its key in the window's section and its current text (UTF-8).
struct TLangTextItem {
  std::string key;
  std::string text;
};
// One localisation pass over a window: for each item, text = the section's value for key (as
// UTF-8), or its current text when the file has no such key; escapes are expanded either way.
// Passes never interleave (one lock for the whole pass). Reads the current file through a
// reader that is kept until the language changes.
void LocalizeTexts(const std::string& section, std::vector<TLangTextItem>& items);

// A caption as a screen reader should say it: without its access key, whether marked "&O" or
// "(&O)" after a Chinese caption; "&&" stands for "&".
std::string AccessibleText(std::string_view caption);

// Keys of LocalizeForm: "N.Items" + i + ".Caption", "N.Columns" + i + ".Caption".
std::string LangItemKey(std::string_view component, int index);
std::string LangColumnKey(std::string_view component, int index);

// Test seam: runs on the looking-up thread after GetLangStr has read its file and before it
// stores the text (nullptr: nothing). Lets a test switch the language at exactly that moment.
void SetLangLookupHookForTesting(std::function<void()> hook);

// For TfrmStrRes: where the files now are and which program file they are named after.
void SetLanguageFolder(const std::string& folder, const std::string& program_file_name);

}  // namespace camlift
