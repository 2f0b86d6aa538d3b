// SPDX-License-Identifier: Apache-2.0
#include <algorithm>

#include "sim_camera.h"

namespace camlift::sim {
namespace {

constexpr TCameraSetting kSettings[] = {
#define CAMLIFT_SIM_SETTING_ROW(type, member, value, help, flags) \
  {#member, &TCameraConfig::member, help, flags},
    CAMLIFT_SIM_CAMERA_SETTINGS(CAMLIFT_SIM_SETTING_ROW)
#undef CAMLIFT_SIM_SETTING_ROW
};

}  // namespace

std::span<const TCameraSetting> CameraSettings() { return kSettings; }

std::string CameraSettingOption(const TCameraSetting& setting) {
  std::string option = std::string("--") + setting.key;
  std::replace(option.begin(), option.end(), '_', '-');
  return option;
}

}  // namespace camlift::sim
