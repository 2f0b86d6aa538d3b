// SPDX-License-Identifier: Apache-2.0
// Language texts that carry values: "%1" to "%9" in the text stand for the values in order, so
// that each language puts them where its sentence needs them. Replaced in one pass: a value that
// itself holds "%2" stays as it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace camlift {

std::string LangFormat(std::string_view text, const std::vector<std::string>& values);

}  // namespace camlift
