// SPDX-License-Identifier: Apache-2.0
#include "ctp/ctp_reply.h"

namespace camlift {

TCtpReply ClassifyCtpReply(std::string_view received) {
  TCtpReply reply;
  if (!received.starts_with(kCtpReplyPrefix)) return reply;
  const std::string_view body = received.substr(kCtpReplyPrefix.size());
  reply.text = body.substr(0, body.find('\0'));
  if (reply.text.starts_with("OK")) {
    reply.kind = TCtpReplyKind::Ok;
  } else if (!reply.text.starts_with("Continue")) {
    reply.kind = TCtpReplyKind::Other;
  } else {
    // Past the received bytes the buffer is cleared, so a short reply reads a zero there.
    const char state =
        received.size() > kCtpContinueStateOffset ? received[kCtpContinueStateOffset] : '\0';
    if (state == '0') {
      reply.kind = TCtpReplyKind::Other;
    } else {
      reply.kind = TCtpReplyKind::Working;
      reply.next = received.find(kCtpReplyPrefix, kCtpReplyPrefix.size());
    }
  }
  return reply;
}

}  // namespace camlift
