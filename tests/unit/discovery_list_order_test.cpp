// SPDX-License-Identifier: Apache-2.0
// The order of every column of the camera list on generated rows: each must be a strict weak
// order (irreflexive, antisymmetric, transitive, with a transitive "neither"), or the sorts are
// undefined. And the plan that brings a view's copy of the list up to date, replayed on a copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "discovery/list_order.h"
#include "discovery/list_sync.h"

namespace camlift {
namespace {

TEST(ListOrder, DottedTextsCompareAsNumbersAlsoWhenTheirPiecesDiffer) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"192.168.1.9", "192.168.1.10", -1},
      {"10.0.0.2", "10.0.0.10", -1},
      {"3.9.0.12", "3.10.0.2", -1},
      {"1.2", "1.2.0", -1},   // a text that runs out first sorts first
      {"1.2.3", "1.10", -1},  // the first difference decides, not the number of pieces
      {"1.2.3.4", "1.2.3.4", 0},
      {"1.2.03.4", "1.2.3.4", 0},  // leading zeros are the same number
      {"1.x.3", "1.0.3", 0},       // a piece that is no number counts as 0
      {"", "0", 0},
      {"", "1", -1},
      // A MO_I version (seven pieces) against four: piece by piece.
      {"1.2.3.4:5.6.7.8", "1.2.3.5", -1},
      {"2.0.0.1:1.0.0.0", "1.9.9.9", 1},
      // Numbers beyond 64 bits still count whole.
      {"1.99999999999999999999999", "1.18446744073709551615", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CompareDottedOrder(c.a, c.b)) << c.a << " vs " << c.b;
    EXPECT_EQ(-c.expected, CompareDottedOrder(c.b, c.a)) << c.b << " vs " << c.a;
  }
  EXPECT_EQ(-1, CompareOptionalDotted("", "0"));
  EXPECT_EQ(1, CompareOptionalDotted("0.1", ""));
}

// Texts that once broke the order: seven-piece MO_I versions beside four-piece ones, texts,
// empty ones, numbers of many digits.
std::string RandomDotted(std::mt19937& random) {
  static const char* const kPieces[] = {
      "0", "1", "2", "9", "10", "12", "007", "x", "", "4:5", "99999999999999999999", "A"};
  const int pieces = std::uniform_int_distribution<int>(1, 8)(random);
  std::string text;
  for (int i = 0; i < pieces; ++i) {
    if (i > 0) text += '.';
    text += kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(random)];
  }
  return text;
}

TDevInfo RandomRow(std::mt19937& random, int id) {
  static const char* const kNames[] = {"alpha", "Alpha", "beta", "", "ALPHA", "b", "\xC7\xB0"};
  static const std::int32_t kTypes[] = {2, 4, 5, 8, 9, 1000, 77};
  TDevInfo d;
  d.DevID = "id" + std::to_string(id);
  d.DevType = kTypes[std::uniform_int_distribution<std::size_t>(0, std::size(kTypes) - 1)(random)];
  d.DevName = kNames[std::uniform_int_distribution<std::size_t>(0, std::size(kNames) - 1)(random)];
  d.IPAddr = RandomDotted(random);
  d.Version = RandomDotted(random);
  d.DevPort = static_cast<std::uint16_t>(std::uniform_int_distribution<int>(0, 3)(random) * 40);
  return d;
}

