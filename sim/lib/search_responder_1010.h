// SPDX-License-Identifier: Apache-2.0
// 1010 dialect (UDP 6801), three exchanges per search: the query 0x0F01 is answered with the
// hello 0x8F01; the information request 0x0F12 with the information reply 0x8F12; the DDNS
// request 0x0F0F with the DDNS reply 0x8F0F. The requests are broadcast too, so a camera answers
// one only when it carries its own MAC: the searcher echoes the hello's bytes from offset 12 and
// the information reply's from offset 8, so the hello puts the MAC at 100 and both requests carry
// it at 96.
#pragma once

#include "search_responder.h"

namespace camlift::sim {

inline constexpr std::uint16_t k1010ResponderPort = 6801;

TBytes Build1010Hello(const TSearchIdentity& identity);
TBytes Build1010Info(const TSearchIdentity& identity);
TBytes Build1010Ddns(const TSearchIdentity& identity);
std::vector<TBytes> Answer1010(const TSearchIdentity& identity,
                               std::span<const std::uint8_t> datagram);
std::unique_ptr<TSearchResponder> Make1010Responder(const TSearchIdentity& identity,
                                                    std::uint16_t port,
                                                    std::shared_ptr<TSimRecorder> recorder,
                                                    const std::string& camera_name);

}  // namespace camlift::sim
