// SPDX-License-Identifier: Apache-2.0
// The CTP session against a scripted peer on loopback: exact request bytes, reply codes, and the
// entries of a package as they go out.
#include "ctp/ctp_session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "pk2_builder.h"
#include "platform/socket.h"
#include "platform/timing.h"
#include "support/temp_folder.h"
#include "util/md5.h"

namespace camlift {
namespace {

using sim::TPk2Builder;

// One exchange of the script: read exactly `expect` bytes, then write the answers one after
// another (gap_ms apart), or close the connection instead.
struct Step {
  std::size_t expect = 0;
  std::vector<std::string> answers;
  int gap_ms = 0;
  bool close = false;
};

class TScriptedPeer {
 public:
  explicit TScriptedPeer(std::vector<Step> steps) : steps_(std::move(steps)) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof local;
    EXPECT_EQ(0, ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&local), size));
    EXPECT_EQ(0, ::listen(listener_.get(), 4));
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&local), &size);
    port_ = ntohs(local.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedPeer() {
    stop_ = true;
    thread_.join();
  }
  int port() const { return port_; }
  // What arrived for each step, then everything after the last step (until the client closed).
  std::vector<std::string> received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::string trailing() {
    std::lock_guard lock(mutex_);
    return trailing_;
  }
  // Waits until the peer has seen the client close (or gave up).
  void WaitDone() {
    for (int i = 0; i < 300 && !done_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

 private:
  bool ReadExact(int fd, std::string& out, std::size_t n) {
    out.clear();
    char buffer[4096];
    while (out.size() < n && !stop_) {
      if (!WaitReadable(fd, 20)) continue;
      const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
      if (got <= 0) return false;
      out.append(buffer, static_cast<std::size_t>(got));
    }
    return out.size() == n;
  }
  void Run() {
    int fd = -1;
    while (!stop_ && fd < 0) {
      if (WaitReadable(listener_.get(), 20)) fd = ::accept(listener_.get(), nullptr, nullptr);
    }
    TSocketHandle connection(fd);
    for (const Step& step : steps_) {
      std::string got;
      const bool whole = ReadExact(fd, got, step.expect);
      {
        std::lock_guard lock(mutex_);
        received_.push_back(got);
      }
      if (!whole) break;
      if (step.close) {
        connection.reset();
        done_ = true;
        return;
      }
      for (std::size_t i = 0; i < step.answers.size(); ++i) {
        if (i > 0 && step.gap_ms > 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(step.gap_ms));
        }
        ::send(fd, step.answers[i].data(), step.answers[i].size(), MSG_NOSIGNAL);
      }
    }
    char buffer[4096];
    while (!stop_ && fd >= 0) {
      if (!WaitReadable(fd, 20)) continue;
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      std::lock_guard lock(mutex_);
      trailing_.append(buffer, static_cast<std::size_t>(got));
    }
    done_ = true;
  }

  std::vector<Step> steps_;
  TSocketHandle listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::vector<std::string> received_;
  std::string trailing_;
  std::thread thread_;
};

// The session's codes as the numbers of its interface.
template <typename Code>
int Number(Code code) {
  return static_cast<int>(code);
}

// What SendEntry did, with the failing step's code: "accepted", "end", "failed -4".
std::string Entry(const TEntryResult& result) {
  switch (result.outcome) {
    case TEntryOutcome::Accepted:
      return result.code == TCtpCode::Ok ? "accepted"
                                         : "accepted " + std::to_string(Number(result.code));
    case TEntryOutcome::EndOfPackage:
      return result.code == TCtpCode::Ok ? "end" : "end " + std::to_string(Number(result.code));
    case TEntryOutcome::Failed:
      return "failed " + std::to_string(Number(result.code));
  }
  return "?";
}

const std::string kOk = "REPLY OK\r\n";
const std::string kConfigOk = "CTP/1.0 200 OK\r\n\r\n";
const std::string kProbe = "CMD 10\r\necho hello";

class CtpSession : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeScaleForTesting(0.01); }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  // A package file with the given bytes, opened and positioned behind its header.
  TPk2File OpenPackage(const std::string& bytes) {
    const std::string path = folder_.path() + "p.pk2";
    test::WriteFile(path, bytes);
    TPk2File package;
    EXPECT_TRUE(package.Open(path));
    std::string header(28, '\0');
    EXPECT_EQ(header.size(), package.Read(header.data(), header.size()));
    return package;
  }

  test::TTempFolder folder_;
};

