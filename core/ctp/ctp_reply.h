// SPDX-License-Identifier: Apache-2.0
// What one CTP answer says, decided from the received bytes alone (the session's socket loop
// only reads and waits; this is the part that looks at what arrived).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace camlift {

enum class TCtpReplyKind {
  Ok,        // "REPLY OK..."
  Other,     // "REPLY " and anything else, also "REPLY Continue" with "0" behind it
  NotReply,  // does not begin with "REPLY "
  Working,   // "REPLY Continue" and any other state byte: the camera is still at it
};

struct TCtpReply {
  TCtpReplyKind kind = TCtpReplyKind::NotReply;
  std::string_view text;  // after "REPLY ", up to the first zero byte
  // Working only: where a further "REPLY " begins in the same bytes (a camera may send the
  // Continue and the final answer back to back), or npos.
  std::size_t next = std::string_view::npos;
};

inline constexpr std::string_view kCtpReplyPrefix = "REPLY ";
// "REPLY Continue" and one more character: the byte after that tells whether the camera is
// still working ("0" means it is not, which leaves the reply without an OK).
inline constexpr std::size_t kCtpContinueStateOffset = 15;

// received: the bytes of one receive, as they sit at the start of the cleared receive buffer.
TCtpReply ClassifyCtpReply(std::string_view received);

}  // namespace camlift
