// SPDX-License-Identifier: Apache-2.0
// camlift paths: the folders and files the real program uses, as a user would see them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "support/process.h"
#include "support/temp_folder.h"

namespace camlift::test {
namespace {

std::string ProgramFolder() {
  return std::filesystem::path(CAMLIFT_EXE).parent_path().string() + "/";
}

TEST(PathsCommand, WhereTheCacheAndTheRecordsGo) {
  TTempFolder temp;
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string data_dir_env;  // empty: unset
    std::string expected_folder;
  };
  const Case cases[] = {
      // The build tree is writable: it keeps its files beside the program, as a portable copy.
      {"build tree", {}, "", ProgramFolder()},
      {"environment", {}, temp.path() + "env", temp.path() + "env/"},
      {"--data-dir wins",
       {"--data-dir", temp.path() + "cli"},
       temp.path() + "env",
       temp.path() + "cli/"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {CAMLIFT_EXE, "paths", "--json"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const TProcessResult run =
        RunProcess(argv, {{"XDG_CONFIG_HOME", temp.path() + "config"},
                          {"XDG_CONFIG_DIRS", temp.path() + "etc"},
                          {"XDG_CACHE_HOME", temp.path() + "cache"},
                          {"XDG_STATE_HOME", temp.path() + "state"},
                          {"CAMLIFT_REPOSITORY_URL", "http://127.0.0.1:9/FM"},
                          {"CAMLIFT_DATA_DIR", c.data_dir_env}});
    ASSERT_EQ(0, run.exit_code) << c.name << run.err;
    const nlohmann::json paths = nlohmann::json::parse(run.out);
    EXPECT_EQ(false, paths["installed"]) << c.name;
    EXPECT_EQ(std::string(CAMLIFT_EXE), paths["program"]) << c.name;
    EXPECT_EQ(c.expected_folder, paths["cache"]) << c.name;
    EXPECT_EQ(c.expected_folder, paths["state"]) << c.name;
    EXPECT_EQ(c.expected_folder + "logs/", paths["logs"]) << c.name;
    EXPECT_EQ(c.expected_folder + "Bin/", paths["firmware"]) << c.name;
    EXPECT_EQ(temp.path() + "config/camlift/option.ini", paths["userOptions"]) << c.name;
    // A copy run from its own folder reads its defaults beside the program, not from /etc/xdg.
    EXPECT_EQ(ProgramFolder() + "option.ini", paths["defaultOptions"]) << c.name;
    EXPECT_EQ("http://127.0.0.1:9/FM/", paths["repository"]) << c.name;
  }
}

TEST(PathsCommand, TextNamesEachFolderOnItsOwnLine) {
  TTempFolder temp;
  const TProcessResult run =
      RunProcess({CAMLIFT_EXE, "paths", "--data-dir", temp.path() + "work"},
                 {{"XDG_CONFIG_HOME", temp.path() + "config"}, {"CAMLIFT_REPOSITORY_URL", ""}});
  ASSERT_EQ(0, run.exit_code) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(7u, lines.size()) << run.out;
  EXPECT_EQ("user options:     " + temp.path() + "config/camlift/option.ini (not present)",
            lines[1]);
  EXPECT_EQ("cache:            " + temp.path() + "work/ (catalogues, downloads, firmware in Bin/)",
            lines[3]);
  EXPECT_EQ("state:            " + temp.path() + "work/ (batch logs in logs/, history)", lines[4]);
  EXPECT_EQ("repository:       (none configured)", lines[6]);
}

// A report changes nothing: the folders it names stay as they were, missing ones missing.
TEST(PathsCommand, CreatesNothingItReports) {
  TTempFolder temp;
  const std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", temp.path() + "config"},
                                                  {"XDG_CACHE_HOME", temp.path() + "cache"},
                                                  {"XDG_STATE_HOME", temp.path() + "state"},
                                                  {"CAMLIFT_DATA_DIR", ""}};
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{CAMLIFT_EXE, "paths"},
        std::vector<std::string>{CAMLIFT_EXE, "paths", "--json"},
        std::vector<std::string>{CAMLIFT_EXE, "paths", "--data-dir", temp.path() + "work"}}) {
    const TProcessResult run = RunProcess(argv, env);
    ASSERT_EQ(0, run.exit_code) << run.err;
    EXPECT_TRUE(std::filesystem::is_empty(temp.path())) << argv.back();
  }
}

}  // namespace
}  // namespace camlift::test