TEST(ListOrder, EveryColumnIsAStrictWeakOrderOnGeneratedRows) {
  std::mt19937 random(29);
  TDeviceList list;
  for (int i = 0; i < 36; ++i) list.AddOrUpdate(RandomRow(random, i));
  // Check marks on some rows, with versions and states of every kind.
  std::vector<std::pair<std::string, TCheckMark>> marks;
  for (const TDevInfo& d : list.Rows()) {
    if (std::uniform_int_distribution<int>(0, 3)(random) == 0) continue;
    TCheckMark mark;
    mark.latest = std::uniform_int_distribution<int>(0, 4)(random) == 0 ? "" : RandomDotted(random);
    mark.state = std::uniform_int_distribution<int>(-1, 6)(random);
    marks.emplace_back(TDeviceList::CameraKey(d.IPAddr, d.DevPort), mark);
  }
  list.SetCheckMarks(marks);
  for (int column = 0; column < kAllListColumns; ++column) {
    for (const bool ascending : {true, false}) {
      // The header click that sorts by this column in this direction.
      list.ClickColumn(column);
      if (list.SortAscending() != ascending) list.ClickColumn(column);
      ASSERT_EQ(column, list.SortColumn());
      const std::vector<TDevInfo> rows = list.Rows();
      const auto less = [&](const TDevInfo& a, const TDevInfo& b) {
        return list.CompareRows(a, b) < 0;
      };
      const auto equal = [&](const TDevInfo& a, const TDevInfo& b) {
        return !less(a, b) && !less(b, a);
      };
      for (const TDevInfo& a : rows) {
        EXPECT_FALSE(less(a, a)) << column;
        for (const TDevInfo& b : rows) {
          EXPECT_EQ(list.CompareRows(a, b), -list.CompareRows(b, a))
              << column << ": " << a.DevID << " " << b.DevID;
          for (const TDevInfo& c : rows) {
            if (less(a, b) && less(b, c)) {
              EXPECT_TRUE(less(a, c)) << column << ": " << a.DevID << b.DevID << c.DevID;
            }
            if (equal(a, b) && equal(b, c)) {
              EXPECT_TRUE(equal(a, c)) << column << ": " << a.DevID << b.DevID << c.DevID;
            }
          }
        }
      }
      // And the list stands in that order.
      EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), less)) << column;
    }
  }
}

TEST(ListOrder, PortLatestAndStateSort) {
  TDeviceList list;
  const auto row = [](const char* id, const char* ip, std::uint16_t port) {
    TDevInfo d;
    d.DevType = 9;
    d.DevID = id;
    d.IPAddr = ip;
    d.DevPort = port;
    return d;
  };
  list.AddOrUpdate(row("a", "10.0.0.1", 8080));
  list.AddOrUpdate(row("b", "10.0.0.2", 81));
  list.AddOrUpdate(row("c", "10.0.0.3", 443));
  list.SetCheckMarks(
      {{"10.0.0.1:8080", {"1.0", "2.0.0.10", 1}}, {"10.0.0.2:81", {"1.0", "2.0.0.9", 0}}});
  const auto ids = [&] {
    std::string text;
    for (const TDevInfo& d : list.Rows()) text += d.DevID;
    return text;
  };
  list.ClickColumn(kColumnPort);
  EXPECT_EQ("bca", ids());
  list.ClickColumn(kColumnLatest);
  EXPECT_EQ("cba", ids());  // not checked first, then by version
  list.ClickColumn(kColumnState);
  EXPECT_EQ("cba", ids());
  list.ClickColumn(kColumnState);
  EXPECT_EQ("abc", ids());
}

// A stale state goes with the version it was read from; a confirmed upgrade shows its version.
TEST(DeviceList, CheckMarksFollowTheVersion) {
  TDeviceList list;
  TDevInfo d;
  d.DevType = 9;
  d.DevID = "cam";
  d.IPAddr = "10.0.0.5";
  d.DevPort = 81;
  d.Version = "2.0.0.1";
  list.AddOrUpdate(d);
  list.SetCheckMarks({{"10.0.0.5:81", {"2.0.0.1", "2.0.0.5", 1}}});
  ASSERT_NE(nullptr, list.CheckMarkOf(list.Rows()[0]));
  const std::uint64_t revision = list.Rows()[0].Revision;
  d.DevName = "renamed";  // the same version: the mark stays
  list.AddOrUpdate(d);
  EXPECT_NE(nullptr, list.CheckMarkOf(list.Rows()[0]));
  EXPECT_GT(list.Rows()[0].Revision, revision);
  d.Version = "2.0.0.5";  // the camera now runs another version: the mark is stale
  list.AddOrUpdate(d);
  EXPECT_EQ(nullptr, list.CheckMarkOf(list.Rows()[0]));

  list.SetCheckMarks({{"10.0.0.5:81", {"2.0.0.5", "2.0.0.7", 1}}});
  EXPECT_TRUE(list.ConfirmVersion("10.0.0.5", 81, "2.0.0.7"));
  EXPECT_EQ("2.0.0.7", list.Rows()[0].Version);
  EXPECT_EQ(nullptr, list.CheckMarkOf(list.Rows()[0]));
  EXPECT_FALSE(list.ConfirmVersion("10.0.0.6", 81, "2.0.0.7"));
}

