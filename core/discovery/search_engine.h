// SPDX-License-Identifier: Apache-2.0
// The background search of the selection dialog: the UDP endpoints and the dialects of the dialect
// table (search_dialects.h), one search pass per timer tick, every reply parsed on the UI thread
// into the device list. The window owns the timer and calls TimerTick every SearchPassInterval;
// the command line does the same in its own loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/follow_up_sender.h"
#include "discovery/manual_probe.h"
#include "discovery/net_interfaces.h"
#include "discovery/own_thread_search.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_diagnostics.h"
#include "discovery/search_dialects.h"
#include "discovery/udp_endpoint.h"
#include "platform/dispatcher.h"

namespace camlift {

// Where the queries go, one port per row of the dialect table. The cameras listen on the rows'
// ports; tests that run beside other searches on the same host use ports of their own.
class TSearchPorts {
 public:
  TSearchPorts();
  // The port of the row of that name ("moi", "1010", ...); std::out_of_range for another name.
  std::uint16_t& operator[](std::string_view dialect);
  std::uint16_t Of(const TDialect& dialect) const;
  // Every query to this port.
  void SetAll(std::uint16_t port);

 private:
  std::vector<std::uint16_t> ports_;  // by row
};

class TSearchEngine {
 public:
  // The endpoint of the IMAGIA query, through which the service shortcut's IMAGIA command goes.
  static constexpr int kImagiaEndpoint = kImagiaEndpointNumber;

  // finder may be null (no closed-library search at all).
  TSearchEngine(IUiDispatcher& ui, TDeviceList& list, IOwnThreadSearch& series_r_search,
                TFind_Hisi* finder, TSearchPorts ports = {});
  ~TSearchEngine();
  TSearchEngine(const TSearchEngine&) = delete;
  TSearchEngine& operator=(const TSearchEngine&) = delete;

  // Binds the endpoints, gives the closed-library search its record handler and the series R
  // search the UI hand-off. An endpoint that finds no port stays inactive; the others work.
  void Create();
  // One search pass; every step is guarded, so one failing step does not stop the next. The
  // interfaces are read again first: every datagram goes to each address of
  // CurrentSearchTargets().
  void SearchPass(int tick, bool with_library);
  // The timer: a pass with the tick number, the lifetimes of the list, the tick number + 1.
  // with_library adds the closed-library search to the pass, as Find does.
  void TimerTick(bool with_library = false);
  // The Find button: empties the list and searches with the closed library too, and probes the
  // typed-in address (SetManualAddress) on a worker; its row arrives later. The selection comes
  // back to the typed-in camera when it is listed, else to the camera it was on.
  void Find();
  // The address the next Find also asks directly (empty: none).
  void SetManualAddress(std::string text) { manual_address_ = std::move(text); }
  // Probes that address now (Find does it after its pass). A camera listed at that address is
  // selected at once, without a probe; the answer of a probe selects the typed-in camera.
  void StartManualProbe();
  TManualProbe& ManualProbe() { return probe_; }
  // The typed-in address that did not answer the last probe (empty: none, or it answered).
  const std::string& UnansweredAddress() const { return unanswered_address_; }

  // What the search did: addresses and interfaces of the last pass, local ports it could not
  // bind, a typed-in address that did not answer. Shown when the list stays empty.
  // Replies the search ports dropped because too many waited for the list.
  std::uint64_t DroppedReplies() const;
  TSearchDiagnostics Diagnostics() const;
  // Stops everything: endpoints, closed library, series R receive threads, list. Idempotent.
  void Teardown();

  // Endpoint 1 to the number of SearchEndpoints().
  TUdpEndpoint& Endpoint(int number) {
    return *endpoints_.at(static_cast<std::size_t>(number - 1));
  }
  int TickNumber() const { return tick_; }

 private:
  void OnDatagram(std::span<const std::uint8_t> datagram, std::uint32_t sender);
  // The query of one row of the dialect table.
  void SendQuery(const TDialect& dialect);
  void RefreshTargets();
  // The row of a searched camera at the typed-in address, or -1.
  int ListedTypedCamera() const;

  IUiDispatcher& ui_;
  TDeviceList& list_;
  IOwnThreadSearch& series_r_search_;
  TFind_Hisi* finder_;
  TSearchPorts ports_;
  std::vector<std::unique_ptr<TUdpEndpoint>> endpoints_;      // by number - 1
  std::vector<std::unique_ptr<TFollowUpSender>> follow_ups_;  // of each endpoint
  TSearchTargets targets_;
  std::vector<TPortProblem> port_problems_;
  std::string manual_address_;
  std::string unanswered_address_;
  TManualProbe probe_;
  int tick_ = 0;
  bool torn_down_ = false;
};

}  // namespace camlift
