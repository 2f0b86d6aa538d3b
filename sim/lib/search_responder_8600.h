// SPDX-License-Identifier: Apache-2.0
// 8600 dialect (UDP 8600): the query 0x4844 0x0101 is answered with the reply 0x4844 0x0801
// carrying the camera's network settings, identity and DDNS account.
#pragma once

#include "search_responder.h"

namespace camlift::sim {

TBytes Build8600Reply(const TSearchIdentity& identity);
std::vector<TBytes> Answer8600(const TSearchIdentity& identity,
                               std::span<const std::uint8_t> datagram);
std::unique_ptr<TSearchResponder> Make8600Responder(const TSearchIdentity& identity,
                                                    std::uint16_t port,
                                                    std::shared_ptr<TSimRecorder> recorder,
                                                    const std::string& camera_name);

}  // namespace camlift::sim
