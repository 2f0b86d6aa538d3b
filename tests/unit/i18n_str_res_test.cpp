// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "i18n/embedded_store.h"
#include "i18n/language_list.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "support/temp_folder.h"
#include "util/text_convert.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TTempFolder;
using test::WriteFile;

const std::string kUpgradeInfoEn = "upgrading firmware, please wait.";
const std::string kUpgradeInfoCn =
    "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8D\x87\xE7\xBA\xA7\xE5\x9B\xBA"
    "\xE4\xBB\xB6\xEF\xBC\x8C\xE8\xAF\xB7\xE7\xA8\x8D\xE5\x80\x99"
    "\xE3\x80\x82";  // 正在升级固件，请稍候。
const std::string kUpgradeInfoB5 =
    "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8D\x87\xE7\xB4\x9A\xE9\x9F\x8C"
    "\xE9\xAB\x94\xEF\xBC\x8C\xE8\xAB\x8B\xE7\xA8\x8D\xE5\x80\x99"
    "\xE3\x80\x82";  // 正在升級韌體，請稍候。

std::string StoreOf(const std::vector<std::pair<std::string, std::string>>& items) {
  TSkinStore store;
  for (const auto& [name, bytes] : items) {
    TSkinCollectionItem& item = store.Store().Add();
    item.SetName(name);
    item.Data().Write(bytes);
  }
  return SaveStore(store);
}

// Every test starts in English with no message port, and leaves it so.
class StrResTest : public testing::Test {
 protected:
  void SetUp() override { SetCurrentLanguageDirect("en"); }
  void TearDown() override {
    SetCurrentLanguageDirect("en");
    SetLangUi(nullptr);
  }
  TTempFolder temp_;
};

TEST(LangEscapes, ExpandInTheirFixedOrder) {
  struct Case {
    std::string_view in, out;
  };
  const Case cases[] = {
      {"$b$bx", "  x"},
      {"a$cb", "a=b"},
      {"1$n2", "1\r\n2"},
      {"$$", "$"},
      {"a$tb", "a\tb"},
      {"$$b", "$ "},
      {"$$t", "\t"},
      {"$$n", "$\r\n"},
      {"$N$B$T", "$N$B$T"},
      {"$", "$"},
      {"cost $5", "cost $5"},
      {"$$$$", "$$"},
      {"\xA3\xBA$b", "\xA3\xBA "},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, ExpandLangEscapes(std::string(c.in))) << c.in;
}

