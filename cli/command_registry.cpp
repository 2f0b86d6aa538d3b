// SPDX-License-Identifier: Apache-2.0
#include "command_registry.h"

#include <algorithm>

namespace camlift::cli {
namespace {

std::vector<CommandRegistration>& Registry() {
  static std::vector<CommandRegistration> registry;
  return registry;
}

}  // namespace

bool RegisterCommand(const char* name, CommandSetup setup) {
  Registry().push_back({name, setup});
  return true;
}

const std::vector<CommandRegistration>& RegisteredCommands() {
  auto& all = Registry();
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
    return std::string_view(a.name) < std::string_view(b.name);
  });
  return all;
}

}  // namespace camlift::cli
