// SPDX-License-Identifier: Apache-2.0
// The series K, M, P, R: their index (the window's list, the dialog's nTYpe, the factory), their
// letter (typed on the command line, written in lists and reports) and the series of a type code.
#include "discovery/series.h"

#include <gtest/gtest.h>

#include "discovery/dev_types.h"

namespace camlift {
namespace {

TEST(Series, IndexAndLetterOfEverySeries) {
  const struct {
    TSeries series;
    int index;
    const char* letter;
  } cases[] = {{TSeries::K, 0, "K"},
               {TSeries::M, 1, "M"},
               {TSeries::P, 2, "P"},
               {TSeries::R, 3, "R"},
               {TSeries::None, -1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(c.index, SeriesIndex(c.series));
    EXPECT_EQ(c.series, SeriesFromIndex(c.index));
    EXPECT_EQ(c.letter, SeriesLetter(c.series));
  }
  EXPECT_EQ(TSeries::None, SeriesFromIndex(4));
  EXPECT_EQ(TSeries::None, SeriesFromIndex(-2));
  EXPECT_EQ((std::vector<std::string>{"K", "M", "P", "R"}), SeriesLetters());
}

TEST(Series, FromOneLetterInEitherCase) {
  const struct {
    const char* text;
    TSeries series;
  } cases[] = {{"K", TSeries::K},     {"m", TSeries::M},     {"p", TSeries::P},
               {"R", TSeries::R},     {"", TSeries::None},   {"X", TSeries::None},
               {"KM", TSeries::None}, {" P", TSeries::None}, {"\xCB", TSeries::None}};
  for (const auto& c : cases) EXPECT_EQ(c.series, SeriesFromLetter(c.text)) << c.text;
}

TEST(Series, OfATypeCode) {
  // Only the dialects that tell a series give one: the text reply K, MO_I M, 1010 P, 8600 R.
  const struct {
    int type;
    TSeries series;
  } cases[] = {{5, TSeries::K},    {2, TSeries::M},    {8, TSeries::P},       {9, TSeries::R},
               {0, TSeries::None}, {4, TSeries::None}, {1000, TSeries::None}, {-1, TSeries::None}};
  for (const auto& c : cases) EXPECT_EQ(c.series, SeriesOfType(c.type)) << c.type;
}

}  // namespace
}  // namespace camlift
