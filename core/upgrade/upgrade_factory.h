// TUpgradeFactory: the upgrader for a series index (0 K, 1 M, 2 P, 3 R) and a firmware kind.
#pragma once

#include <memory>

#include "upgrade/upgrade_object.h"

namespace camlift {

class TUpgradeFactory {
 public:
  TUpgradeFactory() = delete;
  // Empty for an index outside 0 to 3.
  static std::unique_ptr<TUpgradeObject> CreateUpgrader(int series_index, bool is_system);
};

// "K", "M", "P", "R" for 0 to 3; -1 for anything else.
int SeriesIndexFromLetter(char letter);
char SeriesLetter(int series_index);

}  // namespace camlift
