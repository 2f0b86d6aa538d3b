// SPDX-License-Identifier: Apache-2.0
#include "discovery/follow_up_sender.h"

namespace camlift {

bool TFollowUpSender::Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) {
  auto key = std::make_pair(port, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (sent_.contains(key)) return true;
  const bool sent = endpoint_.Broadcast(port, bytes);
  // A datagram that went out nowhere may be tried again by the next copy of the answer.
  if (sent) sent_.insert(std::move(key));
  return sent;
}

}  // namespace camlift