TEST(LangFileNames, ExtensionIsReplacedOrAdded) {
  struct Case {
    std::string_view program, code, file;
  };
  const Case cases[] = {
      {"x.exe", "en", "x.len"},
      {"camlift", "cn", "camlift.lcn"},
      {"/usr/bin/camlift", "b5", "camlift.lb5"},
      {"a.b.exe", "en", "a.b.len"},
      {".hidden", "en", ".hidden.len"},
      {"", "en", "camlift.len"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.file, LanguageFileNameFor(c.program, c.code));
  EXPECT_EQ("en", LanguageCodeOfFile("/tmp/x.lang/camlift.len"));
  EXPECT_EQ("b5", LanguageCodeOfFile("camlift.lb5"));
  EXPECT_EQ("", LanguageCodeOfFile("/tmp/x.lang/readme"));
}

TEST(LanguageFont, FollowsTheLanguage) {
  struct Case {
    std::string_view code;
    int size_in;
    TFontDesc expected;
  };
  const Case cases[] = {
      {"b5", 8, {"PMingLiU", 136, 9}},
      {"b5", 10, {"PMingLiU", 136, 10}},
      {"cn", 8, {"\xCB\xCE\xCC\xE5", 134, 9}},
      {"jp", 8, {"MS Mincho", 128, 9}},
      {"en", 9, {"Tahoma", 1, 8}},
      {"en", 10, {"Tahoma", 1, 10}},
      {"fr", 9, {"Tahoma", 1, 8}},
      {"b5", 9, {"PMingLiU", 136, 9}},
      {"en", 8, {"Tahoma", 1, 8}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, SetLanguageFont(c.code, TFontDesc{"Arial", 0, c.size_in}))
        << c.code << " " << c.size_in;
  }
  EXPECT_EQ("\xE5\xAE\x8B\xE4\xBD\x93", LangToUtf8(SetLanguageFont("cn", {}).face, "cn"));  // 宋体
}

TEST(TextConvert, BadBytesBecomeReplacementCharacters) {
  EXPECT_EQ("IP\xEF\xBC\x9A", LangToUtf8("IP\xA3\xBA", "en"));
  EXPECT_EQ(
      "A\xEF\xBF\xBD"
      "B",
      LangToUtf8("A\xFF"
                 "B",
                 "cn"));
  EXPECT_EQ("A\xEF\xBF\xBD", LangToUtf8("A\xA3", "cn"));    // cut after a lead byte
  EXPECT_EQ("\xE4\xB8\xAD", LangToUtf8("\xA4\xA4", "b5"));  // 中
  EXPECT_EQ("\xE3\x81\x82", LangToUtf8("\x82\xA0", "jp"));  // あ
  EXPECT_EQ("", LangToUtf8("", "cn"));
  EXPECT_EQ("\xA4\xA4?x", Utf8ToLang("\xE4\xB8\xAD\xF0\x9F\x98\x80x", "b5"));  // 中, emoji, x
}

TEST_F(StrResTest, UnpacksTheBuiltInFilesAndRemovesThemAgain) {
  std::string folder;
  {
    TfrmStrRes res(EmbeddedLanguageStore(), temp_.path(), "/opt/bin/camlift");
    folder = res.Folder();
    // A folder of its own with a unique name, never "<temp>/camlift/" itself.
    EXPECT_EQ(0u, folder.find(temp_.path() + "camlift-"));
    EXPECT_EQ(temp_.path().size() + 15, folder.size());
    EXPECT_TRUE(res.Unpacked());
    EXPECT_EQ("", res.Problem());
    EXPECT_EQ(folder, LanguageFolder());
    EXPECT_EQ(folder + "camlift.len", LanguageFileName());
    for (int i = 0; i < res.SkinStore1().Store().Count(); ++i) {
      const TSkinCollectionItem& item = res.SkinStore1().Store().Items(i);
      EXPECT_EQ(item.Data().Bytes(), ReadFile(folder + "camlift.l" + item.Name()));
    }
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    EXPECT_EQ((std::set<std::string>{"camlift.lb5", "camlift.lcn", "camlift.len"}), names);

    EXPECT_EQ(kUpgradeInfoEn, GetLangStr("IDS_UPGRADEINFO"));
    SetLanguage("cn");
    EXPECT_EQ("cn", CurrentLanguage());
    EXPECT_EQ(kUpgradeInfoCn, GetLangStrUtf8("IDS_UPGRADEINFO"));
    // Converted at lookup: the plain form is UTF-8 too.
    EXPECT_EQ(kUpgradeInfoCn, GetLangStr("IDS_UPGRADEINFO"));
    SetLanguage("b5");
    EXPECT_EQ(kUpgradeInfoB5, GetLangStrUtf8("IDS_UPGRADEINFO"));
    SetLanguage("fr");
    EXPECT_EQ("en", CurrentLanguage());
    EXPECT_EQ(kUpgradeInfoEn, GetLangStrUtf8("IDS_UPGRADEINFO"));
    EXPECT_EQ("The upgrade software for IP Cam, Version1.1",
              ReadLangValue("Form_frmCamlift", "Caption"));
    EXPECT_EQ("", ReadLangValue("", "Caption"));
  }
  EXPECT_FALSE(fs::exists(folder));
  // Without the files every lookup gives its default.
  EXPECT_EQ("", GetLangStr("IDS_WARNING"));
}

TEST_F(StrResTest, ProgramNameWithExtensionNamesFolderAndFiles) {
  TfrmStrRes res(StoreOf({{"en", "[StrRes]\r\nIDS_X=x\r\n"}}), temp_.path(), "C:/app/x.exe");
  EXPECT_EQ(0u, res.Folder().find(temp_.path() + "x.exe-"));
  EXPECT_TRUE(fs::is_regular_file(res.Folder() + "x.len"));
  EXPECT_EQ("x", GetLangStr("IDS_X"));
}

TEST_F(StrResTest, LookupsCachePresentKeysOncePerLanguageOnly) {
  TfrmStrRes res(StoreOf({{"en", "[StrRes]\r\nIDS_NOTE = note$b$bone \r\n"},
                          {"cn", "[StrRes]\r\nIDS_NOTE=cn note\r\n"}}),
                 temp_.path(), "camlift");
  const std::string en_file = res.Folder() + "camlift.len";
  EXPECT_EQ("note  one", GetLangStr("ids_note"));
  // Changing the file does not change a text already found...
  WriteFile(en_file, "[StrRes]\r\nIDS_NOTE=note two\r\nIDS_LATE=late\r\n");
  EXPECT_EQ("note  one", GetLangStr("IDS_NOTE"));
  // ...but an absent key was never kept, so it is found as soon as the file has it.
  EXPECT_EQ("late", GetLangStr("IDS_LATE"));
  EXPECT_EQ("", GetLangStr("IDS_ABSENT"));
  WriteFile(en_file, "[StrRes]\r\nIDS_ABSENT=now here\r\n");
  EXPECT_EQ("now here", GetLangStr("IDS_ABSENT"));
  EXPECT_EQ("", GetLangStr(""));
  // A language switch empties the cache.
  SetLanguage("cn");
  EXPECT_EQ("cn note", GetLangStr("IDS_NOTE"));
  SetLanguage("en");
  EXPECT_EQ("", GetLangStr("IDS_NOTE"));
  SetCurrentLanguageDirect("cn");
  EXPECT_EQ("cn", CurrentLanguage());
  EXPECT_EQ("cn note", GetLangStr("IDS_NOTE"));
}

TEST_F(StrResTest, ReadLangTextExpandsEscapesInDefaultsToo) {
  TTempFolder dir;
  WriteFile(dir.path() + "f.ini", "[Form_x]\r\nlbl.Caption = $b$bA$nB \r\n");
  const TIniFile ini(dir.path() + "f.ini");
  EXPECT_EQ("  A\r\nB", ReadLangText(ini, "form_X", "LBL.caption", "unused"));
  EXPECT_EQ("line\r\nbreak", ReadLangText(ini, "Form_x", "other.Caption", "line$nbreak  "));
}

TEST_F(StrResTest, LocalizeTextsGivesUtf8AndKeepsWhatTheFileLacks) {
  TfrmStrRes res(StoreOf({{"cn",
                           "[Form_frmTest]\r\nCaption=\xB2\xE2\xCA\xD4\r\n"  // 测试
                           "lbl.Caption=$b\xA3\xBA\r\n"},
                          {"en", "[Form_frmTest]\r\nCaption=Test\r\n"}}),
                 temp_.path(), "camlift");
  SetLanguage("cn");
  std::vector<TLangTextItem> items = {{"Caption", "old"},
                                      {"lbl.Caption", "x"},
                                      {"memo.Caption", "design$ntext  "},
                                      {"missing.Caption", "\xE4\xB8\xAD"}};
  LocalizeTexts("Form_frmTest", items);
  EXPECT_EQ("\xE6\xB5\x8B\xE8\xAF\x95", items[0].text);
  EXPECT_EQ(" \xEF\xBC\x9A", items[1].text);
  EXPECT_EQ("design\r\ntext", items[2].text);
  EXPECT_EQ("\xE4\xB8\xAD", items[3].text);
  SetLanguage("en");
  LocalizeTexts("Form_frmTest", items);
  EXPECT_EQ("Test", items[0].text);
  EXPECT_EQ("cmbMType.Items2.Caption", LangItemKey("cmbMType", 2));
  EXPECT_EQ("ListView.Columns0.Caption", LangColumnKey("ListView", 0));
}

TEST_F(StrResTest, MessageBoxesGoThroughThePortInUtf8) {
  TfrmStrRes res(EmbeddedLanguageStore(), temp_.path(), "camlift");
  struct TFakeUi : ILangUi {
    int MessageBox(const std::string& text, const std::string& caption, int flags) override {
      shown.push_back(text + "|" + caption + "|" + std::to_string(flags));
      return kIdYes;
    }
    std::vector<std::string> shown;
  } ui;
  EXPECT_EQ(0, LangMessageBox("IDS_UPGRADEINFO", "IDS_INFORMATION", kMbIconInformation));
  SetLangUi(&ui);
  EXPECT_EQ(kIdYes, LangMessageBox("IDS_UPGRADEINFO", "IDS_INFORMATION", kMbIconInformation));
  SetLanguage("cn");
  EXPECT_EQ(kIdYes, ShowLangMessage("made", GetLangStrUtf8("IDS_WARNING"), kMbIconWarning));
  ASSERT_EQ(2u, ui.shown.size());
  EXPECT_EQ(kUpgradeInfoEn + "|INFORMATION|64", ui.shown[0]);
  EXPECT_EQ("made|\xE8\xAD\xA6\xE5\x91\x8A|48", ui.shown[1]);  // 警告
}

TEST_F(StrResTest, EachCopyHasItsOwnFolderAndRemovesOnlyThat) {
  const std::string store = StoreOf({{"en", "[StrRes]\r\nIDS_A=a\r\n"}});
  auto first = std::make_unique<TfrmStrRes>(store, temp_.path(), "camlift");
  const std::string first_folder = first->Folder();
  {
    TfrmStrRes second(store, temp_.path(), "camlift");
    EXPECT_NE(first_folder, second.Folder());
  }  // the second copy stops at the single-instance guard
  EXPECT_TRUE(fs::is_regular_file(first_folder + "camlift.len"));
  first.reset();
  EXPECT_FALSE(fs::exists(first_folder));
}

// Folders and files that the program did not make are never used or removed: a checkout named
// like the program in the temporary folder, and a file someone put into the program's folder.
TEST_F(StrResTest, NeverDeletesWhatItDidNotMake) {
  const std::string user_folder = temp_.path() + "camlift/";
  fs::create_directory(user_folder);
  WriteFile(user_folder + "README", "mine");
  WriteFile(user_folder + "camlift.len", "my own file");
  fs::create_directory(user_folder + "src");
  WriteFile(temp_.path() + "camlift.lock", "mine too");
  std::string folder;
  {
    TfrmStrRes res(StoreOf({{"en", "[StrRes]\r\nIDS_A=a\r\n"}}), temp_.path(), "camlift");
    folder = res.Folder();
    EXPECT_NE(user_folder, folder);
    EXPECT_EQ("a", GetLangStr("IDS_A"));
    WriteFile(folder + "notes.txt", "put here by the user");
  }
  EXPECT_EQ("mine", ReadFile(user_folder + "README"));
  EXPECT_EQ("my own file", ReadFile(user_folder + "camlift.len"));
  EXPECT_TRUE(fs::is_directory(user_folder + "src"));
  EXPECT_EQ("mine too", ReadFile(temp_.path() + "camlift.lock"));
  // Its own files went; the folder stays because it is not empty.
  EXPECT_FALSE(fs::exists(folder + "camlift.len"));
  EXPECT_EQ("put here by the user", ReadFile(folder + "notes.txt"));
}

// A crashed copy's folder is removed by the next copy; a live copy's folder, and folders or
// files that only look like ours, stay.
TEST_F(StrResTest, AStaleFolderOfACrashedCopyIsRemovedAndNothingElse) {
  const std::string bytes = "[StrRes]\r\nIDS_A=a\r\n";
  const std::string store = StoreOf({{"en", bytes}});
  const auto folder = [&](const std::string& name, mode_t mode) {
    const std::string path = temp_.path() + name + "/";
    fs::create_directory(path);
    ::chmod(path.c_str(), mode);
    return path;
  };
  const std::string crashed = folder("camlift-Ab12Cd", 0700);
  WriteFile(crashed + "camlift.len", bytes);
  const std::string crashed_empty = folder("camlift-Ef34Gh", 0700);  // died before writing
  const std::string users = folder("camlift-mywork", 0700);  // same name shape, not our bytes
  WriteFile(users + "camlift.len", "my own language notes");
  const std::string shared = folder("camlift-Ij56Kl", 0755);  // not as mkdtemp makes it
  WriteFile(shared + "camlift.len", bytes);
  const std::string mixed = folder("camlift-Mn78Op", 0700);  // ours plus a file of the user's
  WriteFile(mixed + "camlift.len", bytes);
  WriteFile(mixed + "notes.txt", "mine");
  const std::string target = folder("elsewhere", 0700);
  WriteFile(target + "camlift.len", bytes);
  fs::create_directory_symlink(target, temp_.path() + "camlift-Qr90St");
  const std::string guard = folder("camlift-100000", 0700);  // a runtime folder, uid 100000
  const std::string other_program = folder("other-Uv12Wx", 0700);
  WriteFile(other_program + "camlift.len", bytes);

  TfrmStrRes live(store, temp_.path(), "camlift");
  ASSERT_TRUE(live.Unpacked());
  {
    TfrmStrRes next(store, temp_.path(), "camlift");  // sweeps; the live copy holds its folder
    EXPECT_TRUE(fs::is_regular_file(live.Folder() + "camlift.len"));
  }
  EXPECT_FALSE(fs::exists(crashed));
  EXPECT_FALSE(fs::exists(crashed_empty));
  EXPECT_EQ("my own language notes", ReadFile(users + "camlift.len"));
  EXPECT_EQ(bytes, ReadFile(shared + "camlift.len"));
  EXPECT_FALSE(fs::exists(mixed + "camlift.len"));
  EXPECT_EQ("mine", ReadFile(mixed + "notes.txt"));
  EXPECT_EQ(bytes, ReadFile(target + "camlift.len"));
  EXPECT_TRUE(fs::is_symlink(temp_.path() + "camlift-Qr90St"));
  EXPECT_EQ(bytes, ReadFile(other_program + "camlift.len"));
  EXPECT_TRUE(fs::is_directory(guard));
  EXPECT_TRUE(fs::is_regular_file(live.Folder() + "camlift.len"));
}

TEST_F(StrResTest, AnUnwritableTemporaryFolderIsReported) {
  TfrmStrRes res(StoreOf({{"en", "[StrRes]\r\nIDS_A=a\r\n"}}), temp_.path() + "missing/",
                 "camlift");
  EXPECT_FALSE(res.Unpacked());
  EXPECT_EQ("", res.Folder());
  EXPECT_NE(std::string::npos, res.Problem().find(temp_.path() + "missing/"));
  EXPECT_EQ("", GetLangStr("IDS_A"));
}

// The options file's "lan" value becomes a file name: only a short code is taken.
TEST_F(StrResTest, StartLanguageTakesOnlyAShortCode) {
  TfrmStrRes res(EmbeddedLanguageStore(), temp_.path(), "camlift");
  const std::string fallback = StartLanguageCode("");  // the system's default
  struct Case {
    std::string stored;
    std::string expected;
  } cases[] = {
      {"cn", "cn"},
      {"b5", "b5"},
      {"fr", "en"},  // a code without a file
      {std::string(5000, 'x'), fallback},
      {"../../etc/passwd", fallback},
      {"c n", fallback},
      {"abcdefghi", fallback},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, StartLanguageCode(c.stored)) << c.stored;
  EXPECT_TRUE(IsLanguageCode("Ita"));
  EXPECT_FALSE(IsLanguageCode(""));
}

TEST(AccessibleText, CaptionsWithoutTheirAccessKey) {
  struct Case {
    const char* caption;
    const char* expected;
  } cases[] = {
      {"&OK", "OK"},
      {"&Options...", "Options..."},
      {"\xE7\xA1\xAE\xE5\xAE\x9A(&O)", "\xE7\xA1\xAE\xE5\xAE\x9A"},        // 确定(&O)
      {"\xE9\x80\x89\xE9\xA1\xB9(&O)...", "\xE9\x80\x89\xE9\xA1\xB9..."},  // 选项(&O)...
      {"Save && quit", "Save & quit"},
      {"(&&)", "(&)"},
      {"Upgrade System", "Upgrade System"},
      {"end&", "end"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, AccessibleText(c.caption)) << c.caption;
}

TEST_F(StrResTest, DamagedStoreLeavesNoFilesAndDefaults) {
  TfrmStrRes res("not a store", temp_.path(), "camlift");
  EXPECT_FALSE(res.Unpacked());
  EXPECT_EQ("the built-in language store is damaged", res.Problem());
  EXPECT_EQ(0, res.SkinStore1().Store().Count());
  SetLanguage("cn");
  EXPECT_EQ("en", CurrentLanguage());
  EXPECT_EQ("", GetLangStr("IDS_UPGRADEINFO"));
}

TEST_F(StrResTest, ALookupOverlappingASwitchDoesNotFillTheNewLanguage) {
  TfrmStrRes res(EmbeddedLanguageStore(), temp_.path(), "camlift");
  bool switched = false;
  SetLangLookupHookForTesting([&] {
    if (switched) return;
    switched = true;
    SetLanguage("cn");  // the UI thread switches while this lookup holds the English text
  });
  EXPECT_EQ(kUpgradeInfoEn, GetLangStr("IDS_UPGRADEINFO"));
  SetLangLookupHookForTesting(nullptr);
  EXPECT_EQ(kUpgradeInfoCn, GetLangStrUtf8("IDS_UPGRADEINFO"));
}

// Workers look texts up while the UI thread switches languages: every answer must be a whole
// text of one language, converted with that language's code page.
TEST_F(StrResTest, LookupsDuringLanguageSwitchesAreNeverTorn) {
  TfrmStrRes res(EmbeddedLanguageStore(), temp_.path(), "camlift");
  const std::set<std::string> utf8_allowed = {kUpgradeInfoEn, kUpgradeInfoCn, kUpgradeInfoB5};
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < 500000 && !stop.load(); ++i) {
        if ((i + t) % 2 == 0) {
          bad += utf8_allowed.count(GetLangStr("IDS_UPGRADEINFO")) == 0;
        } else {
          bad += utf8_allowed.count(GetLangStrUtf8("ids_upgradeinfo")) == 0;
        }
      }
    });
  }
  // Right after a switch, the UI thread must see the new language, whatever a worker that
  // started its read before the switch stores afterwards.
  const std::pair<const char*, std::string> switches[] = {
      {"cn", kUpgradeInfoCn}, {"b5", kUpgradeInfoB5}, {"en", kUpgradeInfoEn}};
  int stale = 0;
  for (int i = 0; i < 3000; ++i) {
    const auto& [code, expected] = switches[i % 3];
    SetLanguage(code);
    for (int k = 0; k < 5; ++k) stale += GetLangStr("IDS_UPGRADEINFO") != expected;
  }
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_EQ(0, stale);
}

}  // namespace
}  // namespace camlift
