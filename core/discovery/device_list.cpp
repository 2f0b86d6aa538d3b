// SPDX-License-Identifier: Apache-2.0
#include "discovery/device_list.h"

#include <algorithm>
#include <numeric>

#include "discovery/account_scope.h"
#include "discovery/dev_types.h"
#include "discovery/list_order.h"
#include "discovery/search_diagnostics.h"
#include "discovery/tools_net.h"
#include "i18n/str_res.h"
#include "util/text_convert.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

bool SameComparedFields(const TDevInfo& a, const TDevInfo& b) {
  return a.IPAddr == b.IPAddr && a.DevName == b.DevName && a.DevPort == b.DevPort &&
         a.DevType == b.DevType && a.Netmask == b.Netmask && a.Gateway == b.Gateway &&
         a.DNS1 == b.DNS1 && a.DNS2 == b.DNS2 && a.AuxWord == b.AuxWord &&
         a.DhcpFlag == b.DhcpFlag && a.ReplyFrom == b.ReplyFrom &&
         a.ProbedSeries == b.ProbedSeries &&
         // The Version column too: a camera that came back from an upgrade says so in its reply,
         // and its row must not go on showing the old version.
         a.Version == b.Version;
}

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

bool TDeviceList::AddOrUpdate(const TDevInfo& record) {
  if (record.DevType == kTypeNone) return false;
  if (const auto found = index_.find(record.DevID); found != index_.end()) {
    TDevInfo* entry = &rows_[found->second];
    entry->Lifetime = LifetimeOf(entry->DevType).refreshed;
    if (SameComparedFields(*entry, record)) return false;
    // A changed entry moves from where it stands in the whole list: the rows still waiting
    // for their places take them first, by the entry's old values.
    if (sorted_ != rows_.size()) {
      Settle();
      entry = &rows_[index_.at(record.DevID)];
    }
    const std::int32_t lifetime = entry->Lifetime;
    const bool new_version = entry->Version != record.Version;
    *entry = record;
    entry->Lifetime = lifetime;
    Touch(*entry);
    if (new_version) DropStaleMark(*entry);
    // The selection stays on the same entry, so OK still hands over the camera the user picked
    // even when the refresh moved it.
    Reposition(static_cast<std::size_t>(entry - rows_.data()));
    return false;
  }
  // A camera found by the search replaces the row typed in for the same address: one row per
  // camera, and the selection goes with it.
  bool typed_was_selected = false;
  if (record.DevType != kTypeManual) {
    const std::string typed = "manual:" + record.IPAddr + ":" + std::to_string(record.DevPort);
    if (index_.count(typed)) {
      const int row = RowOf(typed);  // settles the rows first
      typed_was_selected = selected_ == row;
      RemoveRow(row);
    }
  }
  if (rows_.size() >= kMaxRows) {
    ++refused_;
    return false;
  }
  TDevInfo& entry = rows_.emplace_back(record);
  Touch(entry);
  entry.Lifetime = LifetimeOf(record.DevType).first;
  index_.emplace(entry.DevID, rows_.size() - 1);
  if (typed_was_selected) SelectEntry(record.DevID);
  UpdateCount();
  return true;
}

void TDeviceList::OnRecord(const TDevInfo& record) {
  const std::uint64_t before = changes_;
  const bool added = AddOrUpdate(record);
  if (!wanted_.empty() && record.DevID == wanted_ && record.DevType != kTypeNone) {
    const std::string id = wanted_;
    wanted_.clear();
    SelectEntry(id);
  } else if (added && selected_ < 0 && !rows_.empty() && wanted_.empty()) {
    SelectRow(0);
  }
  if (changes_ != before || (selected_ < 0 && !rows_.empty() && wanted_.empty())) UpdateCount();
}

int TDeviceList::RowAt(const std::string& ip, int port) const {
  Settle();
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const TDevInfo& entry = rows_[row];
    if (entry.DevType == kTypeManual || entry.IPAddr != ip) continue;
    if (port == 0 || entry.DevPort == port) return static_cast<int>(row);
  }
  return -1;
}

