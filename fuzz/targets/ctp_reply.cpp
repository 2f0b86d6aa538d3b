// SPDX-License-Identifier: Apache-2.0
// The classification of one CTP answer: OK, another reply, not a reply, or still working.
#include "ctp/ctp_reply.h"

#include <cstdint>

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view received = fuzz::AsText(data, size);
  const TCtpReply reply = ClassifyCtpReply(received);
  if (reply.kind == TCtpReplyKind::NotReply) {
    FUZZ_CHECK(!received.starts_with(kCtpReplyPrefix));
    return 0;
  }
  // The text lies inside what was received and never runs past a zero byte.
  FUZZ_CHECK(reply.text.data() >= received.data());
  FUZZ_CHECK(reply.text.data() + reply.text.size() <= received.data() + received.size());
  FUZZ_CHECK(reply.text.find('\0') == std::string_view::npos);
  if (reply.next != std::string_view::npos) {
    FUZZ_CHECK(reply.kind == TCtpReplyKind::Working);
    // A held reply is strictly shorter, so the session's loop over held bytes always ends.
    FUZZ_CHECK(reply.next > 0 && reply.next < received.size());
    FUZZ_CHECK(received.substr(reply.next).starts_with(kCtpReplyPrefix));
  }
  return 0;
}