TEST_F(CtpSession, LoginAndLeaveModeBytes) {
  const std::string login = "CMD cfgusr CTP/1.0\r\nContent-Length:17\r\n\r\n-login admin:\r\n\r\n";
  const std::string exit = "CMD exit CTP/1.0\r\n";
  TScriptedPeer peer({{login.size(), {kConfigOk}}, {exit.size(), {"CTP/1.0 200 OK\r\n"}}});
  TSocketThread session("127.0.0.1", peer.port());
  ASSERT_EQ(0, Number(session.Connect()));
  EXPECT_EQ(0, Number(session.Login(" admin ", " ")));
  EXPECT_EQ(0, Number(session.ExitMode()));
  EXPECT_EQ(0, Number(session.Close()));
  EXPECT_EQ(0, Number(session.Close()));  // no socket any more
  EXPECT_EQ((std::vector<std::string>{login, exit}), peer.received());
}

TEST_F(CtpSession, ConfigAnswerNeedsTwoHundred) {
  const std::string exit = "CMD exit CTP/1.0\r\n";
  struct Case {
    const char* what;
    Step step;
    int code;
  };
  const Case cases[] = {
      {"200 anywhere", {exit.size(), {"OK 200"}}, 0},
      {"refused", {exit.size(), {"CTP/1.0 401 Unauthorized\r\n\r\n"}}, 1},
      {"silence", {exit.size(), {}}, 1},
      {"closed", {exit.size(), {}, 0, true}, 1},
  };
  for (const Case& c : cases) {
    TScriptedPeer peer({c.step});
    TSocketThread session("127.0.0.1", peer.port());
    ASSERT_EQ(0, Number(session.Connect())) << c.what;
    EXPECT_EQ(c.code, Number(session.ExitMode())) << c.what;
  }
}

TEST_F(CtpSession, ReplyCodes) {
  struct Case {
    const char* what;
    Step step;
    int code;
  };
  const Case cases[] = {
      {"ok", {kProbe.size(), {kOk}}, 0},
      {"other reply", {kProbe.size(), {"REPLY ERR busy\r\n"}}, 1},
      {"not a reply", {kProbe.size(), {"HELLO\r\n"}}, -3},
      {"lower-case prefix", {kProbe.size(), {"reply OK\r\n"}}, -3},
      {"closed", {kProbe.size(), {}, 0, true}, -4},
      {"silence", {kProbe.size(), {}}, -2},
      {"continue then ok", {kProbe.size(), {"REPLY Continue 1\r\n", kOk}, 300}, 0},
      {"continue and ok in one segment", {kProbe.size(), {"REPLY Continue 1\r\nREPLY OK\r\n"}}, 0},
      {"continue then error", {kProbe.size(), {"REPLY Continue 1\r\n", "REPLY ERR\r\n"}, 20}, 1},
      {"continue with 0 is not ok", {kProbe.size(), {"REPLY Continue 0\r\n"}}, 1},
      {"continue for ever", {kProbe.size(), {"REPLY Continue 1\r\n"}}, -2},
  };
  for (const Case& c : cases) {
    TScriptedPeer peer({c.step});
    TSocketThread session("127.0.0.1", peer.port());
    ASSERT_EQ(0, Number(session.Connect())) << c.what;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.code, Number(session.Probe())) << c.what;
    // Even a camera that keeps saying Continue is given up within the Continue limit.
    EXPECT_LT(std::chrono::steady_clock::now() - start, Duration(Wait::CtpReplyTimeout) +
                                                            Duration(Wait::CtpContinueLimit) +
                                                            std::chrono::seconds(1))
        << c.what;
    EXPECT_EQ(kProbe, session.LastRequest()) << c.what;
  }
}

