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

TReplyResult Take1010Reply(TDatagram datagram, TDevInfo& record, const TFollowUpTarget& target,
                           const TFindByID& find) {
  const T1010Decision decision = Decide1010(datagram, record);
  switch (decision.Answer) {
    case T1010Answer::None:
      return TReplyResult::None;
    case T1010Answer::Hello:
      SendFollowUp(target.sender, target.port, decision.FollowUp);
      return TReplyResult::None;
    case T1010Answer::Info:
      SendFollowUp(target.sender, target.port, decision.FollowUp);
      return TReplyResult::Record;
    case T1010Answer::Ddns:
      break;
  }
  TDevInfo* entry = find ? find(decision.Ddns.Mac) : nullptr;
  if (!entry) return TReplyResult::None;
  entry->DdnsHost = decision.Ddns.Host;
  entry->DdnsUser = decision.Ddns.User;
  entry->DdnsPassword = decision.Ddns.Password;
  record = *entry;
  return TReplyResult::Merged;
}

TReplyResult TakeReply(TDatagram datagram, TDevInfo& record, const TFollowUpTargets& targets,
                       const TFindByID& find) {
  for (const TDialect& dialect : DialectTable()) {
    // The replies of a dialect with a socket of its own never reach the endpoints.
    if (dialect.endpoint == kOwnThread || !dialect.recognises || !dialect.recognises(datagram)) {
      continue;
    }
    if (dialect.follow_up) {
      return dialect.follow_up(datagram, record, targets ? targets(dialect) : TFollowUpTarget{},
                               find);
    }
    return dialect.parse && dialect.parse(datagram, record) ? TReplyResult::Record
                                                            : TReplyResult::None;
  }
  return TReplyResult::None;
}

bool ParseReply(TDatagram datagram, TDevInfo& record, IDatagramSender* follow_up,
                const TFindByID& find, std::uint16_t follow_up_port) {
  const TReplyResult result = TakeReply(
      datagram, record,
      [&](const TDialect& dialect) {
        return TFollowUpTarget{follow_up, follow_up_port != 0 ? follow_up_port : dialect.port};
      },
      find);
  return result != TReplyResult::None;
}

}  // namespace camlift
