// SPDX-License-Identifier: Apache-2.0
// Where an installed program keeps its files (the XDG folders) and where a build tree or a
// portable copy keeps them (its own folder), and what --data-dir and CAMLIFT_DATA_DIR change.
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "platform/paths.h"
#include "support/temp_folder.h"
#include "util/option_file.h"
#include "util/tools.h"

namespace camlift {
namespace {

// Sets (or with nullptr removes) an environment variable for the life of the object.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~TScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(XdgFolders, CacheAndStateFollowTheVariablesElseTheHomeFolder) {
  struct Case {
    const char* cache_home;
    const char* state_home;
    const char* expected_cache;
    const char* expected_state;
  };
  const Case cases[] = {
      {nullptr, nullptr, "/home/helen/.cache/camlift/", "/home/helen/.local/state/camlift/"},
      {"/var/tmp/c", "/var/tmp/s/", "/var/tmp/c/camlift/", "/var/tmp/s/camlift/"},
      // XDG asks to ignore relative values.
      {"cache", "state", "/home/helen/.cache/camlift/", "/home/helen/.local/state/camlift/"},
      {"", "", "/home/helen/.cache/camlift/", "/home/helen/.local/state/camlift/"},
  };
  TScopedEnv home("HOME", "/home/helen");
  for (const Case& c : cases) {
    TScopedEnv cache("XDG_CACHE_HOME", c.cache_home);
    TScopedEnv state("XDG_STATE_HOME", c.state_home);
    EXPECT_EQ(c.expected_cache, XdgCacheFolder()) << (c.cache_home ? c.cache_home : "unset");
    EXPECT_EQ(c.expected_state, XdgStateFolder()) << (c.state_home ? c.state_home : "unset");
  }
}

TEST(XdgFolders, SystemDefaultsComeFromTheFirstConfigDirThatHoldsTheFile) {
  test::TTempFolder temp;
  TTools::ForceDirs(temp.path() + "b/camlift");
  TTools::ForceDirs(temp.path() + "c/camlift");
  test::WriteFile(temp.path() + "b/camlift/option.ini", "[Global]\nrepository=http://b/FM/\n");
  test::WriteFile(temp.path() + "c/camlift/option.ini", "[Global]\nrepository=http://c/FM/\n");
  const std::string a = temp.path() + "a", b = temp.path() + "b", c = temp.path() + "c";
  struct Case {
    std::optional<std::string> dirs;
    std::string expected;
  };
  const Case cases[] = {
      {std::nullopt, "/etc/xdg/camlift/"},
      {"", "/etc/xdg/camlift/"},
      {a + ":" + b + ":" + c, b + "/camlift/"},
      {c + "/:" + b, c + "/camlift/"},
      // None holds the file: the first entry is where it would be read.
      {a, a + "/camlift/"},
      {"relative:" + b, b + "/camlift/"},
      // Empty entries are skipped wherever they stand.
      {":" + b, b + "/camlift/"},
      {a + "::" + b, b + "/camlift/"},
      {a + ":", a + "/camlift/"},
      {":", "/etc/xdg/camlift/"},
  };
  for (const Case& test_case : cases) {
    TScopedEnv dirs("XDG_CONFIG_DIRS", test_case.dirs ? test_case.dirs->c_str() : nullptr);
    EXPECT_EQ(test_case.expected, XdgSystemConfigFolder("option.ini"))
        << test_case.dirs.value_or("unset");
  }
}

TEST(XdgFolders, SystemProgramFoldersCountAsInstalled) {
  // A folder beside the test program: every folder above it is trusted, as the build tree is.
  test::TTempFolder trusted(TTools::ModulePath());
  test::TTempFolder open(TTools::ModulePath());  // others may write it
  ::chmod(open.path().c_str(), 0777);
  struct Case {
    std::string folder;
    bool installed;
  };
  const Case cases[] = {
      {"/usr/bin/", true},
      {"/usr/bin", true},
      {"/usr/local/bin/", true},
      {"/bin/", true},
      {"/usr/games/", true},
      {trusted.path(), false},           // a build tree or a portable copy: writable
      {trusted.path() + "gone/", true},  // a folder the program may not write
      {open.path(), true},               // one it may not trust
      {"", true},                        // the program's path could not be read
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.installed, IsInstalledProgramFolder(c.folder)) << c.folder;
  // The test program runs from the build tree.
  EXPECT_FALSE(ProgramIsInstalled());
}

TEST(XdgFolders, DataDirThenEnvironmentThenBuildTreeThenXdg) {
  test::TTempFolder temp(TTools::ModulePath());
  test::TTempFolder open(TTools::ModulePath());
  ::chmod(open.path().c_str(), 0777);
  const std::string xdg = temp.path() + "xdg/camlift/";
  TScopedEnv env("CAMLIFT_DATA_DIR", nullptr);
  EXPECT_EQ(xdg, DataFolderFor("/usr/bin/", xdg));
  EXPECT_EQ(temp.path(), DataFolderFor(temp.path(), xdg));
  // A copy in a folder others may write keeps nothing there: they could plant links in it.
  EXPECT_EQ(xdg, DataFolderFor(open.path(), xdg));
  {
    TScopedEnv data("CAMLIFT_DATA_DIR", (temp.path() + "env").c_str());
    EXPECT_EQ(temp.path() + "env/", DataFolderFor("/usr/bin/", xdg));
    SetWorkFolder(temp.path() + "cli");
    EXPECT_EQ(temp.path() + "cli/", DataFolderFor("/usr/bin/", xdg));
    SetWorkFolder("");
  }
  // The build tree's own folder holds the cache and the records, as before.
  EXPECT_EQ(TTools::ModulePath(), CacheFolder());
  EXPECT_EQ(TTools::ModulePath(), StateFolder());
  EXPECT_EQ(TTools::ModulePath(), DefaultsFolder("option.ini"));
}

TEST(XdgFolders, SystemWideDefaultsAreReadAndNeverWritten) {
  test::TTempFolder temp;
  TTools::ForceDirs(temp.path() + "etc/camlift");
  TTools::ForceDirs(temp.path() + "user");
  const std::string site = "[Global]\nrepository=http://site.example/FM/\nlan=cn\n";
  test::WriteFile(temp.path() + "etc/camlift/option.ini", site);
  TScopedEnv dirs("XDG_CONFIG_DIRS", (temp.path() + "etc").c_str());
  TOptionFile options("option.ini", XdgSystemConfigFolder("option.ini"), temp.path() + "user/");
  EXPECT_EQ("http://site.example/FM/", options.ReadString("Global", "repository", ""));
  EXPECT_TRUE(options.WriteString("Global", "lan", "en"));
  EXPECT_EQ("en", options.ReadString("Global", "lan", ""));
  EXPECT_EQ(site, test::ReadFile(temp.path() + "etc/camlift/option.ini"));
}

TEST(XdgFolders, WithoutHomeTheAccountsHomeFolderIsUsed) {
  const passwd* pw = ::getpwuid(::geteuid());
  ASSERT_TRUE(pw && pw->pw_dir);
  TScopedEnv home("HOME", nullptr);
  TScopedEnv cache("XDG_CACHE_HOME", nullptr);
  EXPECT_EQ(std::string(pw->pw_dir) + "/.cache/camlift/", XdgCacheFolder());
}

// sudo -E camlift ...: root must not leave root-owned folders in the user's home, or the user's
// own runs can no longer write their firmware cache and logs.
TEST(XdgFolders, RootInAUsersHomeUsesItsOwnHome) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a folder to another user";
  test::TTempFolder temp;
  const std::string user_home = temp.path() + "home/helen";
  TTools::ForceDirs(user_home);
  ASSERT_EQ(0, ::chown(user_home.c_str(), 65534, 65534));
  TScopedEnv home("HOME", user_home.c_str());
  TScopedEnv cache("XDG_CACHE_HOME", (user_home + "/.cache").c_str());
  TScopedEnv state("XDG_STATE_HOME", nullptr);
  const std::string root_home = ::getpwuid(0)->pw_dir;
  EXPECT_EQ(root_home + "/.cache/camlift/", XdgCacheFolder());
  EXPECT_EQ(root_home + "/.local/state/camlift/", XdgStateFolder());
  // Root's own HOME is used as it stands.
  ASSERT_EQ(0, ::chown(user_home.c_str(), 0, 0));
  EXPECT_EQ(user_home + "/.cache/camlift/", XdgCacheFolder());
}

