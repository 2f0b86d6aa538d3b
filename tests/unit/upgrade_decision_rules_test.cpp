// SPDX-License-Identifier: Apache-2.0
// The rules the window, the command line and the status read share: which way a catalogue
// version moves a camera, what a firmware file of a series must look like, what a status page
// says about the series, and how values go into language texts.
#include <gtest/gtest.h>

#include <vector>

#include "fleet/history.h"
#include "i18n/lang_format.h"
#include "support/temp_folder.h"
#include "upgrade/firmware_check.h"
#include "upgrade/series_probe.h"
#include "upgrade/version_rule.h"

namespace camlift {
namespace {

TEST(VersionRule, CatalogueAgainstCamera) {
  struct Case {
    const char* current;
    const char* catalogue;
    TVersionRule rule;
    TVersionStep step;
  };
  const Case cases[] = {
      {"1.0.0.1", "1.0.0.2", TVersionRule::Whole, TVersionStep::Upgrade},
      {"2.0.0.5", "2.0.0.1", TVersionRule::Whole, TVersionStep::Downgrade},
      {"10.0.0.9", "10.0.0.10", TVersionRule::Whole, TVersionStep::Upgrade},
      {"10.0.0.10", "10.0.0.9", TVersionRule::Whole, TVersionStep::Downgrade},
      {"1.0.0.1", " 1.0.0.1 ", TVersionRule::Whole, TVersionStep::Same},
      {"1.0.0.A", "1.0.0.a", TVersionRule::Whole, TVersionStep::Same},
      {"1.0.0.01", "1.0.0.1", TVersionRule::Whole, TVersionStep::Upgrade},
      {"1.0.0.1", "V1.0.0.1", TVersionRule::Whole, TVersionStep::Upgrade},
      {"V2.0.0.5", "2.0.0.1", TVersionRule::Whole, TVersionStep::Downgrade},
      {"", "1.0.0.1", TVersionRule::Whole, TVersionStep::Upgrade},
      // Different numbers of pieces: plain texts, ignoring case.
      {"2.0.1", "2.0.0.5", TVersionRule::Whole, TVersionStep::Downgrade},
      {"2.0", "2.0.0.5", TVersionRule::Whole, TVersionStep::Upgrade},
      // Series K system firmware: only the third part counts.
      {"1.2.7.4", "9.9.7.9", TVersionRule::ThirdPart, TVersionStep::Same},
      {"1.2.7.4", "1.2.8.4", TVersionRule::ThirdPart, TVersionStep::Upgrade},
      {"1.2.10.4", "1.2.9.4", TVersionRule::ThirdPart, TVersionStep::Downgrade},
      {"1.2.7.4 ", "0.0.7.0", TVersionRule::ThirdPart, TVersionStep::Same},
      {"1.2.3", "1.2.4", TVersionRule::ThirdPart, TVersionStep::Upgrade},
      {"1.2.3", "1.2.3", TVersionRule::ThirdPart, TVersionStep::Same},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.step, CompareCatalogueVersion(c.current, c.catalogue, c.rule))
        << c.current << " -> " << c.catalogue;
  }
}

TEST(FirmwareCheck, FilesOfEachForm) {
  const TFirmwareForm any{};
  const TFirmwareForm m_sys{TFirmwareForm::Kind::Signature, {0x42, 0x4E, 0x45, 0x47}};
  const TFirmwareForm k{TFirmwareForm::Kind::Package, {}};
  std::vector<std::uint8_t> pk2 = {'P', 'K', '2', 0};
  pk2.resize(28, 0);
  const std::vector<std::uint8_t> bneg = {'B', 'N', 'E', 'G', 1, 2};
  const std::vector<std::uint8_t> text = {'n', 'o', 't', 'e', 's', '\n'};
  struct Case {
    const char* name;
    TFirmwareForm form;
    std::vector<std::uint8_t> head;
    std::uint64_t size;
    std::string key;
    std::vector<std::string> values;
  };
  const std::vector<Case> cases = {
      {"typed note", any, text, 6, "IDS_FWTOOSMALL", {"6", "1024"}},
      {"smallest", any, text, 1024, "", {}},
      {"too large", any, bneg, (256ull << 20) + 1, "IDS_FWTOOLARGE", {"268435457", "268435456"}},
      {"M system", m_sys, bneg, 4096, "", {}},
      {"M system, other bytes",
       m_sys,
       text,
       4096,
       "IDS_FWSIGNATURE",
       {"6E 6F 74 65", "42 4E 45 47"}},
      {"K package", k, pk2, 4096, "", {}},
      {"K, not a package", k, bneg, 4096, "IDS_FWNOTPACKAGE", {}},
      {"K, header cut short", k, {'P', 'K', '2', 0}, 4096, "IDS_FWNOTPACKAGE", {}},
  };
  for (const Case& c : cases) {
    const TFirmwareVerdict verdict = CheckFirmwareBytes(c.form, c.head, c.size);
    EXPECT_EQ(c.key, verdict.key) << c.name;
    EXPECT_EQ(c.values, verdict.values) << c.name;
  }
}

TEST(SeriesProbe, StatusPageTellsTheSeries) {
  struct Case {
    bool answered;
    const char* page;
    TPageSeries series;
  };
  const Case cases[] = {
      {true, "var id='x';\nvar sys_ver='1.0.0.1';\n", TPageSeries::M},
      {true, "var sys_ver=\"1.0.0.1\";\n", TPageSeries::PorK},
      {true, "Auth Failed", TPageSeries::R},
      {true, "<html>401 Unauthorized</html>", TPageSeries::Unknown},
      {true, "var sys_ver=", TPageSeries::Unknown},
      {false, "", TPageSeries::Unknown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.series, SeriesFromStatusPage(c.answered, c.page)) << c.page;
}

TEST(LangFormat, ValuesWhereTheLanguagePutsThem) {
  EXPECT_EQ("b before a", LangFormat("%2 before %1", {"a", "b"}));
  EXPECT_EQ("50% of %3 and %2", LangFormat("50% of %3 and %1", {"%2"}));
}

// A run recorded when the camera took the firmware and again at its end is one entry: the end.
TEST(History, RunRecordedInStepsIsOneEntry) {
  test::TTempFolder temp;
  const std::string path = temp.path() + "history.jsonl";
  THistoryEntry sent;
  sent.time = "2026-12-10T10:00:00Z";
  sent.ip = "127.0.0.1";
  sent.result = "sent, not confirmed";
  sent.run = "run-1";
  THistoryEntry other = sent;
  other.ip = "127.0.0.2";
  other.run = "";
  THistoryEntry done = sent;
  done.time = "2026-12-10T10:03:00Z";
  done.result = "ok";
  ASSERT_TRUE(AppendHistory(sent, path));
  ASSERT_TRUE(AppendHistory(other, path));
  ASSERT_TRUE(AppendHistory(done, path));
  const std::vector<THistoryEntry> entries = ReadHistory(path);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("127.0.0.1", entries[0].ip);
  EXPECT_EQ("ok", entries[0].result);
  EXPECT_EQ("2026-12-10T10:03:00Z", entries[0].time);
  EXPECT_EQ("127.0.0.2", entries[1].ip);
}

}  // namespace
}  // namespace camlift
