// SPDX-License-Identifier: Apache-2.0
#include "util/tools.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/raw_http_server.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

using test::HeaderLines;
using test::HttpReply;
using test::RawReply;
using test::TRawHttpServer;

int CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
  return n;
}

TEST(HttpGetText, AnUnauthorizedPageIsASuccessWithThatPage) {
  TRawHttpServer server([](const std::string&) {
    return HttpReply(401, "Unauthorized", "<html>401 Unauthorized</html>");
  });
  std::string text;
  EXPECT_TRUE(TTools::HttpGetText(server.url("/oem.txt"), text, 2000, "admin", "x"));
  EXPECT_EQ("<html>401 Unauthorized</html>", text);
}

TEST(HttpGetText, SilentServerFailsAfterAboutTheTimeout) {
  TRawHttpServer server([](const std::string&) {
    RawReply silent;
    silent.never_answer = true;
    return silent;
  });
  std::string text = "old";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(TTools::HttpGetText(server.url("/oem.txt"), text, 300, "", ""));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ("", text);
  EXPECT_GE(took, std::chrono::milliseconds(280));
  EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST(HttpGetText, RequestHeadersFollowTheAuthorizationRule) {
  TRawHttpServer server([](const std::string&) { return HttpReply(200, "OK", "x"); });
  std::string text;
  ASSERT_TRUE(TTools::HttpGetText(server.url("/a"), text, 2000, "admin", ""));
  ASSERT_TRUE(TTools::HttpGetText(server.url("/b"), text, 2000, "", "secret"));
  ASSERT_TRUE(TTools::HttpGetText(server.url("/c"), text, 2000, "admin", "531642"));
  const auto requests = server.requests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ(0, CountLinesStartingWith(HeaderLines(requests[0]), "Authorization"));
  EXPECT_EQ(0, CountLinesStartingWith(HeaderLines(requests[1]), "Authorization"));
  const auto third = HeaderLines(requests[2]);
  EXPECT_EQ(1, CountLinesStartingWith(third, "Authorization"));
  EXPECT_EQ(1, CountLinesStartingWith(third, "Authorization: Basic YWRtaW46NTMxNjQy"));
  EXPECT_EQ(1, CountLinesStartingWith(third, "User-Agent: MyIP"));
  EXPECT_EQ(1, CountLinesStartingWith(third, "Cache-Control: no-cache"));
  EXPECT_EQ(0u, requests[2].rfind("GET /c HTTP/1.1\r\n", 0));
}

TEST(HttpGetText, LongCredentialsStayOnOneHeaderLine) {
  TRawHttpServer server([](const std::string&) { return HttpReply(200, "OK", "x"); });
  std::string text;
  ASSERT_TRUE(
      TTools::HttpGetText(server.url("/"), text, 2000, std::string(40, 'u'), std::string(40, 'p')));
  const auto lines = HeaderLines(server.requests().at(0));
  EXPECT_EQ(1, CountLinesStartingWith(lines, "Authorization: Basic "));
  for (const auto& l : lines) EXPECT_FALSE(l.empty());
}

TEST(HttpGetText, BodyIsCutAtTheFirstNul) {
  TRawHttpServer server(
      [](const std::string&) { return HttpReply(200, "OK", std::string("ab\0cd", 5)); });
  std::string text;
  ASSERT_TRUE(TTools::HttpGetText(server.url("/"), text, 2000, "", ""));
  EXPECT_EQ("ab", text);
}

TEST(HttpGetText, BodyInSeveralSegmentsArrivesWhole) {
  const std::string body = std::string(3000, 'a') + std::string(3000, 'b');
  TRawHttpServer server([&](const std::string&) {
    RawReply reply = HttpReply(200, "OK", body);
    const std::string whole = reply.segments[0];
    reply.segments = {whole.substr(0, 1000), whole.substr(1000, 2500), whole.substr(3500)};
    reply.segment_gap_ms = 50;
    return reply;
  });
  std::string text;
  ASSERT_TRUE(TTools::HttpGetText(server.url("/"), text, 2000, "", ""));
  EXPECT_EQ(body, text);
}

TEST(HttpGetText, PageIsCappedAt512000Bytes) {
  TRawHttpServer server(
      [](const std::string&) { return HttpReply(200, "OK", std::string(600000, 'z')); });
  std::string text;
  ASSERT_TRUE(TTools::HttpGetText(server.url("/"), text, 2000, "", ""));
  EXPECT_EQ(512000u, text.size());
}

TEST(HttpGetText, RedirectsAreFollowedOnlyToHttp) {
  std::unique_ptr<TRawHttpServer> target = std::make_unique<TRawHttpServer>(
      [](const std::string&) { return HttpReply(200, "OK", "landed"); });
  const std::string to = target->url("/there");
  TRawHttpServer server([&](const std::string& request) {
    if (request.find("GET /file") == 0) {
      return HttpReply(302, "Found", "", "Location: file:///etc/passwd\r\n");
    }
    return HttpReply(302, "Found", "", "Location: " + to + "\r\n");
  });
  std::string text;
  EXPECT_TRUE(TTools::HttpGetText(server.url("/"), text, 2000, "", ""));
  EXPECT_EQ("landed", text);
  EXPECT_FALSE(TTools::HttpGetText(server.url("/file"), text, 2000, "", ""));
  EXPECT_EQ("", text);
}

TEST(HttpGetText, UnreachableHostFails) {
  std::string text;
  // Port 1 on loopback: nothing listens there.
  EXPECT_FALSE(TTools::HttpGetText("http://127.0.0.1:1/oem.txt", text, 500, "", ""));
}

TEST(SplitText, Table) {
  struct Case {
    std::string text, separator;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"", ";", {""}},        {"a;b", ";", {"a", "b"}},      {"a;", ";", {"a", ""}},
      {";a", ";", {"", "a"}}, {"a;;b", ";", {"a", "", "b"}}, {"a||b", "||", {"a", "b"}},
      {"abc", "", {"abc"}},   {"abc", ";", {"abc"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> list{"kept"};
    TTools::SplitText(c.text, c.separator, list);
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
    EXPECT_EQ(expected, list) << c.text;
  }
}

TEST(Folders, ForceDirsCreatesNestedFolders) {
  test::TTempFolder temp;
  const std::string nested = temp.path() + "a/b/c";
  EXPECT_TRUE(TTools::ForceDirs(nested));
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_TRUE(TTools::ForceDirs(nested + "/"));
  EXPECT_TRUE(TTools::ForceDirs(""));
  test::WriteFile(temp.path() + "file", "x");
  EXPECT_FALSE(TTools::ForceDirs(temp.path() + "file/sub"));
}

TEST(Folders, DeleteDirRemovesContentsAndOptionallyItself) {
  test::TTempFolder temp;
  const std::string root = temp.path() + "r/";
  TTools::ForceDirs(root + "x/y");
  test::WriteFile(root + "x/y/f", "1");
  test::WriteFile(root + "g", "2");
  std::filesystem::permissions(root + "g", std::filesystem::perms::owner_read);
  EXPECT_TRUE(TTools::DeleteDir(root, false));
  EXPECT_TRUE(std::filesystem::is_directory(root));
  EXPECT_TRUE(std::filesystem::is_empty(root));
  EXPECT_TRUE(TTools::DeleteDir(root, true));
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_TRUE(TTools::DeleteDir(temp.path() + "missing", true));
}

TEST(Folders, FindFilesMasksAndRecursion) {
  test::TTempFolder temp;
  const std::string base = temp.path();
  for (const char* name : {"camlift.len", "camlift.lcn", "notes.txt", "x.bin", "sub/deep.len"}) {
    TTools::ForceDirs(std::filesystem::path(base + name).parent_path().string());
    test::WriteFile(base + name, "x");
  }
  auto names = [](const TFoundFiles& list, const std::string& base) {
    std::vector<std::string> out;
    for (const auto& f : list) out.push_back(f.name.substr(base.size()));
    return out;
  };
  TFoundFiles list;
  TTools::FindFiles(list, base, "*.l*", false, nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"camlift.lcn", "camlift.len"}), names(list, base));
  EXPECT_GT(list[0].modified, 0);

  list.clear();
  TTools::FindFiles(list, base, "*.txt;*.bin", false, nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"notes.txt", "x.bin"}), names(list, base));

  list.clear();
  TTools::FindFiles(list, base, "*.txt|*.bin", false, nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"notes.txt", "x.bin"}), names(list, base));

  list.clear();
  TTools::FindFiles(list, base, "*.len;camlift.*", false, nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"camlift.len", "camlift.lcn"}), names(list, base));

  list.clear();
  TTools::FindFiles(list, base, "*.len;camlift.*", false, nullptr, false);
  EXPECT_EQ(3u, list.size());

  list.clear();
  TTools::FindFiles(list, base, "*.len", true, nullptr, true);
  EXPECT_EQ((std::vector<std::string>{"camlift.len", "sub/deep.len"}), names(list, base));

  list.clear();
  TTools::FindFiles(
      list, base, "*.len", true, [] { return false; }, true);
  EXPECT_EQ((std::vector<std::string>{"camlift.len"}), names(list, base));
}

TEST(Folders, ProgramDataFolderIsNamedAfterTheProgram) {
  test::TTempFolder temp;
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", (temp.path() + "cfg").c_str(), 1);
  const std::string folder = TTools::ProgramDataFolder(26, true);
  const std::string program = std::filesystem::path(TTools::ModuleFileName()).filename().string();
  EXPECT_EQ(temp.path() + "cfg/" + program + "/", folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ("", TTools::ProgramDataFolder(5, true));
  if (old)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(Folders, ModulePathEndsWithSeparator) {
  const std::string path = TTools::ModulePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ('/', path.back());
  EXPECT_EQ(0u, TTools::ModuleFileName().rfind(path, 0));
  EXPECT_EQ('/', TTools::GetTempDir().back());
}

}  // namespace
}  // namespace camlift