TEST_F(CtpSession, ReplyTextAndLength) {
  TScriptedPeer peer({{kProbe.size(), {kOk, "REPLY DONE 42\r\n"}, 50}});
  TSocketThread session("127.0.0.1", peer.port());
  ASSERT_EQ(0, Number(session.Connect()));
  EXPECT_EQ(0, Number(session.Probe()));
  std::string text;
  int length = -1;
  EXPECT_EQ(1, Number(session.ReadReply(text, length)));
  EXPECT_EQ("DONE 42\r\n", text);
  EXPECT_EQ(9, length);
  EXPECT_EQ(-2, Number(session.ReadReply(text, length)));
  EXPECT_EQ("", text);
  EXPECT_EQ(0, length);
}

TEST_F(CtpSession, FileGoesOutInBlocksWithItsDigest) {
  std::string data(3000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
  const std::string package_bytes = TPk2Builder().AddFile("f.bin", data).Bytes();

  const std::string announcement = "FILE 10\r\nf.bin 3000";
  TMd5 md5;
  md5.Update(data.data(), data.size());
  const auto digest = md5.Final();
  const std::string digest_request =
      "MD5 16\r\n" + std::string(reinterpret_cast<const char*>(digest.data()), 16);
  ASSERT_EQ(24u, digest_request.size());
  TScriptedPeer peer({{announcement.size(), {kOk}},
                      {1411, {kOk}},
                      {1411, {"REPLY Continue 1\r\n", kOk}, 20},
                      {210, {kOk}},
                      {24, {kOk}}});

  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  const TRunControl control(
      [&](TProgressStage stage, std::int64_t done, std::int64_t total) {
        if (stage == TProgressStage::Upload) progress.emplace_back(done, total);
      },
      nullptr);
  TSocketThread session("127.0.0.1", peer.port(), control);
  ASSERT_EQ(0, Number(session.Connect()));
  TPk2File package = OpenPackage(package_bytes);
  EXPECT_EQ("accepted", Entry(session.SendEntry(package)));
  const auto got = peer.received();
  ASSERT_EQ(5u, got.size());
  EXPECT_EQ(announcement, got[0]);
  EXPECT_EQ("DATA 1400\r\n" + data.substr(0, 1400), got[1]);
  EXPECT_EQ("DATA 1400\r\n" + data.substr(1400, 1400), got[2]);
  EXPECT_EQ("DATA 200\r\n" + data.substr(2800), got[3]);
  EXPECT_EQ(digest_request, got[4]);
  // One report per block, ending at the end of the entry.
  const auto size = static_cast<std::int64_t>(package_bytes.size());
  ASSERT_EQ(3u, progress.size());
  EXPECT_EQ(std::make_pair(size, size), progress.back());

  // The end of the package, told apart from a failed entry; the file is closed.
  EXPECT_EQ("end", Entry(session.SendEntry(package)));
  EXPECT_FALSE(package.IsOpen());
}

// Data that does not repeat every eight bytes, so that a block unscrambled from the wrong key
// position shows.
std::string Pattern(std::size_t size, int seed) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    data[i] = static_cast<char>((i * 131 + static_cast<std::size_t>(seed)) % 251);
  }
  return data;
}

std::string Md5Request(const char* hex) {
  std::string request = "MD5 16\r\n";
  for (int i = 0; i < 32; i += 2) {
    request += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
  }
  return request;
}

