// SPDX-License-Identifier: Apache-2.0
// Series K: firmware goes over the CTP command session as a ".pk2" package; the system version
// comes from the camera's answer to the CTP search.
#pragma once

#include "upgrade/upgrade_object.h"

namespace camlift {

class TKUIUpgrade final : public TUIUpgradeObject {
 public:
  std::string LocalFileName() const override;
  TFirmwareForm FirmwareForm() const override { return {TFirmwareForm::Kind::Package, {}}; }
  bool Upload(std::string& message) override;
};

class TKSYSUpgrade final : public TSysUpgradeObject {
 public:
  std::string LocalFileName() const override;
  bool ReadCurrentVersion() override;
  std::string ModelKey() const override;
  bool IsSameVersion(const std::string& version) const override;
  bool Upload(std::string& message) override;
  TVersionRule VersionRule() const override { return TVersionRule::ThirdPart; }
  TFirmwareForm FirmwareForm() const override { return {TFirmwareForm::Kind::Package, {}}; }
};

}  // namespace camlift