TDevInfo Listed(const std::string& id, const std::string& ip, std::uint16_t port) {
  TDevInfo d;
  d.DevType = 9;
  d.DevID = id;
  d.IPAddr = ip;
  d.DevPort = port;
  return d;
}

TDevInfo Typed(const std::string& ip, std::uint16_t port) {
  TDevInfo d;
  d.DevType = kTypeManual;
  d.DevID = "manual:" + ip + ":" + std::to_string(port);
  d.IPAddr = ip;
  d.DevPort = port;
  return d;
}

// Find with a typed address: the typed camera is selected in its own row, never a second one,
// and never another camera.
TEST(DeviceList, TypedCameraGetsOneRowAndTheSelection) {
  TDeviceList list;
  list.OnRecord(Listed("a", "127.0.1.21", 81));
  list.OnRecord(Listed("b", "127.0.1.22", 81));
  EXPECT_EQ("a", list.SelectedEntry()->DevID);
  // Already listed: its row is selected, no typed-in row.
  list.OnTypedCamera(Typed("127.0.1.22", 81));
  EXPECT_EQ(2u, list.Count());
  EXPECT_EQ("b", list.SelectedEntry()->DevID);
  EXPECT_EQ(1, list.RowAt("127.0.1.22", 0));
  EXPECT_EQ(-1, list.RowAt("127.0.1.22", 80));
  // New: its typed-in row, selected.
  list.OnTypedCamera(Typed("127.0.9.9", 81));
  EXPECT_EQ(3u, list.Count());
  EXPECT_EQ("manual:127.0.9.9:81", list.SelectedEntry()->DevID);
  EXPECT_EQ(-1, list.Accept().nTYpe);
  // The search finds that camera later: its row replaces the typed one, selection included.
  list.OnRecord(Listed("c", "127.0.9.9", 81));
  EXPECT_EQ(3u, list.Count());
  EXPECT_EQ("c", list.SelectedEntry()->DevID);
  EXPECT_EQ("127.0.9.9", list.Accept().szIP);
  EXPECT_EQ(3, list.Accept().nTYpe);
}

// After Find empties the list, the selection waits for the camera it was on: no other camera is
// chosen by default meanwhile, and a choice of the user ends the wait.
TEST(DeviceList, WantedSelectionWaitsForItsCamera) {
  TDeviceList list;
  list.WantSelection("b");
  list.OnRecord(Listed("a", "10.0.0.1", 80));
  list.UpdateCount();
  EXPECT_EQ(nullptr, list.SelectedEntry());
  EXPECT_EQ(kModalCancel, list.Accept().ModalResult);
  list.OnRecord(Listed("b", "10.0.0.2", 80));
  EXPECT_EQ("b", list.SelectedEntry()->DevID);
  EXPECT_TRUE(list.WantedSelection().empty());

  list.ClearList();
  list.WantSelection("gone");
  list.OnRecord(Listed("a", "10.0.0.1", 80));
  list.Select(0);  // the user's choice
  list.OnRecord(Listed("gone", "10.0.0.3", 80));
  EXPECT_EQ("a", list.SelectedEntry()->DevID);
}

// Replays a plan on the shown copy: the result must be the list, row for row, and every row
// whose entry changed must be named.
std::vector<TShownRow> Replay(std::vector<TShownRow> shown, const TListSyncPlan& plan,
                              const std::vector<TDevInfo>& rows, std::vector<bool>& redrawn) {
  for (const auto& range : plan.removals) {
    EXPECT_LE(range.first, range.last);
    EXPECT_LT(range.last, shown.size());
    shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(range.first),
                shown.begin() + static_cast<std::ptrdiff_t>(range.last) + 1);
  }
  for (const auto& move : plan.moves) {
    TShownRow row = shown.at(move.from);
    shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(move.from));
    shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(move.to), row);
  }
  if (plan.reorder) {
    std::stable_sort(shown.begin(), shown.end(), [&](const TShownRow& a, const TShownRow& b) {
      const auto at = [&](const TShownRow& r) {
        return std::find_if(rows.begin(), rows.end(),
                            [&](const TDevInfo& d) { return d.DevID == r.id; }) -
               rows.begin();
      };
      return at(a) < at(b);
    });
  }
  redrawn.assign(rows.size(), false);
  for (const auto& insert : plan.inserts) {
    for (std::size_t i = 0; i < insert.count; ++i) {
      shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(insert.at + i),
                   {rows.at(insert.at + i).DevID, rows.at(insert.at + i).Revision});
      redrawn[insert.at + i] = true;
    }
  }
  for (const auto& range : plan.changed) {
    for (std::size_t i = range.first; i <= range.last; ++i) {
      shown.at(i).revision = rows.at(i).Revision;
      redrawn[i] = true;
    }
  }
  return shown;
}