// Files of odd sizes between commands and entries that are stepped over: while the camera
// answers one block the next one is read ahead, which must never reach into the next entry nor
// change a byte of what goes out.
TEST_F(CtpSession, MixedPackageGoesOutByteForByte) {
  const std::string a = Pattern(1399, 1), b = Pattern(1400, 2), c = Pattern(1401, 3),
                    d = Pattern(2801, 4);
  const std::string package_bytes = TPk2Builder()
                                        .AddFile("a.bin", a)
                                        .AddRaw("ABCD", "xyz")
                                        .AddFile("b", b)
                                        .AddCommand("reboot now")
                                        .AddFile("c.img", c)
                                        .AddRaw("ZZZZ", "")
                                        .AddFile("d", d)
                                        .AddFile("e", "")
                                        .Bytes();
  const std::vector<std::string> expected = {
      "FILE 10\r\na.bin 1399",
      "DATA 1399\r\n" + a,
      Md5Request("6a6e121ec8e6c3841f3773af1408cf64"),
      "FILE 6\r\nb 1400",
      "DATA 1400\r\n" + b,
      Md5Request("1caa9ad35451b3ef56db0f55da9b7fc0"),
      "CMD 10\r\nreboot now",
      "FILE 10\r\nc.img 1401",
      "DATA 1400\r\n" + c.substr(0, 1400),
      "DATA 1\r\n" + c.substr(1400),
      Md5Request("30d517b24e73fc91a134961325c9a65c"),
      "FILE 6\r\nd 2801",
      "DATA 1400\r\n" + d.substr(0, 1400),
      "DATA 1400\r\n" + d.substr(1400, 1400),
      "DATA 1\r\n" + d.substr(2800),
      Md5Request("131bf55acd429395877a247ec3d16602"),
      "FILE 3\r\ne 0",
  };
  std::vector<Step> steps;
  for (const std::string& request : expected) steps.push_back({request.size(), {kOk}});
  // The camera is busy with the first block of c.img and says so before its OK.
  steps[8].answers = {"REPLY Continue 1\r\n", kOk};
  steps[8].gap_ms = 30;
  TScriptedPeer peer(steps);

  std::vector<std::int64_t> progress;
  const TRunControl control(
      [&](TProgressStage, std::int64_t done, std::int64_t) { progress.push_back(done); }, nullptr);
  std::vector<std::string> codes;
  std::vector<std::int64_t> positions;
  {
    TSocketThread session("127.0.0.1", peer.port(), control);
    ASSERT_EQ(0, Number(session.Connect()));
    TPk2File package = OpenPackage(package_bytes);
    for (int entry = 0; entry < 8; ++entry) {
      codes.push_back(Entry(session.SendEntry(package)));
      positions.push_back(package.Position());
      if (!progress.empty()) {
        EXPECT_LE(progress.back(), package.Position()) << entry;
      }
    }
  }
  peer.WaitDone();
  // The file without data is refused after its announcement; nothing follows it.
  EXPECT_EQ((std::vector<std::string>{"accepted", "accepted", "accepted", "accepted", "accepted",
                                      "accepted", "accepted", "failed 1"}),
            codes);
  EXPECT_EQ(expected, peer.received());
  EXPECT_EQ("", peer.trailing());
  // Each entry ends exactly where the next one's header begins: 28 bytes of package header,
  // 24 of each entry header, 4 + name + 4 + data for a file.
  EXPECT_EQ((std::vector<std::int64_t>{1464, 1491, 2924, 2958, 4396, 4420, 7254, 7287}), positions);
  // The progress never counts a block read ahead but not yet answered.
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ((std::vector<std::int64_t>{1464, 2924, 2958, 4395, 4396, 5853, 7253, 7254}), progress);
}

