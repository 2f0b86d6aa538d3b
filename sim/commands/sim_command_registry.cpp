// SPDX-License-Identifier: Apache-2.0
#include "sim_command_registry.h"

#include <algorithm>
#include <string_view>

namespace camlift::sim {
namespace {

std::vector<TSimCommandRegistration>& Registry() {
  static std::vector<TSimCommandRegistration> registry;
  return registry;
}

}  // namespace

bool RegisterSimCommand(const char* name, TSimCommandSetup setup) {
  Registry().push_back({name, setup});
  return true;
}

const std::vector<TSimCommandRegistration>& RegisteredSimCommands() {
  auto& all = Registry();
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    return std::string_view(a.name) < std::string_view(b.name);
  });
  return all;
}

}  // namespace camlift::sim
