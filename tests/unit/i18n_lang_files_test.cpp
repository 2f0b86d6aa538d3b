// SPDX-License-Identifier: Apache-2.0
// The three shipped language files: complete, consistent, and readable in their code pages.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/temp_folder.h"
#include "util/ini_file.h"
#include "util/text_convert.h"

namespace camlift {
namespace {

const char* const kCodes[] = {"en", "cn", "b5"};
constexpr std::string_view kColon = "\xA3\xBA";  // full-width colon in GBK
constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

std::string LangFile(std::string_view code) {
  return test::ReadFile(std::string(CAMLIFT_SOURCE_DIR) + "/core/i18n/lang/" + std::string(code) +
                        ".lng");
}

struct Entry {
  std::string_view key, value;
};

// Values as read (blanks around "=" dropped, before escapes are expanded).
const Entry kEnglishStrRes[] = {
    {"IDS_SOFTMEMO",
     "$b$b$bhe upgrade software for IP Cam Version1.1, You can use this software to upgrade the "
     "user interface rom and system rom.The user interface rom is a package which consists of "
     "functions used for the interactive between$n     users and IP Cam.The system rom is a "
     "package which consists of the basic and important functions the IP Cam provided.Notice: "
     "Upgrading is a risky job!"},
    {"IDS_ERROR", "ERROR"},
    {"IDS_WARNING", "WARNING"},
    {"IDS_CONFIRM", "CONFIRM"},
    {"IDS_INFORMATION", "INFORMATION"},
    {"IDS_NOIPCTYPE", "Please choose device type!"},
    {"IDS_NOLOGINUSER", "User cannot by empty!"},
    {"IDS_NOMCODE", "Please input the device code"},
    {"IDS_READIPCERROR", "Error on reading the device information!"},
    {"IDS_NOIPADDR", "The IP address cannot be empty!"},
    {"IDS_NOPORT", "Please input a valid port."},
    {"IDS_PORTERROR", "Port is error!"},
    {"IDS_NOWEBCONNECT",
     "Failed on getting configuration files, please check if the pc already connect to "
     "Internet."},
    {"IDS_NOIPCCONNECT",
     "IP Cam cannot be accessed, please check the device to make sure it work correctly."},
    {"IDS_IPCCONNECTED", "Device connected normally"},
    {"IDS_VERSIONERROR", "Failed on reading present version information."},
    {"IDS_CURRVERSION", "The version of present device rom is :"},
    {"IDS_DOWNFIRMERR", "Failed to read version information of the latest rom."},
    {"IDS_HIGHVERSION", "The version of latest  device rom is :"},
    {"IDS_ISUPDATEFIRM",
     "This version is already the latest one, do you still want to upgrade rom?"},
    {"IDS_NOUPDATEFIRM", "It is the latest one, there is no need to upgrade !"},
    {"IDS_NONEWVERSION", "The version for upgrading is no available."},
    {"IDS_DOWNLOADING", "Downloading rom for upgrading..."},
    {"IDS_DOWNLOADERR", "Failed to get ROM for upgrading."},
    {"IDS_UPGRADING",
     "Begin to upgrade device''s rom, please hold the connection of the device normally."},
    {"IDS_UPGRADED",
     "Successfully upgrade ROM, it is going to reboot the device, please wait....."},
    {"IDS_IPCWORKING", "IP Cam is Working!"},
    {"IDS_UPGRADEFILEERR", "Error on reading ROM for upgrade."},
    {"IDS_UPGRADESUCC", "Successfully upgrading!"},
    {"IDS_UPGRADEFAIL", "Upgrade failed:"},
    {"IDS_IPCCONNETERR", "IP camera connected failure!"},
    {"IDS_UPGRADEFILEFAIL",
     "Upgrade file verification failed, please choose the correct upgrade file!"},
    {"IDS_LOGINERROR", "IP camera login failed, please check the user and password!"},
    {"IDS_EXITIPCERR", "IP camera exit current mode operation failed!"},
    {"IDS_CLOSEIPCERROR", "Closed IP camera connection failed!"},
    {"IDS_INITWSADATAERR", "WsaData initialization error!"},
    {"IDS_CRTSOCKETERR", "Creates a Socket connection error!"},
    {"IDS_NOTE",
     "Notice: Upgrading  ROM requires  the log-in users with highest privilege to process."},
    {"IDS_VERSION", ""},  // the legal notice: our own text, only required to be there
    {"IDS_UPGRADEINFO", "upgrading firmware, please wait."},
    {"IDS_ENTERUPGRADEERR", "IP Camera access to upgrade the mode of failure!"},
    {"IDS_DEVCOUNT", "IPCam Number:"},
};

// Keys later work relies on, beyond the table above.
const char* const kAddedStrRes[] = {
    "IDS_RUNNED",       "IDS_NOTRETURNED",      "IDS_UNEXPECTEDERR",    "IDS_CANCELLED",
    "IDS_NOREPOSITORY", "IDS_VERSIONCONFIRMED", "IDS_VERSIONUNCHANGED", "IDS_UPGRADEFROMFILE",
    "IDS_CANCEL",       "IDS_CANCELASKED",      "IDS_ACCOUNTREFUSED",   "IDS_VERSIONUNREAD"};

const Entry kEnglishMainWindow[] = {
    {"Caption", "The upgrade software for IP Cam, Version1.1"},
    {"lblSoftName.Caption", "T"},
    {"lblSoftMemo.Caption", ""},
    {"lblIPCType.Caption", "IP Cam Type\xA3\xBA"},
    {"lblIPCUser.Caption", "Account\xA3\xBA"},
    {"lblIPCPwd.Caption", "Password\xA3\xBA"},
    {"cmbMType.Items0.Caption", "K series"},
    {"cmbMType.Items1.Caption", "M series"},
    {"cmbMType.Items2.Caption", "P series"},
    {"cmbMType.Items3.Caption", "R series"},
    {"TabSheet1.Caption", "Use the IP address to Upgrade rom"},
    {"TabSheet2.Caption", "Use the device code to upgrade rom"},
    {"lblIPMemo.Caption", ""},
    {"lblIPCIP.Caption", "IP address\xA3\xBA"},
    {"lblIPCPort.Caption", "Port\xA3\xBA"},
    {"btnUpgrdUIByIP.Caption", "Upgrade UI"},
    {"btnUpgrdSysByIP.Caption", "Upgrade System"},
    {"lblMCodeMemo.Caption", ""},
    {"lblmCode.Caption", "Device code\xA3\xBA"},
    {"btnUpgrdUIByMCode.Caption", "Upgrade UI"},
    {"btnUpgrdSysByMCode.Caption", "Upgrade System"},
    {"GroupBox3.Caption", "Operation Log"},
    {"mnuHistory.Caption", "History..."},
    {"N2.Caption", "Save log..."},
    {"N1.Caption", "Clear log"},
    {"btnFindCam.Caption", "Search LAN IP camera"},
    {"Label1.Caption", "Language\xA3\xBA"},
    {"btnOptions.Caption", "&Options..."},
};

const Entry kEnglishSelectDialog[] = {
    {"Caption", "Select IP Camera"},
    {"btnOK.Caption", "&OK"},
    {"btnCancel.Caption", "&Cancel"},
    {"btnFind.Caption", "&Find"},
    {"GroupBox1.Caption", "IP Camera List"},
    {"lblDevNum.Caption", "IPCamera Number\xA3\xBA"},
    {"ListView.Columns0.Caption", "Type"},
    {"ListView.Columns1.Caption", "Name"},
    {"ListView.Columns2.Caption", "IP address"},
    {"ListView.Columns3.Caption", "Port"},
    {"ListView.Columns4.Caption", "Version"},
    {"plInfo.Caption", "There is no camera found in the LAN."},
    {"lblManualIP.Caption", "Address\xA3\xBA"},
    {"mnuCopyIP.Caption", "Copy IP address"},
    {"mnuOpenWeb.Caption", "Open the camera's web page"},
    {"mnuExport.Caption", "Export the list..."},
    {"btnCheckUpdates.Caption", "Check for &updates"},
    {"mnuCheckUpdates.Caption", "Check for updates"},
    {"ListView.Columns5.Caption", "Latest"},
    {"ListView.Columns6.Caption", "State"},
    {"mnuNetSettings.Caption", "Network settings..."},
};

const Entry kEnglishOptions[] = {
    {"Caption", "Options"},
    {"lblRepository.Caption", "Firmware repository address\xA3\xBA"},
    {"lblRepositoryHint.Caption", ""},
    {"btnTest.Caption", "&Test"},
    {"btnOK.Caption", "&OK"},
    {"btnCancel.Caption", "&Cancel"},
};

template <std::size_t N>
void ExpectEnglishSection(const TIniData& en, std::string_view section, const Entry (&table)[N]) {
  std::vector<std::string> expected_keys;
  for (const Entry& e : table) {
    SCOPED_TRACE(std::string(section) + "/" + std::string(e.key));
    expected_keys.emplace_back(e.key);
    const auto value = en.Find(section, e.key);
    ASSERT_TRUE(value.has_value());
    if (e.value.empty()) {
      EXPECT_FALSE(value->empty());  // our own wording
    } else {
      EXPECT_EQ(e.value, *value);
    }
  }
  std::vector<std::string> keys = en.KeyNames(section);
  if (section == "StrRes") keys.resize(std::min(keys.size(), expected_keys.size()));
  EXPECT_EQ(expected_keys, keys) << section;
}

TEST(LanguageFiles, EnglishHoldsEveryListedKeyWithItsText) {
  const TIniData en = ParseIni(LangFile("en"));
  ExpectEnglishSection(en, "Form_frmCamlift", kEnglishMainWindow);
  ExpectEnglishSection(en, "Form_frmAdv_Main", kEnglishSelectDialog);
  ExpectEnglishSection(en, "StrRes", kEnglishStrRes);
  ExpectEnglishSection(en, "Form_frmOptions", kEnglishOptions);
  // The description names the support line; the window cuts it at "QQ".
  const std::string memo = *en.Find("Form_frmCamlift", "lblSoftMemo.Caption");
  EXPECT_EQ(0u, memo.find("$b$b$bhe upgrade software for IP Cam Version1.1, Upgrade system rom"));
  EXPECT_NE(std::string::npos, memo.find("tech support---QQ:"));
  EXPECT_EQ(0u, en.Find("Form_frmCamlift", "lblIPMemo.Caption")->find("$b$b click on the"));
  EXPECT_NE(std::string::npos, en.Find("Form_frmCamlift", "lblIPMemo.Caption")->find("$n$b$b"));
  EXPECT_EQ(0u, en.Find("Form_frmCamlift", "lblMCodeMemo.Caption")
                    ->find("$b$bUse the device cod to upgrade rom"));
  EXPECT_EQ("English", *en.Find("Global", "Name_en"));
}

TEST(LanguageFiles, AllThreeHaveTheSameSectionsAndKeysInTheSameOrder) {
  const TIniData en = ParseIni(LangFile("en"));
  for (const char* code : {"cn", "b5"}) {
    SCOPED_TRACE(code);
    const TIniData other = ParseIni(LangFile(code));
    ASSERT_EQ(en.SectionNames(), other.SectionNames());
    for (const std::string& section : en.SectionNames()) {
      std::vector<std::string> keys = other.KeyNames(section);
      if (section == "Global" && std::string_view(code) == "b5") {
        EXPECT_EQ("Name_pl", keys.back());
        keys.pop_back();
      }
      EXPECT_EQ(en.KeyNames(section), keys) << section;
    }
  }
  EXPECT_EQ((std::vector<std::string>{"Global", "Form_frmCamlift", "Form_frmAdv_Main", "StrRes",
                                      "Form_frmOptions"}),
            en.SectionNames());
  EXPECT_EQ((std::vector<std::string>{"order", "Name_en", "Name_cn", "Name_b5"}),
            en.KeyNames("Global"));
}

TEST(LanguageFiles, EveryValueIsFilledAndEscapesFollowTheEnglish) {
  const TIniData en = ParseIni(LangFile("en"));
  for (const char* code : kCodes) {
    SCOPED_TRACE(code);
    const TIniData ini = ParseIni(LangFile(code));
    for (const std::string& section : ini.SectionNames()) {
      for (const std::string& key : ini.KeyNames(section)) {
        const std::string value = *ini.Find(section, key);
        EXPECT_FALSE(value.empty()) << section << "/" << key;
        const std::string english = en.ReadString(section, key, "");
        EXPECT_EQ(english.find("$n") != std::string::npos, value.find("$n") != std::string::npos)
            << section << "/" << key;
      }
    }
    for (const char* key : kAddedStrRes) EXPECT_TRUE(ini.ValueExists("StrRes", key)) << key;
    // IDS_RUNNED is used as a format with the window caption as its only argument.
    const std::string runned = *ini.Find("StrRes", "IDS_RUNNED");
    EXPECT_EQ(1, std::count(runned.begin(), runned.end(), '%'));
    EXPECT_NE(std::string::npos, runned.find("%s"));
    EXPECT_NE(std::string::npos, ini.Find("Form_frmCamlift", "lblSoftMemo.Caption")->find("QQ"));
  }
}

TEST(LanguageFiles, BytesDecodeCleanlyWithCrLfLineEnds) {
  for (const char* code : kCodes) {
    SCOPED_TRACE(code);
    const std::string bytes = LangFile(code);
    ASSERT_FALSE(bytes.empty());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') {
        EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
      } else if (bytes[i] == '\r') {
        EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at " << i;
      }
    }
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
    const std::string utf8 = LangToUtf8(bytes, code);
    EXPECT_EQ(std::string::npos, utf8.find(kReplacementChar));
  }
  // The Chinese files are not English: they hold CJK text in every message.
  EXPECT_EQ(
      "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8D\x87\xE7\xBA\xA7\xE5\x9B\xBA\xE4\xBB\xB6\xEF\xBC\x8C"
      "\xE8\xAF\xB7\xE7\xA8\x8D\xE5\x80\x99\xE3\x80\x82",  // 正在升级固件，请稍候。
      LangToUtf8(*ParseIni(LangFile("cn")).Find("StrRes", "IDS_UPGRADEINFO"), "cn"));
  EXPECT_EQ(
      "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8D\x87\xE7\xB4\x9A\xE9\x9F\x8C\xE9\xAB\x94\xEF\xBC\x8C"
      "\xE8\xAB\x8B\xE7\xA8\x8D\xE5\x80\x99\xE3\x80\x82",  // 正在升級韌體，請稍候。
      LangToUtf8(*ParseIni(LangFile("b5")).Find("StrRes", "IDS_UPGRADEINFO"), "b5"));
}

}  // namespace
}  // namespace camlift
