// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "discovery/search_diagnostics.h"
#include "discovery/tools_net.h"

namespace camlift {
namespace {

TDevInfo Device(int type, const std::string& id, const std::string& ip,
                const std::string& name = "cam") {
  TDevInfo d;
  d.DevType = type;
  d.DevID = id;
  d.IPAddr = ip;
  d.DevName = name;
  d.DevPort = 80;
  return d;
}

std::vector<std::string> Ips(const TDeviceList& list) {
  std::vector<std::string> ips;
  for (const TDevInfo& d : list.Rows()) ips.push_back(d.IPAddr);
  return ips;
}

void Ticks(TDeviceList& list, int n) {
  for (int i = 0; i < n; ++i) list.Tick();
}

TEST(DeviceList, SameIdRefreshesChangedFieldsRewriteInPlace) {
  TDeviceList list;
  EXPECT_FALSE(list.AddOrUpdate(TDevInfo{}));  // DevType -1
  EXPECT_TRUE(list.AddOrUpdate(Device(2, "A", "10.0.0.1")));
  Ticks(list, 4);
  EXPECT_EQ(6, list.Rows()[0].Lifetime);
  TDevInfo same = Device(2, "A", "10.0.0.1");
  same.Version = "2.0.0.6";  // a camera back from an upgrade: its row shows the new version
  EXPECT_FALSE(list.AddOrUpdate(same));
  ASSERT_EQ(1u, list.Count());
  EXPECT_EQ(10, list.Rows()[0].Lifetime);
  EXPECT_EQ("2.0.0.6", list.Rows()[0].Version);
  Ticks(list, 3);
  TDevInfo moved = Device(2, "A", "10.0.0.99");
  moved.Version = "2";
  EXPECT_FALSE(list.AddOrUpdate(moved));
  ASSERT_EQ(1u, list.Count());
  EXPECT_EQ("10.0.0.99", list.Rows()[0].IPAddr);
  EXPECT_EQ("2", list.Rows()[0].Version);
  EXPECT_EQ(10, list.Rows()[0].Lifetime);
  // Every compared field on its own makes a rewrite.
  const std::vector<void (*)(TDevInfo&)> changes = {
      [](TDevInfo& d) { d.DevName = "x"; }, [](TDevInfo& d) { d.DevPort = 1; },
      [](TDevInfo& d) { d.DevType = 5; },   [](TDevInfo& d) { d.Netmask = "x"; },
      [](TDevInfo& d) { d.Gateway = "x"; }, [](TDevInfo& d) { d.DNS1 = "x"; },
      [](TDevInfo& d) { d.DNS2 = "x"; },    [](TDevInfo& d) { d.AuxWord = 3; },
      [](TDevInfo& d) { d.DhcpFlag = 1; }};
  for (std::size_t i = 0; i < changes.size(); ++i) {
    TDevInfo changed = list.Rows()[0];
    changes[i](changed);
    changed.SerialNo = "marker" + std::to_string(i);
    list.AddOrUpdate(changed);
    EXPECT_EQ("marker" + std::to_string(i), list.Rows()[0].SerialNo) << i;
  }
}

TEST(DeviceList, LifetimesAndExpiry) {
  TDeviceList list;
  list.AddOrUpdate(Device(2, "m", "10.0.0.2"));
  list.AddOrUpdate(Device(8, "p", "10.0.0.8"));
  list.AddOrUpdate(Device(1, "s", "10.0.0.1"));
  list.AddOrUpdate(Device(4, "h", "10.0.0.4"));
  Ticks(list, 9);
  EXPECT_EQ(4u, list.Count());
  list.Tick();  // the 10-tick entry goes
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "10.0.0.4", "10.0.0.8"}), Ips(list));
  // A type-8 entry lives 30 ticks when new and 10 after its first refresh.
  list.AddOrUpdate(Device(8, "p", "10.0.0.8"));
  EXPECT_EQ(10, list.FindByID("p")->Lifetime);
  // A type-1 entry keeps the long lifetime on refresh.
  list.AddOrUpdate(Device(1, "s", "10.0.0.1"));
  EXPECT_EQ(30, list.FindByID("s")->Lifetime);
  Ticks(list, 10);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "10.0.0.4"}), Ips(list));
  Ticks(list, 1000);  // the closed library's entry never expires by time
  EXPECT_EQ((std::vector<std::string>{"10.0.0.4"}), Ips(list));
  list.ClearList();
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(-1, list.Selected());
}

