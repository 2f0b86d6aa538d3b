// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <filesystem>

#include "ctp/pk2_format.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "r730/r730_series.h"
#include "support/temp_folder.h"
#include "upgrade/upgrade_factory.h"
#include "upgrade/upgrade_k.h"
#include "upgrade/upgrade_mp.h"
#include "upgrade/upgrade_r.h"
#include "util/text.h"

namespace camlift {
namespace {

// Exposes the protected results so the text rules can be driven directly.
class TProbe : public TSysUpgradeObject {
 public:
  void Set(const std::string& model, const std::string& version, const std::string& file) {
    model_ = model;
    current_version_ = version;
    repository_file_ = file;
  }
  void SetOem(const std::string& oem) { oem_text_ = oem; }
};

class TUIProbe : public TUIUpgradeObject {
 public:
  void SetOem(const std::string& oem) { oem_text_ = oem; }
};

TEST(UpgradeRules, ModelKey) {
  struct Case {
    std::string model, version;
    int prefix;
    std::string key;
  };
  const Case cases[] = {
      {"", "10.2.3", 0, "10.2"},   {"", "7", 0, ""},
      {"ABCD", "1.2", 2, "AB"},    {"ABCD", "1.2", 0, "ABCD"},
      {"ABCD", "1.2", -3, "ABCD"}, {"AB", "", 5, "AB"},
      {"", "1.2.3.4", 0, "1.2.3"},
  };
  for (const Case& c : cases) {
    TProbe p;
    p.Set(c.model, c.version, "");
    p.SetModelPrefixLength(c.prefix);
    EXPECT_EQ(c.key, p.ModelKey()) << c.model << "/" << c.version;
  }
}

TEST(UpgradeRules, TextBeforeLastIgnoresCase) {
  EXPECT_EQ("10.2", TextBeforeLast(".", "10.2.3"));
  EXPECT_EQ("abcXdef", TextBeforeLast("x", "abcXdefxghi"));
  EXPECT_EQ("a", TextBeforeLast("BC", "abcd"));
  EXPECT_EQ("", TextBeforeLast(".", "7"));
  EXPECT_EQ("", TextBeforeLast("", "abc"));
}

TEST(UpgradeRules, LocalFileName) {
  struct Case {
    std::string file, bin, pk2;
  };
  const Case cases[] = {
      {"  name.zip ", "name.bin", "name.pk2"},
      {"abcd", ".bin", ".pk2"},
      {"abc", "abc.bin", "abc.pk2"},
      {" fw_1.2.3.4.zip ", "fw_1.2.3.4.bin", "fw_1.2.3.4.pk2"},
      {"", ".bin", ".pk2"},
  };
  for (const Case& c : cases) {
    TProbe p;
    p.Set("", "", c.file);
    EXPECT_EQ(c.bin, p.LocalFileName()) << c.file;
    EXPECT_EQ(c.pk2, Pk2LocalFileName(c.file)) << c.file;
  }
}

TEST(UpgradeRules, IsSameVersionTrimsAndIgnoresCase) {
  TProbe p;
  p.Set("", "1.2.3A", "");
  EXPECT_TRUE(p.IsSameVersion("1.2.3a "));
  EXPECT_TRUE(p.IsSameVersion(" 1.2.3A"));
  EXPECT_FALSE(p.IsSameVersion("V1.2.3A"));
  EXPECT_FALSE(p.IsSameVersion("1.2.3"));
}

TEST(UpgradeRules, AccountIsTrimmedAndLowerCased) {
  TProbe p;
  p.SetUserName(" Admin \t");
  p.SetPassword("AbC");
  p.SetIPAddress(" 10.0.0.1 ");
  EXPECT_EQ("admin", p.UserName());
  EXPECT_EQ("abc", p.Password());
  EXPECT_EQ(" 10.0.0.1 ", p.IPAddress());
}

TEST(UpgradeRules, RepositoryFolderByKind) {
  TProbe sys;
  sys.SetOem("Brand");
  EXPECT_EQ("system", sys.RepositoryFolder());
  TUIProbe ui;
  ui.SetOem("Brand");
  EXPECT_EQ("Brand", ui.RepositoryFolder());
  EXPECT_EQ("SysVer", sys.VersionKey());
  EXPECT_EQ("SysFile", sys.FileKey());
  EXPECT_EQ("AppVer", ui.VersionKey());
  EXPECT_EQ("AppFile", ui.FileKey());
}

TEST(UpgradeRules, QuotedValues) {
  std::string value;
  EXPECT_TRUE(QuotedValueAfter("var sys_ver='1.2.3';", "sys_ver", '\'', value));
  EXPECT_EQ("1.2.3", value);
  EXPECT_TRUE(QuotedValueAfter("var app_ver='", "app_ver", '\'', value));
  EXPECT_EQ("", value);
  EXPECT_TRUE(QuotedValueAfter("app_ver='1.2", "app_ver", '\'', value));
  EXPECT_EQ("", value);
  EXPECT_FALSE(QuotedValueAfter("nothing here", "sys_ver", '"', value));
  EXPECT_TRUE(QuotedValueAfter("sys_ver=\"9.0\"; sys_ver=\"1\"", "sys_ver", '"', value));
  EXPECT_EQ("9.0", value);
}

TEST(UpgradeFactory, ClassesByIndexAndKind) {
  struct Case {
    int index;
    bool system;
    const std::type_info* type;
  };
  const Case cases[] = {
      {0, true, &typeid(TKSYSUpgrade)}, {0, false, &typeid(TKUIUpgrade)},
      {1, true, &typeid(TMSYSUpgrade)}, {1, false, &typeid(TMUIUpgrade)},
      {2, true, &typeid(TPSYSUpgrade)}, {2, false, &typeid(TPUIUpgrade)},
      {3, true, &typeid(TRSYSUpgrade)}, {3, false, &typeid(TRUIUpgrade)},
  };
  for (const Case& c : cases) {
    auto upgrader = TUpgradeFactory::CreateUpgrader(c.index, c.system);
    ASSERT_TRUE(upgrader);
    EXPECT_EQ(*c.type, typeid(*upgrader));
  }
  auto p = TUpgradeFactory::CreateUpgrader(2, true);
  EXPECT_EQ("admin", p->UserName());
  EXPECT_EQ("192.168.1.126", p->IPAddress());
  EXPECT_EQ(81, p->Port());
  EXPECT_EQ(0, p->ModelPrefixLength());
  EXPECT_EQ(nullptr, TUpgradeFactory::CreateUpgrader(4, false));
  EXPECT_EQ(nullptr, TUpgradeFactory::CreateUpgrader(-1, true));
}

TEST(UpgradeRules, UploadUrlOmitsPort80) {
  TMSYSUpgrade m;
  m.SetIPAddress("10.1.1.1");
  m.SetPort(80);
  EXPECT_EQ("http://10.1.1.1", UploadHostUrl(m));
  EXPECT_EQ("http://10.1.1.1:80/get_status.cgi", m.CameraUrl("/get_status.cgi"));
  m.SetPort(81);
  EXPECT_EQ("http://10.1.1.1:81", UploadHostUrl(m));
}

TEST(UpgradeRules, AccountQueryIsEncoded) {
  TRSYSUpgrade r;
  r.SetUserName("admin");
  r.SetPassword("");
  EXPECT_EQ("?user=admin&pwd=", AccountQuery(r));
  r.SetPassword("a&b#c d");
  EXPECT_EQ("?user=admin&pwd=a%26b%23c%20d", AccountQuery(r));
}

TEST(R730Upload, BaseByVersionText) {
  const std::string base = "http://10.0.0.9:8600";
  EXPECT_EQ("http://host:8600", TR730Series::UploadBase(base, "84.2.0.130", "host"));
  EXPECT_EQ("http://host:8600", TR730Series::UploadBase(base, "84.2.0.121", "host"));
  EXPECT_EQ(base, TR730Series::UploadBase(base, "48.9.0.1", "host"));
  EXPECT_EQ(base, TR730Series::UploadBase(base, "", "host"));
  EXPECT_EQ("http://host:8600", TR730Series::UploadBase(base, "9.0.0.1", "host"));
}

// Series R says a firmware file that cannot be read the way M and P say it, before any request.
TEST(R730Upload, UnreadableFirmwareFileIsSaid) {
  TfrmStrRes language;
  SetLanguage("en");
  test::TTempFolder temp;
  const std::string firmware = "firmware" + std::string(1024, '-');
  test::WriteFile(temp.path() + "fw.bin", firmware);
  for (bool system : {true, false}) {
    auto upgrader = TUpgradeFactory::CreateUpgrader(3, system);
    upgrader->SetIPAddress("127.0.0.1");
    upgrader->SetPort(1);
    ASSERT_TRUE(upgrader->UseLocalFirmware(temp.path() + "fw.bin", ""));
    std::filesystem::remove(upgrader->LocalFilePath());
    std::string message;
    EXPECT_FALSE(upgrader->Upload(message));
    EXPECT_EQ("Error on reading ROM for upgrade.", message);
    test::WriteFile(temp.path() + "fw.bin", firmware);
  }
}

}  // namespace
}  // namespace camlift