void TDeviceList::OnTypedCamera(const TDevInfo& record) {
  wanted_.clear();
  const int listed = RowAt(record.IPAddr, record.DevPort);
  if (listed >= 0) {
    SelectRow(listed);
    return;
  }
  AddOrUpdate(record);
  SelectEntry(record.DevID);
}

bool TDeviceList::SelectEntry(const std::string& dev_id) {
  const int row = RowOf(dev_id);
  if (row < 0) return false;
  SelectRow(row);
  return true;
}

TDevInfo* TDeviceList::FindByID(const std::string& dev_id) {
  const auto found = index_.find(dev_id);
  return found == index_.end() ? nullptr : &rows_[found->second];
}

void TDeviceList::ClearList() {
  rows_.clear();
  marks_.clear();
  index_.clear();
  refused_ = 0;
  sorted_ = 0;
  selected_ = -1;
  Changed();
  UpdateCount();
}

void TDeviceList::UpdateCount() {
  if (!rows_.empty() && selected_ < 0 && wanted_.empty()) {
    Settle();
    selected_ = 0;
  }
  Changed();
}

void TDeviceList::Tick() {
  // One sweep that keeps the order of what stays (waiting rows stay behind the placed ones).
  std::size_t kept = 0;
  std::size_t kept_sorted = 0;
  int selected = -1;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    TDevInfo& entry = rows_[row];
    const bool stays = !LifetimeOf(entry.DevType).expires || --entry.Lifetime > 0;
    if (!stays) continue;
    if (static_cast<int>(row) == selected_) selected = static_cast<int>(kept);
    if (row < sorted_) ++kept_sorted;
    if (kept != row) rows_[kept] = std::move(entry);
    ++kept;
  }
  if (kept != rows_.size()) {
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(kept), rows_.end());
    sorted_ = kept_sorted;
    selected_ = selected;
    RebuildIndex();
  }
  UpdateCount();
}

void TDeviceList::ClickColumn(int column) {
  Settle();  // the waiting rows go where the old order puts them, then all are sorted anew
  if (column == sort_column_) {
    sort_ascending_ = !sort_ascending_;
  } else {
    sort_column_ = column;
    sort_ascending_ = true;
  }
  Sort();
}

int TDeviceList::Compare(const TDevInfo& a, const TDevInfo& b) const {
  // Each column is a strict weak order, and so is its reverse: the sorts rely on it.
  int result = 0;
  switch (sort_column_) {
    case kColumnType:
      result = CompareTextNoCase(DevTypeCaption(a.DevType), DevTypeCaption(b.DevType));
      break;
    case kColumnName:
      result = CompareTextNoCase(a.DevName, b.DevName);
      break;
    case kColumnIP:
      result = CompareDottedOrder(a.IPAddr, b.IPAddr);
      break;
    case kColumnPort:
      result = static_cast<int>(a.DevPort) - static_cast<int>(b.DevPort);
      break;
    case kColumnVersion:
      result = CompareOptionalDotted(a.Version, b.Version);
      break;
    case kColumnLatest:
    case kColumnState: {
      static const TCheckMark kNone;
      const TCheckMark* ma = CheckMarkOf(a);
      const TCheckMark* mb = CheckMarkOf(b);
      const TCheckMark& ca = ma ? *ma : kNone;
      const TCheckMark& cb = mb ? *mb : kNone;
      result = sort_column_ == kColumnLatest ? CompareOptionalDotted(ca.latest, cb.latest)
                                             : ca.state - cb.state;
      break;
    }
    default:
      break;  // no such column: the order stays as it is
  }
  result = Sign(result);
  return sort_ascending_ ? result : -result;
}

void TDeviceList::Sort() {
  Settle();
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return Compare(rows_[a], rows_[b]) < 0;
  });
  std::vector<TDevInfo> sorted;
  sorted.reserve(rows_.size());
  int selected = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (static_cast<int>(order[i]) == selected_) selected = static_cast<int>(i);
    sorted.push_back(std::move(rows_[order[i]]));
  }
  rows_ = std::move(sorted);
  selected_ = selected;
  RebuildIndex();
  Changed();
}