TEST(DeviceList, IdSharing) {
  TDeviceList list;
  // The same camera through two dialects: different identity texts, two rows.
  list.AddOrUpdate(Device(8, "001a2b3c4d5e", "10.0.0.5"));
  list.AddOrUpdate(Device(9, "00:1A:2B:3C:4D:5E", "10.0.0.5"));
  EXPECT_EQ(2u, list.Count());
  // Text replies without "-mac" all share the row of the empty identity.
  list.AddOrUpdate(Device(5, "", "10.0.0.6"));
  list.AddOrUpdate(Device(5, "", "10.0.0.7"));
  EXPECT_EQ(3u, list.Count());
  EXPECT_EQ("10.0.0.7", list.FindByID("")->IPAddr);
  // The closed library and the 1010 dialect share a row that follows the latest report; while
  // its type is 4 it does not expire.
  list.AddOrUpdate(Device(4, "001a2b3c4d5e", "10.0.0.5", "from library"));
  EXPECT_EQ(3u, list.Count());
  EXPECT_EQ(4, list.FindByID("001a2b3c4d5e")->DevType);
  Ticks(list, 50);
  ASSERT_EQ(1u, list.Count());
  EXPECT_EQ("from library", list.Rows()[0].DevName);
  list.AddOrUpdate(Device(8, "001a2b3c4d5e", "10.0.0.5"));
  Ticks(list, 10);
  EXPECT_TRUE(list.Empty());
}

TEST(DeviceList, SortingAndHeaderClicks) {
  TDeviceList list;
  // Columns 0 to 3: Type, Name, IP address, Port; the list starts sorted by IP address.
  EXPECT_EQ(2, list.SortColumn());
  EXPECT_TRUE(list.SortAscending());
  list.AddOrUpdate(Device(9, "a", "192.168.1.10", "bravo"));
  list.AddOrUpdate(Device(2, "b", "192.168.1.9", "Alpha"));
  list.AddOrUpdate(Device(5, "c", "10.0.0.1", "charlie"));
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "192.168.1.9", "192.168.1.10"}), Ips(list));
  list.ClickColumn(2);
  EXPECT_FALSE(list.SortAscending());
  EXPECT_EQ((std::vector<std::string>{"192.168.1.10", "192.168.1.9", "10.0.0.1"}), Ips(list));
  list.ClickColumn(2);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "192.168.1.9", "192.168.1.10"}), Ips(list));
  list.ClickColumn(1);
  EXPECT_TRUE(list.SortAscending());
  EXPECT_EQ((std::vector<std::string>{"192.168.1.9", "192.168.1.10", "10.0.0.1"}), Ips(list));
  list.ClickColumn(0);  // captions K, M, R
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "192.168.1.9", "192.168.1.10"}), Ips(list));
  // Every port is 80: the order stays as it is.
  list.ClickColumn(3);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.1", "192.168.1.9", "192.168.1.10"}), Ips(list));
  list.AddOrUpdate(Device(2, "d", "1.1.1.1"));
  EXPECT_EQ("1.1.1.1", list.Rows().back().IPAddr);
}

