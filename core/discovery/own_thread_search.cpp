// SPDX-License-Identifier: Apache-2.0
#include "discovery/own_thread_search.h"

namespace camlift {

TDeviceRecordsHandler HandOffToUi(IUiDispatcher& ui, TDeviceRecordHandler handler) {
  return [&ui, handler = std::move(handler)](const std::vector<TDevInfo>& records) {
    ui.Invoke([&] {
      for (const TDevInfo& record : records) handler(record);
    });
  };
}

}  // namespace camlift
