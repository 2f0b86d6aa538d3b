// SPDX-License-Identifier: Apache-2.0
#include "discovery/reply_intake.h"

namespace camlift {
namespace {

// A follow-up that cannot go out is given up: the camera answers the next pass's query again.
void SendFollowUp(IDatagramSender* endpoint, std::uint16_t port, const TBytes& bytes) {
  if (!endpoint) return;
  try {
    endpoint->Broadcast(port, bytes);
  } catch (...) {
  }
}

}  // namespace

bool Answer1010Hello(TDatagram datagram, std::uint16_t port, IDatagramSender* endpoint) {
  TDevInfo unused;
  const T1010Decision decision = Decide1010(datagram, unused);
  if (decision.Answer != T1010Answer::Hello) return false;
  SendFollowUp(endpoint, port, decision.FollowUp);
  return true;
}

bool Parse1010Info(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint,
                   std::uint16_t port) {
  TDevInfo info = record;
  const T1010Decision decision = Decide1010(datagram, info);
  if (decision.Answer != T1010Answer::Info) return false;
  record = std::move(info);
  SendFollowUp(endpoint, port, decision.FollowUp);
  return true;
}

bool ParseReply(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint_1010,
                const TFindByID& find, std::uint16_t port_1010) {
  switch (ReplyKind(datagram)) {
    case TReplyKind::MOI:
      return ParseMOIReply(datagram, record);
    case TReplyKind::Text:
      return ParseTextReply(datagram, record);
    case TReplyKind::Other:
      break;
  }
  const T1010Decision decision = Decide1010(datagram, record);
  switch (decision.Answer) {
    case T1010Answer::None:
      return false;
    case T1010Answer::Hello:
      SendFollowUp(endpoint_1010, port_1010, decision.FollowUp);
      return false;
    case T1010Answer::Info:
      SendFollowUp(endpoint_1010, port_1010, decision.FollowUp);
      return true;
    case T1010Answer::Ddns:
      break;
  }
  TDevInfo* entry = find ? find(decision.Ddns.Mac) : nullptr;
  if (!entry) return false;
  entry->DdnsHost = decision.Ddns.Host;
  entry->DdnsUser = decision.Ddns.User;
  entry->DdnsPassword = decision.Ddns.Password;
  record = *entry;
  return true;
}

}  // namespace camlift
