// SPDX-License-Identifier: Apache-2.0
// TDevInfo: the camera record of one search reply, copied by value.
#pragma once

#include <cstdint>
#include <string>

#include "discovery/series.h"

namespace camlift {

struct TDevInfo {
  std::int32_t DevType = -1;  // dialect type code; -1 = no record
  std::string DevID;          // identity exactly as the reply gives it (de-duplication key)
  std::string NormID;         // NormalizeID(DevID)
  std::string SerialNo;
  std::string DevName;
  std::string Version;
  std::string IPAddr;
  std::string Netmask;
  std::string Gateway;
  std::string DNS1;
  std::string DNS2;
  std::uint16_t DevPort = 0;
  std::uint16_t AuxWord = 0;
  std::uint8_t DhcpFlag = 2;  // 1 = DHCP on, 2 = off
  std::string DdnsUser;
  std::string DdnsPassword;
  std::string DdnsHost;
  std::int32_t Lifetime = 0;   // search ticks left before an unrefreshed list entry is dropped
  std::uint64_t Revision = 0;  // set by the list on every change of what its row shows
  // The address the reply came from (the datagram's sender, dotted), which need not be the
  // IPAddr it names: a search reply is unauthenticated. Empty when the record came from no
  // datagram of ours (the closed library, an address typed in).
  std::string ReplyFrom;
  // A typed-in camera (kTypeManual): its series as the series probe told it; None when it could
  // not be told. Searched cameras take their series from DevType.
  TSeries ProbedSeries = TSeries::None;
};

}  // namespace camlift
