// SPDX-License-Identifier: Apache-2.0
// A search dialect with a socket and receive threads of its own (the series R search on port
// 8600). The search engine starts it with every pass and stops it with the search; the dialect
// itself lives in a layer above discovery and is handed to the engine through this seam.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "discovery/dev_info.h"
#include "platform/dispatcher.h"

namespace camlift {

// Receives each record the dialect finds.
using TDeviceRecordHandler = std::function<void(const TDevInfo&)>;
// Receives the records a receive thread read at once, in the order they came.
using TDeviceRecordsHandler = std::function<void(const std::vector<TDevInfo>&)>;

class IOwnThreadSearch {
 public:
  virtual ~IOwnThreadSearch() = default;
  // Sends one query to port and starts a receive thread that calls handler on its own thread.
  virtual void SearchDevices(std::uint16_t port, const TDeviceRecordsHandler& handler) = 0;
  // The local port the last search could not bind because another program holds it, else 0.
  virtual std::uint16_t BlockedPort() const = 0;
  // Tells every receive thread to stop and waits, serving ui meanwhile, until all have ended.
  virtual void StopSearches(IUiDispatcher& ui) = 0;
};

// A receive thread calls its handler on its own thread. A search that keeps its records on the
// UI thread passes its handler through this: what the thread read at once is handed to ui in
// one call (hundreds of cameras answer a pass together) and waited for, and handler runs there
// for each record. Every engine has its own hand-off; nothing about it is shared between searches.
TDeviceRecordsHandler HandOffToUi(IUiDispatcher& ui, TDeviceRecordHandler handler);

}  // namespace camlift
