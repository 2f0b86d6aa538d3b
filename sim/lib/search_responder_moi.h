// SPDX-License-Identifier: Apache-2.0
// MO_I dialect (UDP 10000): a query with operation code 0 is answered with a reply of
// operation code 1 and the long body (195 bytes) that carries DHCP and DDNS too.
#pragma once

#include "search_responder.h"

namespace camlift::sim {

inline constexpr std::uint16_t kMoiResponderPort = 10000;

TBytes BuildMoiReply(const TSearchIdentity& identity);
// The answers to one datagram: a reply to a MO_I query, nothing to anything else.
std::vector<TBytes> AnswerMoi(const TSearchIdentity& identity,
                              std::span<const std::uint8_t> datagram);
std::unique_ptr<TSearchResponder> MakeMoiResponder(const TSearchIdentity& identity,
                                                   std::uint16_t port,
                                                   std::shared_ptr<TSimRecorder> recorder,
                                                   const std::string& camera_name);

}  // namespace camlift::sim
