// SPDX-License-Identifier: Apache-2.0
// The camera list against a plain model of it: a vector searched from the front, each new row
// put in its sorted place when it comes, each changed row moved at once. Long random runs of
// replies, ticks, header clicks, selections and clears must give the same rows, in the same
// order, with the same selection, whenever the list is looked at.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "discovery/list_order.h"
#include "discovery/tools_net.h"

namespace camlift {
namespace {

class TPlainList {
 public:
  void OnRecord(const TDevInfo& record) {
    if (AddOrUpdate(record) && selected_ < 0 && !rows_.empty()) Select(0);
    UpdateCount();
  }
  bool AddOrUpdate(const TDevInfo& record) {
    if (record.DevType == -1) return false;
    if (TDevInfo* entry = Find(record.DevID)) {
      entry->Lifetime = entry->DevType == 1 ? 30 : 10;
      if (SameCompared(*entry, record)) return false;
      const std::int32_t lifetime = entry->Lifetime;
      *entry = record;
      entry->Lifetime = lifetime;
      const int row = static_cast<int>(entry - rows_.data());
      const bool was_selected = selected_ == row;
      if (selected_ > row) --selected_;
      TDevInfo moved = rows_[static_cast<std::size_t>(row)];
      rows_.erase(rows_.begin() + row);
      int low = 0;
      while (low < Size() && Less(rows_[static_cast<std::size_t>(low)], moved)) ++low;
      int high = low;
      while (high < Size() && !Less(moved, rows_[static_cast<std::size_t>(high)])) ++high;
      const int at = std::clamp(row, low, high);
      rows_.insert(rows_.begin() + at, moved);
      if (was_selected) {
        selected_ = at;
      } else if (selected_ >= at) {
        ++selected_;
      }
      return false;
    }
    TDevInfo entry = record;
    entry.Lifetime = record.DevType == 1 || record.DevType == 8 ? 30 : 10;
    int at = 0;
    while (at < Size() && !Less(entry, rows_[static_cast<std::size_t>(at)])) ++at;
    rows_.insert(rows_.begin() + at, entry);
    if (selected_ >= at) ++selected_;
    UpdateCount();
    return true;
  }
  TDevInfo* Find(const std::string& id) {
    for (TDevInfo& entry : rows_) {
      if (entry.DevID == id) return &entry;
    }
    return nullptr;
  }
  void ClearList() {
    rows_.clear();
    selected_ = -1;
  }
  void UpdateCount() {
    if (!rows_.empty() && selected_ < 0) selected_ = 0;
  }
  void Tick() {
    for (int row = Size() - 1; row >= 0; --row) {
      TDevInfo& entry = rows_[static_cast<std::size_t>(row)];
      if (entry.DevType == 4 || entry.DevType == 1000) continue;
      if (--entry.Lifetime <= 0) RemoveRow(row);
    }
    UpdateCount();
  }
  void ClickColumn(int column) {
    ascending_ = column == column_ ? !ascending_ : true;
    column_ = column;
    Sort();
  }
  void Sort() {
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
      return Less(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
    });
    std::vector<TDevInfo> sorted;
    int selected = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (order[i] == selected_) selected = static_cast<int>(i);
      sorted.push_back(rows_[static_cast<std::size_t>(order[i])]);
    }
    rows_ = sorted;
    selected_ = selected;
  }
  void Select(int row) { selected_ = row >= 0 && row < Size() ? row : -1; }
  void RemoveRow(int row) {
    if (row < 0 || row >= Size()) return;
    rows_.erase(rows_.begin() + row);
    if (selected_ == row) {
      selected_ = -1;
    } else if (selected_ > row) {
      --selected_;
    }
  }
  const std::vector<TDevInfo>& Rows() const { return rows_; }
  int Selected() const { return selected_; }

 private:
  int Size() const { return static_cast<int>(rows_.size()); }
  static bool SameCompared(const TDevInfo& a, const TDevInfo& b) {
    return a.IPAddr == b.IPAddr && a.DevName == b.DevName && a.DevPort == b.DevPort &&
           a.DevType == b.DevType && a.Netmask == b.Netmask && a.Gateway == b.Gateway &&
           a.DNS1 == b.DNS1 && a.DNS2 == b.DNS2 && a.AuxWord == b.AuxWord &&
           a.DhcpFlag == b.DhcpFlag && a.Version == b.Version;
  }
  bool Less(const TDevInfo& a, const TDevInfo& b) const {
    int result = 0;
    if (column_ == kColumnType) {
      result = CompareTextNoCase(DevTypeCaption(a.DevType), DevTypeCaption(b.DevType));
    } else if (column_ == kColumnName) {
      result = CompareTextNoCase(a.DevName, b.DevName);
    } else if (column_ == kColumnIP) {
      result = CompareDottedOrder(a.IPAddr, b.IPAddr);
    } else if (column_ == kColumnPort) {
      result = static_cast<int>(a.DevPort) - static_cast<int>(b.DevPort);
    } else if (column_ == kColumnVersion) {
      result = CompareOptionalDotted(a.Version, b.Version);
    }
    return (ascending_ ? result : -result) < 0;
  }