// A refresh that moves the selected camera must not move the selection to another camera.
TEST(DeviceList, SelectionFollowsTheEntryAcrossResorts) {
  TDeviceList list;
  list.AddOrUpdate(Device(2, "A", "10.0.0.1"));
  list.AddOrUpdate(Device(2, "B", "10.0.0.2"));
  list.AddOrUpdate(Device(2, "C", "10.0.0.3"));
  EXPECT_EQ(0, list.Selected());  // UpdateCount selects the first row
  list.Select(0);
  list.AddOrUpdate(Device(2, "A", "10.0.0.9"));  // A moves to the end
  ASSERT_NE(nullptr, list.SelectedEntry());
  EXPECT_EQ("A", list.SelectedEntry()->DevID);
  const TSelectionResult ok = list.Accept();
  EXPECT_EQ(kModalOk, ok.ModalResult);
  EXPECT_EQ("10.0.0.9", ok.szIP);
  // A new row sorted in before the selection keeps it on the same camera too.
  list.AddOrUpdate(Device(2, "D", "10.0.0.0"));
  EXPECT_EQ("A", list.SelectedEntry()->DevID);
  // When the selected entry expires, the first row is selected.
  list.Select(1);
  const std::string kept = list.SelectedEntry()->DevID;
  for (int i = 0; i < 9; ++i) {
    list.Tick();
    for (const char* id : {"A", "B", "C", "D"}) {
      if (id != kept) list.AddOrUpdate(*list.FindByID(id));
    }
  }
  list.Tick();
  EXPECT_EQ(nullptr, list.FindByID(kept));
  EXPECT_EQ(0, list.Selected());
}

// The list keeps its rows in order by placing each new or changed row itself; the result must be
// what a stable sort of the whole list after every change gives, ties included.
TEST(DeviceList, IncrementalPlacementMatchesAStableSort) {
  for (int column : {kColumnType, kColumnIP, kColumnName}) {
    TDeviceList list;
    if (column != kColumnIP) list.ClickColumn(column);
    std::vector<TDevInfo> reference;
    const auto less = [column](const TDevInfo& a, const TDevInfo& b) {
      if (column == kColumnType) {
        return CompareTextNoCase(DevTypeCaption(a.DevType), DevTypeCaption(b.DevType)) < 0;
      }
      if (column == kColumnName) return CompareTextNoCase(a.DevName, b.DevName) < 0;
      return TTools_Net::CompareDotted(a.IPAddr, b.IPAddr) < 0;
    };
    std::mt19937 random(7);
    const int types[] = {2, 4, 5, 8, 9};
    for (int step = 0; step < 400; ++step) {
      TDevInfo d =
          Device(types[random() % 5], "id" + std::to_string(random() % 40),
                 "10.0.0." + std::to_string(random() % 6), "n" + std::to_string(random() % 4));
      list.AddOrUpdate(d);
      auto it = std::find_if(reference.begin(), reference.end(),
                             [&](const TDevInfo& r) { return r.DevID == d.DevID; });
      if (it == reference.end()) {
        reference.push_back(d);
      } else {
        *it = d;
      }
      std::stable_sort(reference.begin(), reference.end(), less);
      std::vector<std::string> expected, actual;
      for (const TDevInfo& r : reference) expected.push_back(r.DevID);
      for (const TDevInfo& r : list.Rows()) actual.push_back(r.DevID);
      ASSERT_EQ(expected, actual) << "column " << column << ", step " << step;
    }
  }
}

TEST(DeviceList, AcceptGivesSeriesByTypeCode) {
  const struct {
    int type;
    int series;
  } cases[] = {{5, 0}, {2, 1}, {8, 2}, {9, 3}, {4, -1}, {1, -1}};
  for (const auto& c : cases) {
    TDeviceList list;
    TDevInfo d = Device(c.type, "x", "10.1.1.1");
    d.DevPort = 8081;
    list.OnRecord(d);
    const TSelectionResult r = list.Accept();
    EXPECT_EQ(kModalOk, r.ModalResult);
    EXPECT_EQ("10.1.1.1", r.szIP);
    EXPECT_EQ(8081, r.nPort);
    EXPECT_EQ(c.series, r.nTYpe) << c.type;
  }
  TDeviceList empty;
  const TSelectionResult cancel = empty.Accept();
  EXPECT_EQ(kModalCancel, cancel.ModalResult);
  EXPECT_EQ("", cancel.szIP);
  EXPECT_EQ(0, cancel.nPort);
  EXPECT_EQ(-1, cancel.nTYpe);
}

}  // namespace
}  // namespace camlift

