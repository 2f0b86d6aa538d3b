// SPDX-License-Identifier: Apache-2.0
// Series M and P: version from the camera's status page, firmware as a multipart upload to a CGI
// of the camera. M sends the account in the query and checks the file's signature; P sends it as
// Basic authentication and checks nothing.
#pragma once

#include <array>
#include <cstdint>

#include "upgrade/upgrade_object.h"

namespace camlift {

// The first four bytes every series M firmware of a kind starts with.
inline constexpr std::array<std::uint8_t, 4> kMSysSignature = {0x42, 0x4E, 0x45, 0x47};  // BNEG
inline constexpr std::array<std::uint8_t, 4> kMUISignature = {0xBD, 0x9A, 0x0C, 0x44};

// The status-page read of series M and P: key's quoted value into version; false when the page
// cannot be fetched or lacks the key.
bool ReadStatusPageVersion(const TUpgradeObject& upgrader, const std::string& key, char quote,
                           std::string& version);

// The upload URL of series M and P: the port is written only when it is not 80.
std::string UploadHostUrl(const TUpgradeObject& upgrader);

class TMUIUpgrade final : public TUIUpgradeObject {
 public:
  bool ReadCurrentVersion() override;
  bool Upload(std::string& message) override;
  TFirmwareForm FirmwareForm() const override {
    return {TFirmwareForm::Kind::Signature, kMUISignature};
  }
};

class TMSYSUpgrade final : public TSysUpgradeObject {
 public:
  bool ReadCurrentVersion() override;
  bool Upload(std::string& message) override;
  TFirmwareForm FirmwareForm() const override {
    return {TFirmwareForm::Kind::Signature, kMSysSignature};
  }
};

class TPUIUpgrade final : public TUIUpgradeObject {
 public:
  bool Upload(std::string& message) override;
};

class TPSYSUpgrade final : public TSysUpgradeObject {
 public:
  bool ReadCurrentVersion() override;
  bool Upload(std::string& message) override;
};

}  // namespace camlift
