// SPDX-License-Identifier: Apache-2.0
#include "fleet/json_port.h"

#include <cstdint>

namespace camlift {

std::optional<int> JsonPort(const nlohmann::json& value) {
  constexpr int kLast = 65535;
  if (value.is_number_unsigned()) {
    const auto n = value.get<std::uint64_t>();
    if (n <= static_cast<std::uint64_t>(kLast)) return static_cast<int>(n);
  } else if (value.is_number_integer()) {
    const auto n = value.get<std::int64_t>();
    if (n >= 0 && n <= kLast) return static_cast<int>(n);
  }
  return std::nullopt;
}

}  // namespace camlift
