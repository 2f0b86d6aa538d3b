// SPDX-License-Identifier: Apache-2.0
// Every reply parser of the LAN search over one datagram: the recogniser ParseReply (with a
// list that knows one camera, so that a 1010 DDNS reply can merge), the parser of each row of the
// dialect table on its own, and the 1010 follow-ups.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "discovery/reply_intake.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_dialects.h"
#include "fuzz_check.h"
#include "r730/r730_settings.h"

namespace {

using namespace camlift;

// Keeps what the 1010 answers would broadcast; nothing leaves the process.
class TRecordingSender final : public IDatagramSender {
 public:
  bool Broadcast(std::uint16_t, std::span<const std::uint8_t> bytes) override {
    FUZZ_CHECK(bytes.size() == k1010FollowUpSize);
    ++sent;
    return true;
  }
  int sent = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The UDP layer hands over at most 1024 bytes; the parsers must still cope with more.
  const TDatagram datagram(data, size);
  TRecordingSender sender;
  TDevInfo known;
  known.DevType = 8;
  known.DevID = "001122334455";
  const TFindByID find = [&](const std::string& id) -> TDevInfo* {
    return id == known.DevID ? &known : nullptr;
  };

  TDevInfo record;
  const bool parsed = ParseReply(datagram, record, &sender, find);
  FUZZ_CHECK(parsed == (record.DevType != -1));
  FUZZ_CHECK(sender.sent <= 2);

  for (const TDialect& dialect : DialectTable()) {
    TDevInfo row_record;
    if (!dialect.parse || !dialect.parse(datagram, row_record)) continue;
    FUZZ_CHECK(row_record.DevType == dialect.type.code);
    // A reply its parser takes is one its row recognises (else ParseReply would pass it by).
    FUZZ_CHECK(!dialect.recognises || dialect.recognises(datagram));
  }
  TDevInfo info;
  if (Parse1010Info(datagram, info, &sender, k1010Port)) FUZZ_CHECK(info.DevType == 8);
  Answer1010Hello(datagram, k1010Port, &sender);
  T1010Ddns ddns;
  if (Parse1010Ddns(datagram, ddns)) FUZZ_CHECK(ddns.Mac.size() == 12);
  FUZZ_CHECK(Build1010FollowUp(datagram, k1010InfoRequest, 12).size() == k1010FollowUpSize);
  bool taken = false;
  Parse8600SettingsReply(datagram, taken);
  SettingsReplyIsFor(datagram, "001A2B3C4D5E");
  return 0;
}
