// SPDX-License-Identifier: Apache-2.0
// A camera the user names by address: for cameras on another subnet that no broadcast reaches.
// Find asks the address for the pages every camera serves ("/oem.txt", "/appver.js") on a worker
// thread, so a silent address never holds up the window, and hands the record to the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "discovery/dev_info.h"
#include "platform/dispatcher.h"
#include "platform/run_control.h"

namespace camlift {

struct TManualAddress {
  std::string Host;
  std::uint16_t Port = 80;
  bool PortGiven = false;  // the text named the port
  // "host:port" as the list shows it in its ID.
  std::string Text() const { return Host + ":" + std::to_string(Port); }
};

// "192.168.5.20", "192.168.5.20:8080", "http://cam.local:81/" (blanks around are ignored). None
// for an empty text, a host with characters other than letters, digits, "." and "-", or a port
// outside 1-65535.
std::optional<TManualAddress> ParseManualAddress(std::string_view text);

// Reads "/oem.txt" and "/appver.js" without an account. A camera that answers either page, even
// with "Unauthorized", is there: the record has type kTypeManual, DevID "manual:" + host:port,
// the address and port, as name the OEM text (or the model when that page is refused) and as
// version app_ver. None when neither page answered.
std::optional<TDevInfo> ProbeAddress(const TManualAddress& address, int timeout_ms);

class TManualProbe {
 public:
  // Runs on the UI thread: the address as typed, and the record (none: nothing answered). It
  // must not call Start or Stop.
  using TResultHandler =
      std::function<void(const std::string& address, const std::optional<TDevInfo>& record)>;

  // Tells the series of the camera at host:port (None: cannot be told). Lives in a higher layer
  // (the upgrade's series probe); the window and the command line hand it in. It runs on the
  // worker and must end soon once the control's stop is requested.
  using TSeriesTeller =
      std::function<TSeries(const std::string& host, int port, const TRunControl& control)>;

  explicit TManualProbe(IUiDispatcher& ui);
  ~TManualProbe();
  TManualProbe(const TManualProbe&) = delete;
  TManualProbe& operator=(const TManualProbe&) = delete;

  // UI thread. Starts a probe on a worker thread; the result of a probe still running is
  // dropped from now on. An address that does not parse gives its result (none) at once.
  void Start(const std::string& address_text, TResultHandler on_result);
  // UI thread, before Start. A camera that answered is then asked its series as well, and its
  // record carries it (ProbedSeries).
  void SetSeriesTeller(TSeriesTeller teller) { teller_ = std::move(teller); }
  // UI thread. After it returns no result reaches the UI thread any more; workers still waiting
  // for an answer end by themselves (they own what they use).
  void Stop();
  // UI thread. Waits, serving the UI thread, until every worker has ended (the command line).
  void WaitDone();
  int Running() const;

 private:
  struct TShared;
  IUiDispatcher& ui_;
  std::shared_ptr<TShared> shared_;
  TSeriesTeller teller_;
};

}  // namespace camlift
