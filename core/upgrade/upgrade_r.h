// SPDX-License-Identifier: Apache-2.0
// Series R: the account travels in the query of every request; firmware goes to port 8600
// through the shared R730 client, whatever port the camera's pages use.
#pragma once

#include "upgrade/upgrade_object.h"

namespace camlift {

// "?user=" + account + "&pwd=" + password, both encoded for the query.
std::string AccountQuery(const TUpgradeObject& upgrader);

class TRUIUpgrade final : public TUIUpgradeObject {
 public:
  bool ReadOem() override;
  bool ReadCurrentVersion() override;
  bool Upload(std::string& message) override;
};

class TRSYSUpgrade final : public TSysUpgradeObject {
 public:
  bool ReadOem() override;
  bool ReadCurrentVersion() override;
  bool Upload(std::string& message) override;
};

}  // namespace camlift
