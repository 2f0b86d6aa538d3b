// SPDX-License-Identifier: Apache-2.0
// A port number in the JSON files Camlift reads (camera lists, batch summaries, the history):
// a whole number from 0 to 65535. Anything else - a text, a fraction, a number too large for
// an int - is no port, so that a wrapped or truncated value can never name another camera.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

namespace camlift {

std::optional<int> JsonPort(const nlohmann::json& value);

}  // namespace camlift
