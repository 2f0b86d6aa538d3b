// SPDX-License-Identifier: Apache-2.0
// The sender of the 1010 follow-up requests. A camera answers every copy of the query it hears
// (the limited broadcast and the directed broadcast of each adapter), and every copy of its
// answer asks for the same follow-up; sent for each, the requests would multiply with every
// exchange (2 + 4 + 8 on a PC with one adapter). A follow-up answers one device, so each distinct
// one goes out once per search pass, to every target of the endpoint (a camera behind a second
// adapter still gets it).
#pragma once

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "discovery/udp_endpoint.h"

namespace camlift {

class TFollowUpSender final : public IDatagramSender {
 public:
  explicit TFollowUpSender(IDatagramSender& endpoint) : endpoint_(endpoint) {}
  // Forwards a datagram not yet sent to that port in this pass; a repeat is not sent again
  // (true: it went out already).
  bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) override;
  // A new search pass: everything may go out once more.
  void NewPass() { sent_.clear(); }

 private:
  IDatagramSender& endpoint_;
  std::set<std::pair<std::uint16_t, std::vector<std::uint8_t>>> sent_;
};

}  // namespace camlift
