// SPDX-License-Identifier: Apache-2.0
#include "sim_faults.h"

namespace camlift::sim {
namespace {

#define CAMLIFT_SIM_CAMERA_FAULT_ROW(fault, name, what, ...) \
  {TCameraFault::fault, name, what, TFaultSide::Any},
#define CAMLIFT_SIM_CTP_FAULT_ROW(fault, name, what, ...) \
  {TCameraFault::fault, name, what, TFaultSide::CommandService},
#define CAMLIFT_SIM_R730_FAULT_ROW(fault, name, what, ...) \
  {TCameraFault::fault, name, what, TFaultSide::ConfigCalls},
// clang-format off
constexpr TFaultRow<TCameraFault> kCameraFaults[] = {
    CAMLIFT_SIM_CAMERA_FAULTS(CAMLIFT_SIM_CAMERA_FAULT_ROW)
    CAMLIFT_SIM_CTP_FAULTS(CAMLIFT_SIM_CTP_FAULT_ROW)
    CAMLIFT_SIM_R730_FAULTS(CAMLIFT_SIM_R730_FAULT_ROW)
};
// clang-format on
#undef CAMLIFT_SIM_CAMERA_FAULT_ROW
#undef CAMLIFT_SIM_CTP_FAULT_ROW
#undef CAMLIFT_SIM_R730_FAULT_ROW

// Names that scenario files of older releases used; not listed in help texts.
constexpr TFaultRow<TCameraFault> kCameraFaultAliases[] = {
    {TCameraFault::RejectAccount, "wrong-password", "reject-account"},
};

#define CAMLIFT_SIM_REPO_FAULT_ROW(fault, name, what) {TRepoFault::fault, name, what},
constexpr TFaultRow<TRepoFault> kRepoFaults[] = {
    CAMLIFT_SIM_REPO_FAULTS(CAMLIFT_SIM_REPO_FAULT_ROW)};
#undef CAMLIFT_SIM_REPO_FAULT_ROW

template <class TFault>
std::vector<std::string> NamesOf(std::span<const TFaultRow<TFault>> rows) {
  std::vector<std::string> names;
  for (const TFaultRow<TFault>& row : rows) names.emplace_back(row.name);
  return names;
}

}  // namespace

std::span<const TFaultRow<TCameraFault>> CameraFaults() { return kCameraFaults; }
std::span<const TFaultRow<TRepoFault>> RepoFaults() { return kRepoFaults; }

std::optional<TCameraFault> ParseCameraFault(std::string_view name) {
  if (auto fault = FindFault(CameraFaults(), name)) return fault;
  return FindFault(std::span<const TFaultRow<TCameraFault>>(kCameraFaultAliases), name);
}

std::string CameraFaultName(TCameraFault fault) {
  for (const auto& row : kCameraFaults) {
    if (row.fault == fault) return std::string(row.name);
  }
  return "?";
}

TFaultSide CameraFaultSide(TCameraFault fault) {
  for (const auto& row : kCameraFaults) {
    if (row.fault == fault) return row.side;
  }
  return TFaultSide::Any;
}

std::vector<std::string> CameraFaultNames() { return NamesOf(CameraFaults()); }

std::optional<TRepoFault> ParseRepoFault(std::string_view name) {
  return FindFault(RepoFaults(), name);
}

std::vector<std::string> RepoFaultNames() { return NamesOf(RepoFaults()); }

}  // namespace camlift::sim