// Without a home folder the files go to a folder of this user's own below $TMPDIR: never $TMPDIR
// itself, and never a folder or a link someone else put there under the name first.
TEST(XdgFolders, PrivateTempFolderIsNeverOneSomeoneElseMade) {
  namespace fs = std::filesystem;
  test::TTempFolder temp;
  TScopedEnv tmpdir("TMPDIR", temp.path().c_str());
  const std::string fixed = temp.path() + "camlift-" + std::to_string(::getuid());
  TTools::ForceDirs(temp.path() + "elsewhere");
  enum class Planted { kNothing, kLink, kOpenFolder, kFile, kOtherOwner };
  for (Planted planted : {Planted::kNothing, Planted::kLink, Planted::kOpenFolder, Planted::kFile,
                          Planted::kOtherOwner}) {
    fs::remove_all(fixed);
    if (planted == Planted::kLink) fs::create_directory_symlink(temp.path() + "elsewhere", fixed);
    if (planted == Planted::kOpenFolder) ::mkdir(fixed.c_str(), 0777), ::chmod(fixed.c_str(), 0777);
    if (planted == Planted::kFile) test::WriteFile(fixed, "x");
    if (planted == Planted::kOtherOwner) {
      ::mkdir(fixed.c_str(), 0700);
      if (::geteuid() != 0 || ::chown(fixed.c_str(), 65534, 65534) != 0) continue;
    }
    const std::string folder = PrivateTempFolder();
    const int row = static_cast<int>(planted);
    ASSERT_FALSE(folder.empty()) << row;
    EXPECT_NE(temp.path(), folder) << row;
    EXPECT_EQ(planted == Planted::kNothing, fixed + "/" == folder) << row;
    struct stat st {};
    ASSERT_EQ(0, ::lstat(folder.c_str(), &st)) << row;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << row;
    EXPECT_EQ(::geteuid(), st.st_uid) << row;
    EXPECT_EQ(0700u, st.st_mode & 0777) << row;
    EXPECT_TRUE(fs::is_empty(temp.path() + "elsewhere")) << row;
  }
}