  std::vector<TDevInfo> rows_;
  int selected_ = -1;
  int column_ = kColumnIP;
  bool ascending_ = true;
};

struct TRowView {
  std::string id, ip, name, version;
  int type = 0, port = 0, lifetime = 0;
  bool operator==(const TRowView&) const = default;
};

std::vector<TRowView> View(const std::vector<TDevInfo>& rows) {
  std::vector<TRowView> view;
  for (const TDevInfo& d : rows) {
    view.push_back({d.DevID, d.IPAddr, d.DevName, d.Version, d.DevType, d.DevPort, d.Lifetime});
  }
  return view;
}

// Few identities, addresses and names, so that refreshes, moves and ties are common; the empty
// identity, the closed library's type 4, typed-in addresses, type 1 and 1010 entries included.
TDevInfo RandomRecord(std::mt19937& random) {
  static const int kTypes[] = {-1, 1, 2, 4, 5, 8, 9, 1000};
  static const char* kNames[] = {"cam", "Cam", "door", "yard", ""};
  static const char* kVersions[] = {"1.2", "1.10", "", "2"};
  TDevInfo d;
  d.DevType = kTypes[random() % 8];
  d.DevID = random() % 12 == 0 ? "" : "id" + std::to_string(random() % 40);
  d.IPAddr = "10.0." + std::to_string(random() % 3) + "." + std::to_string(random() % 6);
  d.DevName = kNames[random() % 5];
  d.Version = kVersions[random() % 4];
  d.DevPort = 80 + static_cast<int>(random() % 2);
  d.DhcpFlag = static_cast<int>(random() % 2);
  return d;
}

TEST(DeviceListModel, RandomRunsMatchThePlainList) {
  for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    std::mt19937 random(seed);
    TDeviceList list;
    TPlainList plain;
    for (int step = 0; step < 3000; ++step) {
      const unsigned op = random() % 100;
      if (op < 60) {
        const TDevInfo record = RandomRecord(random);
        if (op < 50) {
          list.OnRecord(record);
          plain.OnRecord(record);
        } else {
          EXPECT_EQ(plain.AddOrUpdate(record), list.AddOrUpdate(record)) << seed << " " << step;
        }
      } else if (op < 75) {
        list.Tick();
        plain.Tick();
      } else if (op < 80) {
        const int column = static_cast<int>(random() % 5);
        list.ClickColumn(column);
        plain.ClickColumn(column);
      } else if (op < 81) {
        list.ClearList();
        plain.ClearList();
      } else if (op < 87) {
        const int row = static_cast<int>(random() % (plain.Rows().size() + 2)) - 1;
        list.Select(row);
        plain.Select(row);
      } else if (op < 89) {
        const int row = static_cast<int>(random() % (plain.Rows().size() + 1));
        list.RemoveRow(row);
        plain.RemoveRow(row);
      } else if (op < 90) {
        list.Sort();
        plain.Sort();
      } else if (op < 95) {
        const std::string id = "id" + std::to_string(random() % 40);
        const TDevInfo* mine = list.FindByID(id);
        const TDevInfo* theirs = plain.Find(id);
        ASSERT_EQ(theirs == nullptr, mine == nullptr) << seed << " " << step;
        if (mine) {
          EXPECT_EQ(View({*theirs}), View({*mine})) << seed << " " << step;
        }
      }
      ASSERT_EQ(plain.Rows().size(), list.Count()) << seed << " " << step;
      // Looking at the list places the waiting rows: look only now and then, so that long
      // stretches of replies meet ticks, clicks and selections before they are placed.
      if (random() % 8 != 0) continue;
      if (random() % 2 == 0) {
        ASSERT_EQ(plain.Selected(), list.Selected()) << seed << " " << step;
        ASSERT_EQ(View(plain.Rows()), View(list.Rows())) << seed << " " << step;
      } else {
        const TSelectionResult accepted = list.Accept();
        const int selected = plain.Selected();
        ASSERT_EQ(selected >= 0 ? kModalOk : kModalCancel, accepted.ModalResult) << seed << step;
        if (selected >= 0) {
          EXPECT_EQ(plain.Rows()[static_cast<std::size_t>(selected)].IPAddr, accepted.szIP)
              << seed << " " << step;
        }
      }
    }
    EXPECT_EQ(View(plain.Rows()), View(list.Rows())) << seed;
    EXPECT_EQ(plain.Selected(), list.Selected()) << seed;
  }
}

}  // namespace
}  // namespace camlift
