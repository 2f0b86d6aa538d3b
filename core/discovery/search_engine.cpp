// SPDX-License-Identifier: Apache-2.0
#include "discovery/search_engine.h"

#include <algorithm>
#include <stdexcept>

#include "discovery/reply_intake.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"
#include "discovery/tools_net.h"

namespace camlift {
namespace {

template <typename Step>
void Guarded(Step&& step) {
  try {
    step();
  } catch (...) {
    // A failing step of a search pass must not keep the next one from running.
  }
}

}  // namespace

TSearchPorts::TSearchPorts() {
  for (const TDialect& dialect : DialectTable()) ports_.push_back(dialect.port);
}

std::uint16_t& TSearchPorts::operator[](std::string_view dialect) {
  const TDialect* row = FindDialect(dialect);
  if (!row) throw std::out_of_range("no search dialect " + std::string(dialect));
  return ports_.at(static_cast<std::size_t>(row - DialectTable().data()));
}

std::uint16_t TSearchPorts::Of(const TDialect& dialect) const {
  return ports_.at(static_cast<std::size_t>(&dialect - DialectTable().data()));
}

void TSearchPorts::SetAll(std::uint16_t port) {
  for (std::uint16_t& each : ports_) each = port;
}

TSearchEngine::TSearchEngine(IUiDispatcher& ui, TDeviceList& list,
                             IOwnThreadSearch& series_r_search, TFind_Hisi* finder,
                             TSearchPorts ports)
    : ui_(ui),
      list_(list),
      series_r_search_(series_r_search),
      finder_(finder),
      ports_(ports),
      probe_(ui) {
  for (std::size_t i = 0; i < SearchEndpoints().size(); ++i) {
    endpoints_.push_back(std::make_unique<TUdpEndpoint>(
        ui_, [this](std::span<const std::uint8_t> datagram, std::uint32_t sender) {
          OnDatagram(datagram, sender);
        }));
    follow_ups_.push_back(std::make_unique<TFollowUpSender>(*endpoints_.back()));
  }
}

TSearchEngine::~TSearchEngine() { Teardown(); }

void TSearchEngine::Create() {
  std::vector<std::pair<const TSearchEndpoint*, std::vector<std::uint16_t>>> busy;
  for (const TSearchEndpoint& plan : SearchEndpoints()) {
    busy.emplace_back(&plan, std::vector<std::uint16_t>{});
    TTools_Net::BindFreePort(Endpoint(plan.number), plan.first_port, busy.back().second);
  }
  // A port that one of these endpoints took is no one else's fault: when 10000 is held, the
  // endpoints after it move up and meet each other's ports.
  const auto ours = [this](std::uint16_t port) {
    for (const auto& endpoint : endpoints_) {
      if (endpoint->Active() && endpoint->Port() == port) return true;
    }
    return false;
  };
  port_problems_.clear();
  for (const auto& [plan, ports] : busy) {
    const TUdpEndpoint& endpoint = Endpoint(plan->number);
    if (!endpoint.Active()) {
      port_problems_.push_back({plan->first_port, 0});
      continue;
    }
    for (const std::uint16_t port : ports) {
      if (!ours(port)) port_problems_.push_back({port, endpoint.Port()});
    }
  }
  RefreshTargets();
  if (finder_) {
    finder_->SetCallback([this](const TDevInfo& record) {
      // The record lives in the library's callback: hand it over and wait until it is taken.
      ui_.Invoke([&] { list_.OnRecord(record); });
    });
  }
}

void TSearchEngine::RefreshTargets() {
  try {
    targets_ = CurrentSearchTargets();
  } catch (...) {
    // A malformed CAMLIFT_BROADCAST_ADDR: the sends fail the same way, one by one.
    targets_ = TSearchTargets{};
  }
  for (auto& endpoint : endpoints_) endpoint->SetTargets(targets_.Addresses);
}

void TSearchEngine::SearchPass(int tick, bool with_library) {
  Guarded([&] { RefreshTargets(); });
  for (auto& endpoint : endpoints_) endpoint->ClearSendProblems();
  for (auto& follow_ups : follow_ups_) follow_ups->NewPass();
  for (const TDialect& dialect : DialectTable()) {
    if (tick % dialect.every == 0) Guarded([&] { SendQuery(dialect); });
  }
  // Started the way it is shut down: off the UI thread, which serves the library's callbacks
  // meanwhile (a second search may wait for the first one's callback thread).
  if (with_library && finder_) Guarded([&] { finder_->StartSearch(&ui_); });
}

void TSearchEngine::SendQuery(const TDialect& dialect) {
  if (dialect.endpoint == kOwnThread) {
    // The receive thread hands its records to this engine's UI thread.
    series_r_search_.SearchDevices(
        ports_.Of(dialect),
        HandOffToUi(ui_, [this](const TDevInfo& record) { list_.AddOrUpdate(record); }));
    return;
  }
  SendDialectQuery(dialect, ports_.Of(dialect), Endpoint(dialect.endpoint));
}

void TSearchEngine::TimerTick(bool with_library) {
  SearchPass(tick_, with_library);
  list_.Tick();
  ++tick_;
}

int TSearchEngine::ListedTypedCamera() const {
  const std::optional<TManualAddress> address = ParseManualAddress(manual_address_);
  if (!address) return -1;
  return list_.RowAt(address->Host, address->PortGiven ? address->Port : 0);
}

void TSearchEngine::Find() {
  // The camera to select again once the emptied list fills: the typed-in one when it is listed,
  // else the one that was selected.
  std::string wanted;
  const int listed = ListedTypedCamera();
  if (listed >= 0) {
    wanted = list_.Rows()[static_cast<std::size_t>(listed)].DevID;
  } else if (const TDevInfo* selected = list_.SelectedEntry()) {
    wanted = selected->DevID;
  }
  list_.ClearList();
  list_.WantSelection(wanted);
  SearchPass(0, true);
  if (listed < 0) StartManualProbe();
}

void TSearchEngine::StartManualProbe() {
  unanswered_address_.clear();
  if (manual_address_.find_first_not_of(" \t") == std::string::npos) return;
  if (const int listed = ListedTypedCamera(); listed >= 0) {
    list_.SelectEntry(list_.Rows()[static_cast<std::size_t>(listed)].DevID);
    return;
  }
  probe_.Start(manual_address_,
               [this](const std::string& address, const std::optional<TDevInfo>& record) {
                 if (record) {
                   list_.OnTypedCamera(*record);
                 } else {
                   unanswered_address_ = address;
                   list_.UpdateCount();  // the window shows the diagnosis again
                 }
               });
}

std::uint64_t TSearchEngine::DroppedReplies() const {
  std::uint64_t dropped = 0;
  for (const auto& endpoint : endpoints_) {
    if (endpoint) dropped += endpoint->Dropped();
  }
  return dropped;
}

TSearchDiagnostics TSearchEngine::Diagnostics() const {
  TSearchDiagnostics diagnostics;
  diagnostics.Targets = targets_;
  diagnostics.Ports = port_problems_;
  if (const std::uint16_t port = series_r_search_.BlockedPort())
    diagnostics.Ports.push_back({port, 0});
  diagnostics.UnansweredAddress = unanswered_address_;
  diagnostics.RefusedRows = list_.RefusedRows();
  diagnostics.DroppedReplies = DroppedReplies();
  for (const auto& endpoint : endpoints_) {
    for (const TSendProblem& problem : endpoint->SendProblems()) {
      // Two endpoints send to port 10000 (MO_I and IMAGIA): one line for both.
      auto& known = diagnostics.SendProblems;
      if (std::find(known.begin(), known.end(), problem) == known.end()) known.push_back(problem);
    }
  }
  return diagnostics;
}

void TSearchEngine::Teardown() {
  if (torn_down_) return;
  torn_down_ = true;
  probe_.Stop();
  for (auto& endpoint : endpoints_) endpoint->Deactivate();
  if (finder_) finder_->Shutdown(&ui_);
  series_r_search_.StopSearches(ui_);
  list_.ClearList();
}

void TSearchEngine::OnDatagram(std::span<const std::uint8_t> datagram, std::uint32_t sender) {
  TDevInfo record;
  const TReplyResult result = TakeReply(
      datagram, record,
      [this](const TDialect& dialect) {
        TFollowUpTarget target{nullptr, ports_.Of(dialect)};
        if (dialect.endpoint != kOwnThread) {
          target.sender = follow_ups_.at(static_cast<std::size_t>(dialect.endpoint - 1)).get();
        }
        return target;
      },
      [this](const std::string& id) { return list_.FindByID(id); });
  if (result == TReplyResult::None) return;
  // A merged reply (the 1010 DDNS reply) only adds texts to its entry (record is a copy of it):
  // the entry keeps the sender of the reply that named its address.
  if (result == TReplyResult::Record) record.ReplyFrom = AddressText(sender);
  list_.OnRecord(record);
}

}  // namespace camlift