// A program unpacked into a folder it may not write still reads the defaults beside it; only a
// system program folder reads the system-wide file.
TEST(XdgFolders, DefaultsFolderForProgramFolders) {
  test::TTempFolder temp(TTools::ModulePath());
  TTools::ForceDirs(temp.path() + "etc/camlift");
  TScopedEnv dirs("XDG_CONFIG_DIRS", (temp.path() + "etc").c_str());
  EXPECT_EQ(temp.path(), DefaultsFolderFor(temp.path(), "option.ini"));
  EXPECT_EQ(temp.path() + "etc/camlift/", DefaultsFolderFor("/usr/bin", "option.ini"));
  EXPECT_EQ(temp.path() + "etc/camlift/", DefaultsFolderFor("/usr/local/bin/", "option.ini"));
  EXPECT_EQ(temp.path() + "etc/camlift/", DefaultsFolderFor(temp.path() + "gone/", "option.ini"));
  // Defaults beside a copy that others could have written are not read, also when they are there.
  test::TTempFolder open(TTools::ModulePath());
  ::chmod(open.path().c_str(), 0777);
  test::WriteFile(open.path() + "option.ini", "[Global]\r\nrepository=http://elsewhere/FM/\r\n");
  EXPECT_EQ(temp.path() + "etc/camlift/", DefaultsFolderFor(open.path(), "option.ini"));
  // Nor a file that others may change in a folder that is ours.
  test::TTempFolder own(TTools::ModulePath());
  ::chmod(own.path().c_str(), 0755);
  test::WriteFile(own.path() + "option.ini", "[Global]\r\nrepository=http://elsewhere/FM/\r\n");
  for (const mode_t mode : {0666, 0664}) {
    ::chmod((own.path() + "option.ini").c_str(), mode);
    EXPECT_EQ(temp.path() + "etc/camlift/", DefaultsFolderFor(own.path(), "option.ini")) << mode;
  }
  ::chmod((own.path() + "option.ini").c_str(), 0644);
  EXPECT_EQ(own.path(), DefaultsFolderFor(own.path(), "option.ini"));
}

// The same rule for a file read from the program folder.
TEST(XdgFolders, ProgramFileTrust) {
  test::TTempFolder base;
  const std::string file = base.path() + "libDVSNETClient.so";
  EXPECT_EQ("", ProgramFileDistrust(file));  // absent: nothing to distrust
  test::WriteFile(file, "library");
  const struct {
    mode_t mode;
    std::string expected;
  } cases[] = {
      {0644, ""},
      {0755, ""},
      {0664, file + " may be written by its group (mode 0664)"},
      {0666, file + " may be written by others (mode 0666)"},
  };
  for (const auto& c : cases) {
    ::chmod(file.c_str(), c.mode);
    EXPECT_EQ(c.expected, ProgramFileDistrust(file)) << c.mode;
  }
  if (::geteuid() == 0) {
    ::chmod(file.c_str(), 0644);
    ASSERT_EQ(0, ::chown(file.c_str(), 4242, 0));
    EXPECT_EQ(file + " belongs to another user (uid 4242)", ProgramFileDistrust(file));
  }
}