void TDeviceList::Settle() const {
  if (sorted_ == rows_.size()) return;
  const auto less = [this](const TDevInfo& a, const TDevInfo& b) { return Compare(a, b) < 0; };
  std::string selected_id;
  if (selected_ >= 0) selected_id = rows_[static_cast<std::size_t>(selected_)].DevID;
  // A stable sort of the newcomers and a stable merge behind the placed rows is what placing
  // each newcomer after every row that does not sort behind it, one by one, would give.
  const auto middle = rows_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  std::stable_sort(middle, rows_.end(), less);
  std::inplace_merge(rows_.begin(), middle, rows_.end(), less);
  sorted_ = rows_.size();
  RebuildIndex();
  if (selected_ >= 0) selected_ = static_cast<int>(index_.at(selected_id));
}

void TDeviceList::RebuildIndex() const {
  index_.clear();
  index_.reserve(rows_.size());
  for (std::size_t row = 0; row < rows_.size(); ++row) index_.emplace(rows_[row].DevID, row);
}

void TDeviceList::Reposition(std::size_t row) {
  // Every other row is in order, so the changed one goes where a stable sort would put it:
  // among the rows that compare equal to it, at its old place. Mostly that is where it stands.
  const auto less = [this](const TDevInfo& a, const TDevInfo& b) { return Compare(a, b) < 0; };
  const TDevInfo& entry = rows_[row];
  const auto begin = rows_.begin();
  const auto at_row = begin + static_cast<std::ptrdiff_t>(row);
  // Bounds of its equal range among the other rows, in the places they would have without it.
  const auto bound = [&](auto search) -> std::size_t {
    const auto left = search(begin, at_row);
    if (left != at_row) return static_cast<std::size_t>(left - begin);
    return static_cast<std::size_t>(search(at_row + 1, rows_.end()) - begin) - 1;
  };
  const std::size_t low =
      bound([&](auto first, auto last) { return std::lower_bound(first, last, entry, less); });
  const std::size_t high =
      bound([&](auto first, auto last) { return std::upper_bound(first, last, entry, less); });
  const std::size_t at = std::clamp(row, low, high);
  if (at < row) {
    std::rotate(begin + static_cast<std::ptrdiff_t>(at), at_row, at_row + 1);
  } else if (at > row) {
    std::rotate(at_row, at_row + 1, begin + static_cast<std::ptrdiff_t>(at) + 1);
  }
  const std::size_t first = std::min(at, row);
  const std::size_t last = std::max(at, row);
  for (std::size_t i = first; i <= last; ++i) index_[rows_[i].DevID] = i;
  if (selected_ >= 0) {
    const auto selected = static_cast<std::size_t>(selected_);
    if (selected == row) {
      selected_ = static_cast<int>(at);
    } else if (selected >= first && selected <= last) {
      selected_ += at < row ? 1 : -1;
    }
  }
  Changed();
}

void TDeviceList::Select(int row) {
  wanted_.clear();  // the user chose
  SelectRow(row);
}

void TDeviceList::SelectRow(int row) {
  Settle();
  selected_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
  Changed();
}

const TDevInfo* TDeviceList::SelectedEntry() const {
  Settle();
  return selected_ >= 0 ? &rows_[static_cast<std::size_t>(selected_)] : nullptr;
}

void TDeviceList::RemoveRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  Settle();
  rows_.erase(rows_.begin() + row);
  sorted_ = rows_.size();
  RebuildIndex();
  if (selected_ == row) {
    selected_ = -1;
  } else if (selected_ > row) {
    --selected_;
  }
  Changed();
}

TSelectionResult TDeviceList::Accept() const {
  TSelectionResult result;
  if (const TDevInfo* entry = SelectedEntry()) {
    result.ModalResult = kModalOk;
    result.szIP = entry->IPAddr;
    result.nPort = entry->DevPort;
    result.nTYpe = SeriesIndex(SeriesOfDevice(*entry));
  }
  return result;
}

