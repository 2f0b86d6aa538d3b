// SPDX-License-Identifier: Apache-2.0
// TUpgradeFactory: the upgrader for a camera series and a firmware kind.
#pragma once

#include <memory>

#include "discovery/series.h"
#include "upgrade/upgrade_object.h"

namespace camlift {

class TUpgradeFactory {
 public:
  TUpgradeFactory() = delete;
  // Empty for TSeries::None.
  static std::unique_ptr<TUpgradeObject> CreateUpgrader(TSeries series, bool is_system);
  // The same for a series index (0 K, 1 M, 2 P, 3 R); empty for an index outside 0 to 3.
  static std::unique_ptr<TUpgradeObject> CreateUpgrader(int series_index, bool is_system) {
    return CreateUpgrader(SeriesFromIndex(series_index), is_system);
  }
};

}  // namespace camlift
