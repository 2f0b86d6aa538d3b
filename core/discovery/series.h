// SPDX-License-Identifier: Apache-2.0
// The camera series K, M, P and R. Its index is what the window's series list, the selection
// dialog's nTYpe and the upgrader factory's numbered entry pass around; the letter is what people
// type and read, and what camera lists, batch summaries and the history hold.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

enum class TSeries : int { None = -1, K = 0, M = 1, P = 2, R = 3 };

inline constexpr std::array<TSeries, 4> kAllSeries{TSeries::K, TSeries::M, TSeries::P, TSeries::R};

// The series of an index; None for anything outside 0 to 3.
TSeries SeriesFromIndex(int index);
constexpr int SeriesIndex(TSeries series) { return static_cast<int>(series); }

// "K", "M", "P" or "R"; empty for None.
std::string SeriesLetter(TSeries series);
// The series a text of one letter names, in either case; None for any other text.
TSeries SeriesFromLetter(std::string_view text);
// "K", "M", "P", "R": the choices of a --series option.
std::vector<std::string> SeriesLetters();

}  // namespace camlift
