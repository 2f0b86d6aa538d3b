// SPDX-License-Identifier: Apache-2.0
// The upgrade record as the window shows it: local time in the log's form, result words in the
// user's language.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>

#include "fleet/history_view.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"

namespace camlift {
namespace {

TEST(HistoryView, TimesInLocalTimeAndResultsInTheLanguage) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  ::setenv("TZ", "CST-8", 1);  // UTC+8, written out: no time zone files needed
  ::tzset();
  std::setlocale(LC_TIME, "C");
  EXPECT_EQ("12/10/26 21:21:28", HistoryLocalTime("2026-12-10T13:21:28Z"));
  EXPECT_EQ("12/11/26 07:59:59", HistoryLocalTime("2026-12-10T23:59:59Z"));
  // Anything else stays as it is.
  EXPECT_EQ("yesterday", HistoryLocalTime("yesterday"));
  EXPECT_EQ("2026-12-10T13:21:28Zx", HistoryLocalTime("2026-12-10T13:21:28Zx"));
  if (old_tz) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();

  TfrmStrRes store;
  SetLanguage("cn");
  EXPECT_EQ("\xE6\x88\x90\xE5\x8A\x9F", HistoryResultText("ok"));                     // 成功
  EXPECT_EQ("\xE5\xB7\xB2\xE5\x8F\x96\xE6\xB6\x88", HistoryResultText("cancelled"));  // 已取消
  EXPECT_EQ("something new", HistoryResultText("something new"));
  SetLanguage("en");
  EXPECT_EQ("not returned", HistoryResultText("not returned"));
}

}  // namespace
}  // namespace camlift