TEST(ListSync, APlanTurnsTheShownCopyIntoTheList) {
  std::mt19937 random(2000);
  for (int round = 0; round < 300; ++round) {
    // A list, and a view that saw an older state of it: rows gone, rows new, rows moved and
    // rows changed since.
    const int size = std::uniform_int_distribution<int>(0, 40)(random);
    std::vector<TDevInfo> rows;
    for (int i = 0; i < size; ++i) {
      TDevInfo d;
      d.DevID = "r" + std::to_string(i);
      d.Revision = 1;
      rows.push_back(d);
    }
    std::vector<TShownRow> shown;
    for (const TDevInfo& d : rows) {
      if (std::uniform_int_distribution<int>(0, 5)(random) > 0) shown.push_back({d.DevID, 1});
    }
    for (int i = std::uniform_int_distribution<int>(0, 4)(random); i > 0; --i) {
      shown.insert(shown.begin() + std::uniform_int_distribution<std::ptrdiff_t>(
                                       0, static_cast<std::ptrdiff_t>(shown.size()))(random),
                   {"gone" + std::to_string(i), 1});
    }
    const int moves = std::uniform_int_distribution<int>(0, round % 3 == 0 ? 40 : 3)(random);
    for (int i = 0; i < moves && !shown.empty(); ++i) {
      const auto from = std::uniform_int_distribution<std::size_t>(0, shown.size() - 1)(random);
      const auto to = std::uniform_int_distribution<std::size_t>(0, shown.size() - 1)(random);
      const TShownRow row = shown[from];
      shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(from));
      shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(to), row);
    }
    for (TDevInfo& d : rows) {
      if (std::uniform_int_distribution<int>(0, 7)(random) == 0) d.Revision = 2;
    }
    const std::size_t max_moves = round % 2 == 0 ? 8 : 1000;
    const TListSyncPlan plan = PlanListSync(shown, rows, max_moves);
    EXPECT_LE(plan.moves.size(), max_moves);
    std::vector<bool> redrawn;
    const std::vector<TShownRow> result = Replay(shown, plan, rows, redrawn);
    ASSERT_EQ(rows.size(), result.size()) << round;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].DevID, result[i].id) << round;
      EXPECT_EQ(rows[i].Revision, result[i].revision) << round;
    }
    // An unchanged list needs nothing.
    EXPECT_TRUE(PlanListSync(result, rows, max_moves).Empty());
  }
}

TEST(ListSync, OneChangedRowCostsOneRow) {
  std::vector<TDevInfo> rows(2000);
  std::vector<TShownRow> shown;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].DevID = std::to_string(i);
    rows[i].Revision = 1;
    shown.push_back({rows[i].DevID, 1});
  }
  rows[700].Revision = 2;
  // Row 1500 moved to the front (its address changed).
  std::rotate(rows.begin(), rows.begin() + 1500, rows.begin() + 1501);
  rows[0].Revision = 3;
  const TListSyncPlan plan = PlanListSync(shown, rows, 32);
  EXPECT_TRUE(plan.removals.empty());
  EXPECT_TRUE(plan.inserts.empty());
  EXPECT_FALSE(plan.reorder);
  ASSERT_EQ(1u, plan.moves.size());
  EXPECT_EQ(1500u, plan.moves[0].from);
  EXPECT_EQ(0u, plan.moves[0].to);
  ASSERT_EQ(2u, plan.changed.size());
  EXPECT_EQ(0u, plan.changed[0].first);
  EXPECT_EQ(0u, plan.changed[0].last);
  EXPECT_EQ(701u, plan.changed[1].first);  // row 700 stands one further down now
}

}  // namespace
}  // namespace camlift
