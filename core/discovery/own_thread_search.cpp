// SPDX-License-Identifier: Apache-2.0
#include "discovery/own_thread_search.h"

namespace camlift {

TDeviceRecordHandler HandOffToUi(IUiDispatcher& ui, TDeviceRecordHandler handler) {
  return [&ui, handler = std::move(handler)](const TDevInfo& record) {
    ui.Invoke([&] { handler(record); });
  };
}

}  // namespace camlift
