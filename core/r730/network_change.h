// SPDX-License-Identifier: Apache-2.0
// New network settings for a series R camera of the search list, as the window's network
// settings dialog takes them: the row's settings as the fields show them first, the settings to
// send from what was typed and why they may not go, and the change itself. The settings datagram
// waits seconds for the camera's answer, so the change runs on a worker thread and its answer
// comes back through the UI hand-off.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "discovery/dev_info.h"
#include "platform/dispatcher.h"
#include "r730/r730_series.h"

namespace camlift {

// The dialog's fields as typed: dotted addresses and the port in decimal.
struct TNetworkFields {
  std::string ip;
  std::string netmask;
  std::string gateway;
  std::string dns1;
  std::string dns2;
  std::string port;
  bool dhcp = false;
};

// A typed address as the check reads it: "192.168.001.010" goes out as "192.168.1.10", since a
// camera may read a leading zero as an octal number and land elsewhere than we confirmed. Text
// that is no address stays as typed (trimmed), for the check to refuse.
std::string PlainAddress(const std::string& typed);

// True when the settings datagram can reach the camera of this row: a camera of the 8600 search,
// whose reply carried its MAC (the datagram names the camera by it; every camera hears it).
bool CanChangeNetwork(const TDevInfo& row);
// The row's settings as the fields show them first (the camera's texts cleaned for showing).
TNetworkFields NetworkFieldsOf(const TDevInfo& row);
// The row with the typed settings (texts trimmed): what goes to the camera. A port that is no
// decimal number from 1 to 65535 becomes 0, which the check refuses.
TDevInfo WantedNetwork(const TDevInfo& row, const TNetworkFields& fields);
// The message key of the first reason not to send wanted with this account, "" when there is
// none: the settings' own check, a camera without MAC, an account or a camera name longer than
// the datagram holds.
std::string NetworkChangeProblem(const TDevInfo& wanted, const std::string& user,
                                 const std::string& password);
// The new address as messages name it: "ip:port", or for DHCP the port alone, in words.
std::string NetworkAddressText(const TDevInfo& wanted);
// The log line of what became of the settings for where (NetworkAddressText) sent to the camera
// with this MAC (as shown): taken, refused, not answered, or not sent from this computer.
std::string NetworkOutcomeText(TSettingsOutcome outcome, const std::string& mac,
                               const std::string& where);

// One change at a time, on a worker thread that it owns. Every call on the UI thread.
class TNetworkChange {
 public:
  // Runs on the UI thread with what became of the settings.
  using TDoneHandler = std::function<void(TSettingsOutcome outcome)>;

  TNetworkChange(IUiDispatcher& ui, IR730Series& client);
  ~TNetworkChange();
  TNetworkChange(const TNetworkChange&) = delete;
  TNetworkChange& operator=(const TNetworkChange&) = delete;

  // Checks wanted (NetworkChangeProblem) and sends it to the camera of current. Returns "" when
  // the change runs (on_done then gets its answer, unless Stop comes first), else the message
  // key of why nothing was sent and on_done is never called: the check's reason, or
  // "IDS_NETBUSY" while another change runs.
  std::string Start(const TDevInfo& current, const TDevInfo& wanted, const std::string& user,
                    const std::string& password, TDoneHandler on_done);
  bool Running() const;
  // Ends the wait for the camera's answer and the worker; no answer is handed over from now on.
  // Returns within one short wait of the datagram's reply.
  void Stop();
  // Waits, serving the UI thread, until the running change has handed over its answer.
  void WaitDone();

 private:
  void JoinServingUi();

  IUiDispatcher& ui_;
  IR730Series& client_;
  std::thread worker_;
  std::atomic<bool> stop_{false};
  // Set by the worker once its answer was handed over (or dropped): joining it then never waits
  // for a hand-off to the UI thread.
  std::atomic<bool> finished_{true};
};

}  // namespace camlift