// The rule ssh applies to the folders of its files: owner this user or root, no group or other
// write on the folder nor on any folder above it.
TEST(XdgFolders, ProgramFolderTrust) {
  test::TTempFolder base(TTools::ModulePath());
  const std::string bin = base.path() + "bin/";
  TTools::ForceDirs(bin);
  ::chmod(base.path().c_str(), 0755);
  ::chmod(bin.c_str(), 0755);
  EXPECT_EQ("", ProgramFolderDistrust(bin));
  EXPECT_EQ("", ProgramFolderDistrust(base.path() + "bin"));
  ::chmod(bin.c_str(), 0775);
  EXPECT_EQ(bin + " may be written by its group (mode 0775)", ProgramFolderDistrust(bin));
  ::chmod(bin.c_str(), 01777);
  EXPECT_EQ(bin + " may be written by others (mode 1777)", ProgramFolderDistrust(bin));
  ::chmod(bin.c_str(), 0755);
  ::chmod(base.path().c_str(), 0757);
  EXPECT_EQ(base.path() + " may be written by others (mode 0757)", ProgramFolderDistrust(bin));
  // A sticky folder of root's above it, as /tmp: others cannot rename or remove what is ours.
  if (::geteuid() == 0) {
    ::chmod(base.path().c_str(), 01777);
    EXPECT_EQ("", ProgramFolderDistrust(bin));
    ASSERT_EQ(0, ::chown(base.path().c_str(), 4242, 0));
    EXPECT_EQ(base.path() + " belongs to another user (uid 4242)", ProgramFolderDistrust(bin));
    ASSERT_EQ(0, ::chown(base.path().c_str(), 0, 0));
  }
  ::chmod(base.path().c_str(), 0700);
  EXPECT_EQ(bin + "gone/ cannot be examined", ProgramFolderDistrust(bin + "gone/"));
  EXPECT_EQ("the program folder is unknown", ProgramFolderDistrust(""));
  EXPECT_EQ("", ProgramFolderDistrust("/usr/bin/"));
}

// A defaults file that is not a small regular file (a pipe left there, a huge file) is passed
// over rather than read whole: the program neither hangs nor runs out of memory at start.
TEST(XdgFolders, DefaultsThatAreNoOptionsFileAreIgnored) {
  namespace fs = std::filesystem;
  test::TTempFolder temp;
  TTools::ForceDirs(temp.path() + "user");
  test::WriteFile(temp.path() + "user/option.ini", "[Global]\nlan=b5\n");
  const std::string site = temp.path() + "etc/camlift/option.ini";
  enum class Kind { kSmall, kPipe, kHuge, kFolder };
  struct Case {
    Kind kind;
    const char* repository;
  };
  const Case cases[] = {{Kind::kSmall, "http://site.example/FM/"},
                        {Kind::kPipe, ""},
                        {Kind::kHuge, ""},
                        {Kind::kFolder, ""}};
  for (const Case& c : cases) {
    fs::remove_all(temp.path() + "etc");
    TTools::ForceDirs(temp.path() + "etc/camlift");
    if (c.kind == Kind::kSmall || c.kind == Kind::kHuge) {
      test::WriteFile(site, "[Global]\nrepository=http://site.example/FM/\nlan=cn\n");
    }
    if (c.kind == Kind::kHuge) fs::resize_file(site, 64ull * 1024 * 1024);  // sparse: costs no disk
    if (c.kind == Kind::kPipe) {
      ASSERT_EQ(0, ::mkfifo(site.c_str(), 0644));
    }
    if (c.kind == Kind::kFolder) TTools::ForceDirs(site);
    TOptionFile options("option.ini", temp.path() + "etc/camlift/", temp.path() + "user/");
    const int row = static_cast<int>(c.kind);
    EXPECT_EQ(c.repository, options.ReadString("Global", "repository", "")) << row;
    EXPECT_EQ("b5", options.ReadString("Global", "lan", "")) << row;  // the user's value wins
  }
}

}  // namespace
}  // namespace camlift
