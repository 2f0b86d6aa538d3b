// SPDX-License-Identifier: Apache-2.0
// A repository that sends more than the engine takes: the download stops at its cap.
#include <gtest/gtest.h>

#include <filesystem>

#include "repository/upgrade_opt.h"
#include "support/raw_http_server.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

TEST(DownloadFile, StopsAtTheCapAndKeepsWhatArrivedUpToIt) {
  test::TTempFolder temp;
  const std::string path = temp.path() + "file";
  struct Case {
    std::size_t body;
    std::uint64_t cap;
    bool ok;
    std::uintmax_t kept;
  };
  const Case cases[] = {
      {1000, 1000, true, 1000}, {5000, 1000, false, 1000}, {300000, 4096, false, 4096}};
  for (const Case& c : cases) {
    test::TRawHttpServer server(
        [&](const std::string&) { return test::HttpReply(200, "OK", std::string(c.body, 'x')); });
    EXPECT_EQ(c.ok, TUpgradeOpt::DownloadFile(server.url("/f"), path, TRunControl::None(), c.cap))
        << c.body;
    EXPECT_EQ(c.kept, std::filesystem::file_size(path)) << c.body;
  }
}

}  // namespace
}  // namespace camlift
