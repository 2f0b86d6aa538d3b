// SPDX-License-Identifier: Apache-2.0
// The classification of one CTP answer from its received bytes.
#include "ctp/ctp_reply.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

using namespace std::string_literals;

TEST(ClassifyCtpReply, Kinds) {
  struct Case {
    std::string received;
    TCtpReplyKind kind;
    std::string text;
    std::size_t next;
  };
  const auto npos = std::string_view::npos;
  const Case cases[] = {
      {"REPLY OK\r\n", TCtpReplyKind::Ok, "OK\r\n", npos},
      {"REPLY OKAY", TCtpReplyKind::Ok, "OKAY", npos},
      {"REPLY ERR busy\r\n", TCtpReplyKind::Other, "ERR busy\r\n", npos},
      {"REPLY ", TCtpReplyKind::Other, "", npos},
      {"REPLY\r\n", TCtpReplyKind::NotReply, "", npos},
      {"reply OK", TCtpReplyKind::NotReply, "", npos},
      {"", TCtpReplyKind::NotReply, "", npos},
      // The text ends at a zero byte; what follows it is not part of the reply.
      {"REPLY OK\0junk"s, TCtpReplyKind::Ok, "OK", npos},
      // "0" after "Continue " ends the wait without an OK.
      {"REPLY Continue 0\r\n", TCtpReplyKind::Other, "Continue 0\r\n", npos},
      {"REPLY Continue 1\r\n", TCtpReplyKind::Working, "Continue 1\r\n", npos},
      // A bare "Continue" reads a zero past its end: still working.
      {"REPLY Continue", TCtpReplyKind::Working, "Continue", npos},
      // The final answer sent right behind the Continue is found in the same bytes.
      {"REPLY Continue 1\r\nREPLY OK\r\n", TCtpReplyKind::Working, "Continue 1\r\nREPLY OK\r\n",
       18},
  };
  for (const Case& c : cases) {
    const TCtpReply reply = ClassifyCtpReply(c.received);
    EXPECT_EQ(c.kind, reply.kind) << c.received;
    EXPECT_EQ(c.text, reply.text) << c.received;
    EXPECT_EQ(c.next, reply.next) << c.received;
  }
}

}  // namespace
}  // namespace camlift