std::string TDeviceList::CameraKey(const std::string& ip, int port) {
  return ip + ":" + std::to_string(port > 0 ? port : 80);
}

void TDeviceList::SetCheckMarks(const std::vector<std::pair<std::string, TCheckMark>>& marks) {
  if (marks.empty()) return;
  for (const auto& [key, mark] : marks) marks_[key] = mark;
  for (TDevInfo& entry : rows_) {
    if (marks_.count(CameraKey(entry.IPAddr, entry.DevPort))) Touch(entry);
  }
  // Several rows may have moved at once: sort anew (stable, the selection stays on its entry).
  if (sort_column_ == kColumnLatest || sort_column_ == kColumnState) {
    Sort();
  } else {
    Changed();
  }
}

void TDeviceList::ClearCheckMarks() {
  if (marks_.empty()) return;
  for (TDevInfo& entry : rows_) {
    if (marks_.count(CameraKey(entry.IPAddr, entry.DevPort))) Touch(entry);
  }
  marks_.clear();
  if (sort_column_ == kColumnLatest || sort_column_ == kColumnState) {
    Sort();
  } else {
    Changed();
  }
}

const TCheckMark* TDeviceList::CheckMarkOf(const TDevInfo& entry) const {
  if (marks_.empty()) return nullptr;
  const auto found = marks_.find(CameraKey(entry.IPAddr, entry.DevPort));
  return found == marks_.end() ? nullptr : &found->second;
}

void TDeviceList::DropStaleMark(const TDevInfo& entry) {
  // A check read one version; a row that shows another is no longer what was checked.
  const auto found = marks_.find(CameraKey(entry.IPAddr, entry.DevPort));
  if (found != marks_.end() && !entry.Version.empty() && found->second.current != entry.Version) {
    marks_.erase(found);
  }
}

bool TDeviceList::ConfirmVersion(const std::string& ip, int port, const std::string& version) {
  Settle();
  const std::string key = CameraKey(ip, port);
  bool found = false;
  for (TDevInfo& entry : rows_) {
    if (CameraKey(entry.IPAddr, entry.DevPort) != key) continue;
    found = true;
    entry.Version = version;
    Touch(entry);
  }
  const auto mark = marks_.find(key);
  if (mark != marks_.end() && mark->second.current != version) {
    marks_.erase(mark);
    for (TDevInfo& entry : rows_) {
      if (CameraKey(entry.IPAddr, entry.DevPort) == key) Touch(entry);
    }
  }
  if (!found) return false;
  Sort();
  return true;
}

int TDeviceList::RowOf(const std::string& dev_id) const {
  Settle();
  const auto found = index_.find(dev_id);
  return found == index_.end() ? -1 : static_cast<int>(found->second);
}

void TDeviceList::Changed() {
  ++changes_;
  if (on_changed_) on_changed_();
}

std::string DisplayName(const TDevInfo& entry, const std::string& language_code) {
  const std::string utf8 = ToValidUtf8(entry.DevName);
  // Some dialects state UTF-8 (the name text of their type); the others send what the camera was
  // set up with, which is the code page of its language when it is not UTF-8.
  if (utf8 == entry.DevName || NameTextOf(entry.DevType) == TNameText::Utf8) return utf8;
  return LangToUtf8(entry.DevName, language_code);
}

std::string AddressColumnText(const TDevInfo& entry) {
  std::string text = ShownText(entry.IPAddr);
  if (ReplyFromOtherAddress(entry)) {
    text += " (" + LangTextOr("IDS_REPLYFROM", "reply from") + " " + entry.ReplyFrom + ")";
  }
  return text;
}

std::vector<std::string> RowTexts(const TDevInfo& entry) {
  std::string caption = DevTypeCaption(entry.DevType);
  if (entry.DevType == kTypeManual) {
    const std::string text = GetLangStrUtf8("IDS_TYPEMANUAL");
    if (!text.empty()) caption = text;
  }
  return {ShownText(caption), ShownText(DisplayName(entry, CurrentLanguage())),
          AddressColumnText(entry), std::to_string(entry.DevPort), ShownText(entry.Version)};
}

}  // namespace camlift