namespace camlift {
namespace {

TEST(DeviceList, VersionColumnSortsByDottedNumbersAndShowsInTheRow) {
  TDeviceList list;
  const auto versioned = [](const char* id, const char* version) {
    TDevInfo d = Device(9, id, std::string("10.0.0.") + id);
    d.Version = version;
    return d;
  };
  list.AddOrUpdate(versioned("1", "3.10.0.2"));
  list.AddOrUpdate(versioned("2", "3.9.0.12"));
  list.AddOrUpdate(versioned("3", "3.9.0.2"));
  list.ClickColumn(kColumnVersion);
  std::vector<std::string> versions;
  for (const TDevInfo& d : list.Rows()) versions.push_back(d.Version);
  EXPECT_EQ((std::vector<std::string>{"3.9.0.2", "3.9.0.12", "3.10.0.2"}), versions);
  list.ClickColumn(kColumnVersion);
  EXPECT_EQ("3.10.0.2", list.Rows()[0].Version);
  EXPECT_EQ((std::vector<std::string>{"R", "cam", "10.0.0.1", "80", "3.10.0.2"}),
            RowTexts(list.Rows()[0]));
}

// A name that is not UTF-8 comes from a camera set up in the user's language: decoded with its
// code page. MO_I and 1010 names are UTF-8 by their format and stay so.
TEST(DeviceNames, NamesThatAreNotUtf8AreDecodedWithTheLanguage) {
  struct Case {
    std::int32_t type;
    std::string name;
    std::string language;
    std::string expected;
  } cases[] = {
      {9, "\xC7\xB0\xC3\xC5", "cn", "\xE5\x89\x8D\xE9\x97\xA8"},  // 前门 in GBK
      {9, "\xAB\x65\xAA\xF9", "b5", "\xE5\x89\x8D\xE9\x96\x80"},  // 前門 in Big5
      {5, "\xC7\xB0\xC3\xC5", "cn", "\xE5\x89\x8D\xE9\x97\xA8"},
      {4, "\xC7\xB0\xC3\xC5", "cn", "\xE5\x89\x8D\xE9\x97\xA8"},
      {9, "\xE5\x89\x8D\xE9\x97\xA8", "cn", "\xE5\x89\x8D\xE9\x97\xA8"},  // UTF-8 stays
      {9, "Gate 1", "b5", "Gate 1"},
      {2, "A\xC7", "cn", "A\xEF\xBF\xBD"},  // MO_I states UTF-8
      {8, "A\xC7", "cn", "A\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    TDevInfo d;
    d.DevType = c.type;
    d.DevName = c.name;
    EXPECT_EQ(c.expected, DisplayName(d, c.language)) << c.type << " " << c.language;
  }
}

}  // namespace
}  // namespace camlift

namespace camlift {
namespace {

// A pass adds many rows before anyone looks at the list: what is seen then must be what placing
// each row as it came gives, ties included, and the selection must stay on its camera.
TEST(DeviceList, RowsSeenAfterManyRepliesMatchAStableSort) {
  for (const int look_every : {3, 50, 400}) {
    TDeviceList list;
    list.ClickColumn(kColumnName);
    std::vector<TDevInfo> reference;
    const auto less = [](const TDevInfo& a, const TDevInfo& b) {
      return CompareTextNoCase(a.DevName, b.DevName) < 0;
    };
    std::mt19937 random(11);
    std::string selected_id;
    for (int step = 1; step <= 400; ++step) {
      const TDevInfo d = Device(8, "id" + std::to_string(random() % 60), "10.0.0.1",
                                "n" + std::to_string(random() % 5));
      list.OnRecord(d);
      auto it = std::find_if(reference.begin(), reference.end(),
                             [&](const TDevInfo& r) { return r.DevID == d.DevID; });
      if (it == reference.end()) {
        reference.push_back(d);
      } else {
        *it = d;
      }
      std::stable_sort(reference.begin(), reference.end(), less);
      if (step % look_every != 0) continue;
      std::vector<std::string> expected, actual;
      for (const TDevInfo& r : reference) expected.push_back(r.DevID);
      for (const TDevInfo& r : list.Rows()) actual.push_back(r.DevID);
      ASSERT_EQ(expected, actual) << "every " << look_every << ", step " << step;
      ASSERT_NE(nullptr, list.SelectedEntry());
      if (!selected_id.empty()) {
        EXPECT_EQ(selected_id, list.SelectedEntry()->DevID) << step;
      }
      list.Select(static_cast<int>(random() % list.Count()));
      selected_id = list.SelectedEntry()->DevID;
    }
  }
}

// A camera that answers every pass with the same data refreshes its lifetime and nothing else:
// the window is not asked to draw the list again.
TEST(DeviceList, UnchangedRepliesCallNobodyBack) {
  TDeviceList list;
  int calls = 0;
  list.SetOnChanged([&] { ++calls; });
  list.OnRecord(Device(9, "A", "10.0.0.1"));
  list.OnRecord(Device(9, "B", "10.0.0.2"));
  EXPECT_GT(calls, 0);
  calls = 0;
  list.Tick();
  list.OnRecord(Device(9, "A", "10.0.0.1"));
  list.OnRecord(Device(9, "B", "10.0.0.2"));
  EXPECT_EQ(1, calls);  // the tick's own count refresh only
  EXPECT_EQ(10, list.FindByID("A")->Lifetime);
  list.OnRecord(Device(9, "B", "10.0.0.2", "renamed"));
  EXPECT_GT(calls, 1);
  EXPECT_EQ("renamed", list.FindByID("B")->DevName);
}

// A host that answers with a new MAC each time must not grow the list without end: new rows
// beyond the bound are refused and counted, the rows already there are still refreshed, and the
// diagnosis says how many were refused.
TEST(DeviceList, NewRowsBeyondTheBoundAreRefusedAndCounted) {
  TDeviceList list;
  for (int i = 0; i < 2048 + 5; ++i) {
    list.OnRecord(Device(kType1010, "flood" + std::to_string(i), "10.0.0.1"));
  }
  EXPECT_EQ(2048u, list.Count());
  EXPECT_EQ(5u, list.RefusedRows());
  // A known row still takes its refresh.
  TDevInfo known = Device(kType1010, "flood7", "10.0.0.1", "renamed");
  list.OnRecord(known);
  EXPECT_EQ("renamed", list.FindByID("flood7")->DevName);
  EXPECT_EQ(5u, list.RefusedRows());

  TSearchDiagnostics diagnostics;
  diagnostics.RefusedRows = list.RefusedRows();
  EXPECT_EQ("The camera list is full (2048 cameras); replies of further cameras were refused: 5",
            ListFullLine(diagnostics));
  const std::vector<std::string> lines = DiagnosticLines(diagnostics);
  EXPECT_EQ(ListFullLine(diagnostics), lines.back());
  diagnostics.RefusedRows = 0;
  EXPECT_EQ("", ListFullLine(diagnostics));

  // Rows that expire make room again; emptying the list forgets the count.
  Ticks(list, TDeviceList::kLongLifetime);
  EXPECT_TRUE(list.Empty());
  list.OnRecord(Device(kType1010, "camera", "10.0.0.2"));
  EXPECT_EQ(1u, list.Count());
  list.ClearList();
  EXPECT_EQ(0u, list.RefusedRows());
}

}  // namespace
}  // namespace camlift