// A block the camera does not take ends the entry: the block read ahead and the digest stay
// home.
TEST_F(CtpSession, RefusedBlockStopsTheEntry) {
  const std::string data = Pattern(4000, 5);
  const std::string package_bytes = TPk2Builder().AddFile("f", data).AddCommand("x").Bytes();
  const std::string announcement = "FILE 6\r\nf 4000";
  struct Case {
    const char* what;
    Step second;
    std::string code;  // of SendEntry
  };
  const Case cases[] = {
      {"refused", {1411, {"REPLY ERR\r\n"}}, "failed 1"},
      {"refused after Continue", {1411, {"REPLY Continue 1\r\n", "REPLY ERR\r\n"}, 20}, "failed 1"},
      {"closed", {1411, {}, 0, true}, "failed -4"},
      {"silence", {1411, {}}, "failed -2"},
  };
  for (const Case& c : cases) {
    TScriptedPeer peer({{announcement.size(), {kOk}}, {1411, {kOk}}, c.second});
    {
      TSocketThread session("127.0.0.1", peer.port());
      ASSERT_EQ(0, Number(session.Connect())) << c.what;
      TPk2File package = OpenPackage(package_bytes);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(c.code, Entry(session.SendEntry(package))) << c.what;
      if (c.code == "failed -2") {
        // The reply wait is the whole 8 s (at time scale 0.01), looking first or not.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
      }
    }
    peer.WaitDone();
    const auto got = peer.received();
    ASSERT_EQ(3u, got.size()) << c.what;
    EXPECT_EQ("DATA 1400\r\n" + data.substr(0, 1400), got[1]) << c.what;
    EXPECT_EQ("DATA 1400\r\n" + data.substr(1400, 1400), got[2]) << c.what;
    EXPECT_EQ("", peer.trailing()) << c.what;
  }
}

TEST_F(CtpSession, UnknownEntryIsSkippedAndCommandsUnscrambled) {
  const std::string package_bytes =
      TPk2Builder().AddRaw("ABCD", "0123456789").AddCommand("reboot").Bytes();
  TScriptedPeer peer({{13, {kOk}}});
  TSocketThread session("127.0.0.1", peer.port());
  ASSERT_EQ(0, Number(session.Connect()));
  TPk2File package = OpenPackage(package_bytes);
  EXPECT_EQ("accepted", Entry(session.SendEntry(package)));
  EXPECT_EQ(28 + 24 + 10, package.Position());
  EXPECT_EQ("accepted", Entry(session.SendEntry(package)));
  EXPECT_EQ((std::vector<std::string>{"CMD 6\r\nreboot"}), peer.received());
}

TEST_F(CtpSession, EntriesThatCannotGoOutFailWithoutSendingThem) {
  const std::string long_name(256, 'n');
  // "CMD 2038" CR LF and 2038 bytes fill the 2048-byte send buffer.
  const std::string max_payload(2038, 'c');
  const std::string full_file = TPk2Builder().AddFile("cut.bin", std::string(3000, 'd')).Bytes();
  struct Case {
    const char* what;
    std::string package;
    std::vector<Step> steps;  // what the peer still expects and answers
    std::string code;         // of SendEntry
    std::string trailing;     // what arrives beyond the steps
  };
  const Case cases[] = {
      {"name of 256 bytes", TPk2Builder().AddFile(long_name, "x").Bytes(), {}, "failed 1", ""},
      {"payload past the send buffer",
       TPk2Builder().AddCommand(max_payload + "c").Bytes(),
       {},
       "failed 1",
       ""},
      {"payload that just fits",
       TPk2Builder().AddCommand(max_payload).Bytes(),
       {{2048, {kOk}}},
       "accepted",
       ""},
      // The package ends inside the data: the announcement went out, no short block follows.
      {"package cut short",
       full_file.substr(0, full_file.size() - 1500),
       {{std::string("FILE 12\r\ncut.bin 3000").size(), {kOk}}, {1411, {kOk}}},
       "failed 1",
       ""},
      {"package cut inside the first block",
       full_file.substr(0, full_file.size() - 2000),
       {{std::string("FILE 12\r\ncut.bin 3000").size(), {kOk}}},
       "failed 1",
       ""},
      {"package cut inside the last block",
       full_file.substr(0, full_file.size() - 100),
       {{std::string("FILE 12\r\ncut.bin 3000").size(), {kOk}}, {1411, {kOk}}, {1411, {kOk}}},
       "failed 1",
       ""},
      {"file without data",
       TPk2Builder().AddFile("empty", "").Bytes(),
       {{std::string("FILE 7\r\nempty 0").size(), {kOk}}},
       "failed 1",
       ""},
      {"negative skip",
       TPk2Builder().AddRaw("ABCD", "").Bytes().replace(28 + 20, 4, "\xff\xff\xff\xff"),
       {},
       "failed 1",
       ""},
      {"announcement refused",
       TPk2Builder().AddFile("f", "abc").Bytes(),
       {{std::string("FILE 3\r\nf 3").size(), {"REPLY ERR\r\n"}}},
       "failed 1",
       ""},
      // Nothing or only part of an entry header is left: the end of the package, not a failure.
      {"no entry left", TPk2Builder().Bytes(), {}, "end", ""},
      {"entry header cut short",
       TPk2Builder().AddCommand("x").Bytes().substr(0, 28 + 10),
       {},
       "end",
       ""},
  };
  for (const Case& c : cases) {
    TScriptedPeer peer(c.steps);
    {
      TSocketThread session("127.0.0.1", peer.port());
      ASSERT_EQ(0, Number(session.Connect())) << c.what;
      TPk2File package = OpenPackage(c.package);
      EXPECT_EQ(c.code, Entry(session.SendEntry(package))) << c.what;
    }
    peer.WaitDone();
    EXPECT_EQ(c.steps.size(), peer.received().size()) << c.what;
    EXPECT_EQ(c.trailing, peer.trailing()) << c.what;
  }
}

