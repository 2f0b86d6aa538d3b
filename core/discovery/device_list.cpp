#include "discovery/device_list.h"

#include <algorithm>
#include <numeric>

#include "discovery/dev_types.h"
#include "discovery/tools_net.h"
#include "i18n/str_res.h"
#include "util/text_convert.h"

namespace camlift {
namespace {

constexpr std::int32_t kTypeShortLived = 1;

bool SameComparedFields(const TDevInfo& a, const TDevInfo& b) {
  return a.IPAddr == b.IPAddr && a.DevName == b.DevName && a.DevPort == b.DevPort &&
         a.DevType == b.DevType && a.Netmask == b.Netmask && a.Gateway == b.Gateway &&
         a.DNS1 == b.DNS1 && a.DNS2 == b.DNS2 && a.AuxWord == b.AuxWord && a.DhcpFlag == b.DhcpFlag;
}

}  // namespace

bool TDeviceList::AddOrUpdate(const TDevInfo& record) {
  if (record.DevType == kTypeNone) return false;
  if (TDevInfo* entry = FindByID(record.DevID)) {
    entry->Lifetime = entry->DevType == kTypeShortLived ? kLongLifetime : kLifetime;
    if (SameComparedFields(*entry, record)) return false;
    const std::int32_t lifetime = entry->Lifetime;
    *entry = record;
    entry->Lifetime = lifetime;
    // The selection stays on the same entry, so OK still hands over the camera the user picked
    // even when the refresh moved it.
    Reposition(static_cast<int>(entry - rows_.data()));
    return false;
  }
  TDevInfo entry = record;
  entry.Lifetime =
      record.DevType == kTypeShortLived || record.DevType == kType1010 ? kLongLifetime : kLifetime;
  // The rows are always in order, so the new one goes where a stable sort would put it: after
  // every row that does not sort behind it.
  const auto at =
      std::upper_bound(rows_.begin(), rows_.end(), entry,
                       [this](const TDevInfo& a, const TDevInfo& b) { return Compare(a, b) < 0; });
  const int row = static_cast<int>(at - rows_.begin());
  rows_.insert(at, std::move(entry));
  if (selected_ >= row) ++selected_;
  UpdateCount();
  return true;
}

void TDeviceList::OnRecord(const TDevInfo& record) {
  if (AddOrUpdate(record) && selected_ < 0 && !rows_.empty()) Select(0);
  UpdateCount();
}

TDevInfo* TDeviceList::FindByID(const std::string& dev_id) {
  for (TDevInfo& entry : rows_) {
    if (entry.DevID == dev_id) return &entry;
  }
  return nullptr;
}

void TDeviceList::ClearList() {
  rows_.clear();
  selected_ = -1;
  Changed();
  UpdateCount();
}

void TDeviceList::UpdateCount() {
  if (!rows_.empty() && selected_ < 0) selected_ = 0;
  Changed();
}

void TDeviceList::Tick() {
  for (int row = static_cast<int>(rows_.size()) - 1; row >= 0; --row) {
    TDevInfo& entry = rows_[static_cast<std::size_t>(row)];
    if (entry.DevType == kTypeClosedLibrary || entry.DevType == kTypeManual) continue;
    if (--entry.Lifetime <= 0) RemoveRow(row);
  }
  UpdateCount();
}

void TDeviceList::ClickColumn(int column) {
  if (column == sort_column_) {
    sort_ascending_ = !sort_ascending_;
  } else {
    sort_column_ = column;
    sort_ascending_ = true;
  }
  Sort();
}

int TDeviceList::Compare(const TDevInfo& a, const TDevInfo& b) const {
  int result = 0;
  switch (sort_column_) {
    case kColumnType:
      result = CompareTextNoCase(DevTypeCaption(a.DevType), DevTypeCaption(b.DevType));
      break;
    case kColumnName:
      result = CompareTextNoCase(a.DevName, b.DevName);
      break;
    case kColumnIP:
      result = TTools_Net::CompareDotted(a.IPAddr, b.IPAddr);
      break;
    case kColumnVersion:
      result = TTools_Net::CompareDotted(a.Version, b.Version);
      break;
    default:
      break;  // every other column leaves the order as it is
  }
  return sort_ascending_ ? result : -result;
}

void TDeviceList::Sort() {
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
  Changed();
}

void TDeviceList::Reposition(int row) {
  // Every other row is still in order, so the changed one goes where a stable sort would put it:
  // among the rows that compare equal to it, at its old place.
  const bool was_selected = selected_ == row;
  if (selected_ > row) --selected_;
  TDevInfo entry = std::move(rows_[static_cast<std::size_t>(row)]);
  rows_.erase(rows_.begin() + row);
  const auto less = [this](const TDevInfo& a, const TDevInfo& b) { return Compare(a, b) < 0; };
  const auto low = std::lower_bound(rows_.begin(), rows_.end(), entry, less) - rows_.begin();
  const auto high = std::upper_bound(rows_.begin(), rows_.end(), entry, less) - rows_.begin();
  const int at = static_cast<int>(std::clamp<std::ptrdiff_t>(row, low, high));
  rows_.insert(rows_.begin() + at, std::move(entry));
  if (was_selected) {
    selected_ = at;
  } else if (selected_ >= at) {
    ++selected_;
  }
  Changed();
}

void TDeviceList::Select(int row) {
  selected_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
  Changed();
}

const TDevInfo* TDeviceList::SelectedEntry() const {
  return selected_ >= 0 ? &rows_[static_cast<std::size_t>(selected_)] : nullptr;
}

void TDeviceList::RemoveRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_.erase(rows_.begin() + row);
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
    result.nTYpe = TypeToSeries(entry->DevType);
  }
  return result;
}

void TDeviceList::Changed() {
  if (on_changed_) on_changed_();
}

std::string DisplayName(const TDevInfo& entry, const std::string& language_code) {
  const std::string utf8 = ToValidUtf8(entry.DevName);
  // MO_I and 1010 cameras send UTF-8; the other dialects send what the camera was set up with,
  // which is the code page of its language when it is not UTF-8.
  if (utf8 == entry.DevName || entry.DevType == kTypeMOI || entry.DevType == kType1010) {
    return utf8;
  }
  return LangToUtf8(entry.DevName, language_code);
}

std::vector<std::string> RowTexts(const TDevInfo& entry) {
  std::string caption = DevTypeCaption(entry.DevType);
  if (entry.DevType == kTypeManual) {
    const std::string text = GetLangStrUtf8("IDS_TYPEMANUAL");
    if (!text.empty()) caption = text;
  }
  return {caption, DisplayName(entry, CurrentLanguage()), entry.IPAddr,
          std::to_string(entry.DevPort), entry.Version};
}

}  // namespace camlift
