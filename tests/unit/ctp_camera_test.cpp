// SPDX-License-Identifier: Apache-2.0
// The simulated K camera's command service met with raw requests: each verb's refusals, the
// requests that end the connection, and the record line every request leaves.
#include "ctp_camera.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace camlift::sim {
namespace {

// Sends bytes on a new connection, ends the sending side and returns everything answered
// until the camera closes.
std::string Exchange(int port, const std::string& bytes) {
  TSocketHandle s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return "(no connect)";
  if (::send(s.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(bytes.size())) {
    return "(short send)";
  }
  ::shutdown(s.get(), SHUT_WR);
  std::string answer;
  char buffer[4096];
  while (WaitReadable(s.get(), 5000)) {
    const ssize_t n = ::recv(s.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  return answer;
}

const std::string kLogin = "CMD cfgusr CTP/1.0\r\nContent-Length:17\r\n\r\n-login admin:\r\n\r\n";
const std::string kExit = "CMD exit CTP/1.0\r\n";
const std::string kProbe = "CMD 10\r\necho hello";
const std::string kOk = "CTP/1.0 200 OK\r\n\r\n";
// MD5 of "abc": 900150983cd24fb0d6963f7d28e17f72
const std::string kDigestOfAbc =
    "MD5 16\r\n\x90\x01\x50\x98\x3c\xd2\x4f\xb0\xd6\x96\x3f\x7d\x28\xe1\x7f\x72";

TEST(CtpCamera, EachVerbAnswersAndRecords) {
  struct Case {
    const char* what;
    std::vector<std::string> connections;  // the last one's answers are compared
    std::string answers;
    std::vector<std::string> notes;  // of every record line, in order
    const char* event;               // of the transfer connection ("": none)
  };
  const Case cases[] = {
      {"login and leave-mode request", {kLogin + kExit}, kOk + kOk, {}, ""},
      {"unknown config command",
       {"CMD cfgfoo CTP/1.0\r\nContent-Length:0\r\n\r\n" + kExit},
       "CTP/1.0 404 Not Found\r\n\r\nCTP/1.0 401 Unauthorized\r\n\r\n",
       {"unknown config command", "leave-mode request without a login"},
       ""},
      // Without a length the stream cannot be followed: the connection ends after the answer.
      {"login without Content-Length",
       {"CMD cfgusr CTP/1.0\r\n\r\n" + kExit},
       "CTP/1.0 400 Bad Request\r\n\r\n",
       {"login body or Content-Length malformed"},
       ""},
      {"wrong account",
       {"CMD cfgusr CTP/1.0\r\nContent-Length:18\r\n\r\n-login admin:x\r\n\r\n"},
       "CTP/1.0 401 Unauthorized\r\n\r\n",
       {"wrong account"},
       ""},
      {"length that is no number",
       {"CMD x\r\n" + kProbe},
       "REPLY ERR bad request\r\n",
       {"malformed request line"},
       ""},
      {"length over the limit",
       {"DATA 99999999\r\n"},
       "REPLY ERR bad request\r\n",
       {"malformed request line"},
       ""},
      {"request cut short", {"FILE 20\r\nabc"}, "", {"connection ended inside the request"}, ""},
      {"probe outside the upgrade mode", {kProbe}, "REPLY ERR not in upgrade mode\r\n", {}, ""},
      {"file outside the upgrade mode",
       {"FILE 7\r\nx.bin 3"},
       "REPLY ERR not in upgrade mode\r\n",
       {},
       ""},
      {"data without a file",
       {"DATA 3\r\nabc"},
       "REPLY ERR no file\r\n",
       {"data without an announced file"},
       ""},
      {"digest without a file",
       {kDigestOfAbc},
       "REPLY ERR bad digest request\r\n",
       {"digest without a file"},
       ""},
      {"whole transfer",
       {kLogin + kExit, kProbe + "FILE 7\r\nx.bin 3" + "DATA 3\r\nabc" + kDigestOfAbc},
       "REPLY OK\r\nREPLY OK\r\nREPLY OK\r\nREPLY OK\r\n",
       {},
       "transfer complete"},
      {"file announced twice",
       {kLogin + kExit, kProbe + "FILE 7\r\nx.bin 3" + "FILE 7\r\ny.bin 3"},
       "REPLY OK\r\nREPLY OK\r\nREPLY ERR previous file incomplete\r\n",
       {"a file was announced before the last one was complete"},
       "transfer incomplete"},
      {"announcement without a size",
       {kLogin + kExit, kProbe + "FILE 5\r\nx.bin"},
       "REPLY OK\r\nREPLY ERR bad announcement\r\n",
       {"malformed file announcement"},
       "transfer incomplete"},
      {"block past the announced size",
       {kLogin + kExit, kProbe + "FILE 7\r\nx.bin 2" + "DATA 3\r\nabc"},
       "REPLY OK\r\nREPLY OK\r\nREPLY ERR bad block size\r\n",
       {"data block of a wrong size"},
       "transfer incomplete"},
      {"digest of other data",
       {kLogin + kExit, kProbe + "FILE 7\r\nx.bin 3" + "DATA 3\r\nabd" + kDigestOfAbc},
       "REPLY OK\r\nREPLY OK\r\nREPLY OK\r\nREPLY ERR md5 mismatch\r\n",
       {"digest does not match the data"},
       "transfer incomplete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto recorder = std::make_shared<TSimRecorder>();
    auto camera = std::make_shared<TCtpCamera>(TCtpCameraSettings{}, recorder);
    TCtpStandaloneServer server(camera);
    std::string answers;
    for (const std::string& connection : c.connections) {
      answers = Exchange(server.port(), connection);
    }
    server.Stop();
    EXPECT_EQ(c.answers, answers);
    std::vector<std::string> notes;
    std::string event;
    for (const auto& entry : recorder->Entries()) {
      if (entry.contains("note")) notes.push_back(entry["note"]);
      if (entry.contains("event")) event = entry["event"];
      // Every request line is recorded as it came (the event line has none).
      EXPECT_TRUE(entry.contains("request") || entry.contains("event")) << entry.dump();
    }
    EXPECT_EQ(c.notes, notes);
    EXPECT_EQ(c.event, event);
  }
}

}  // namespace
}  // namespace camlift::sim
