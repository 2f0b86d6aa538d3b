// SPDX-License-Identifier: Apache-2.0
#include "discovery/series.h"

#include "util/text.h"

namespace camlift {

TSeries SeriesFromIndex(int index) {
  for (const TSeries series : kAllSeries) {
    if (SeriesIndex(series) == index) return series;
  }
  return TSeries::None;
}

std::string SeriesLetter(TSeries series) {
  switch (series) {
    case TSeries::K:
      return "K";
    case TSeries::M:
      return "M";
    case TSeries::P:
      return "P";
    case TSeries::R:
      return "R";
    case TSeries::None:
      break;
  }
  return {};
}

TSeries SeriesFromLetter(std::string_view text) {
  const std::string lower = LowerAscii(text);
  for (const TSeries series : kAllSeries) {
    if (lower == LowerAscii(SeriesLetter(series))) return series;
  }
  return TSeries::None;
}

std::vector<std::string> SeriesLetters() {
  std::vector<std::string> letters;
  for (const TSeries series : kAllSeries) letters.push_back(SeriesLetter(series));
  return letters;
}

}  // namespace camlift