TEST_F(CtpSession, LoginTooLongForTheBufferIsNotSent) {
  TScriptedPeer peer({});
  {
    TSocketThread session("127.0.0.1", peer.port());
    ASSERT_EQ(0, Number(session.Connect()));
    EXPECT_NE(0, Number(session.Login(std::string(1100, 'u'), std::string(1000, 'p'))));
  }
  peer.WaitDone();
  EXPECT_EQ("", peer.trailing());
}

TEST_F(CtpSession, ConnectCodes) {
  TSocketThread named("localhost", 81);
  EXPECT_EQ(4, Number(named.Connect()));
  TSocketThread short_address("127.0.0", 81);
  EXPECT_EQ(4, Number(short_address.Connect()));

  // A port where nobody listens: the refusal arrives during the connect pause.
  TSocketHandle probe(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof local;
  ::bind(probe.get(), reinterpret_cast<sockaddr*>(&local), size);
  ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &size);
  const int closed_port = ntohs(local.sin_port);
  probe.reset();
  TSocketThread refused("127.0.0.1", closed_port);
  EXPECT_EQ(5, Number(refused.Connect()));
  EXPECT_FALSE(refused.IsConnected());

  TScriptedPeer peer({});
  TSocketThread session("127.0.0.1", peer.port());
  EXPECT_EQ(0, Number(session.Connect()));
  EXPECT_TRUE(session.IsConnected());
}

TEST_F(CtpSession, CheckPackage) {
  const std::string entries = std::string(24, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
  };
  const Case cases[] = {
      {"header with no entries", std::string("PK2\0", 4) + std::string(24, '\0'), true},
      {"count is not looked at",
       std::string("PK2\0", 4) + std::string(20, 'x') + "\xff\xff\xff\xff", true},
      {"letter instead of zero", "PK2X" + std::string(24, '\0'), false},
      {"lower case", std::string("pk2\0", 4) + std::string(24, '\0'), false},
      {"27 bytes", std::string("PK2\0", 4) + std::string(23, '\0'), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    const std::string path = folder_.path() + "c.pk2";
    test::WriteFile(path, c.bytes);
    EXPECT_EQ(c.ok, TSocketThread::CheckPackage(path)) << c.what;
  }
  EXPECT_FALSE(TSocketThread::CheckPackage(folder_.path() + "missing.pk2"));
}

}  // namespace
}  // namespace camlift
