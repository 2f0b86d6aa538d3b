// SPDX-License-Identifier: Apache-2.0
#include "device_list_model.h"

#include <algorithm>

namespace camlift::gui {
namespace {

// Beyond this many moved rows at once (a new sort) the view takes the new order whole.
constexpr std::size_t kMaxMoves = 32;
// Room around a cell's text.
constexpr int kCellPadding = 16;

}  // namespace

TDeviceListModel::TDeviceListModel(const TDeviceList& list, TPainter painter, QObject* parent)
    : QAbstractTableModel(parent), list_(list), painter_(std::move(painter)) {}

int TDeviceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TDeviceListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kAllListColumns;
}

QVariant TDeviceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) ||
      index.column() >= kAllListColumns) {
    return {};
  }
  const TRowCells& cells = rows_[static_cast<std::size_t>(index.row())].cells;
  const auto column = static_cast<std::size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return cells.text[column];
    case Qt::ToolTipRole:
      // A text cut by a narrow column can still be read whole.
      return cells.text[column].isEmpty() ? QVariant() : QVariant(cells.text[column]);
    case Qt::DecorationRole:
      return index.column() == kColumnState && !cells.state_icon.isNull()
                 ? QVariant(cells.state_icon)
                 : QVariant();
    case Qt::ForegroundRole:
      return index.column() == kColumnState ? cells.state_colour : QVariant();
    case Qt::AccessibleTextRole:
      return index.column() == kColumnState && !cells.state_spoken.isEmpty()
                 ? QVariant(cells.state_spoken)
                 : QVariant();
    default:
      return {};
  }
}

QVariant TDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= headers_.size()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return headers_[section];
}

bool TDeviceListModel::setHeaderData(int section, Qt::Orientation orientation,
                                     const QVariant& value, int role) {
  if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) ||
      section < 0 || section >= kAllListColumns) {
    return false;
  }
  QStringList headers = headers_;
  while (headers.size() < kAllListColumns) headers << QString();
  headers[section] = value.toString();
  SetHeaders(headers);
  return true;
}

void TDeviceListModel::SetHeaders(const QStringList& headers) {
  if (headers == headers_) return;
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, kAllListColumns - 1);
  MeasureHeaders();
}

void TDeviceListModel::SetFontMetrics(const QFontMetrics& metrics, int icon_width) {
  metrics_.emplace(metrics);
  icon_width_ = icon_width;
  needed_.fill(0);
  header_widths_.fill(0);
  MeasureHeaders();
  for (const TRow& row : rows_) Measure(row.cells);
  grew_ = true;
}

void TDeviceListModel::MeasureHeaders() {
  if (!metrics_) return;
  for (int c = 0; c < headers_.size() && c < kAllListColumns; ++c) {
    // The sort arrow sits beside the header text.
    const int width = metrics_->horizontalAdvance(headers_[c]) + 2 * kCellPadding;
    header_widths_[static_cast<std::size_t>(c)] = width;
    auto& needed = needed_[static_cast<std::size_t>(c)];
    if (width > needed) {
      needed = width;
      grew_ = true;
    }
  }
}

void TDeviceListModel::Measure(const TRowCells& cells) {
  if (!metrics_) return;
  for (std::size_t c = 0; c < cells.text.size(); ++c) {
    if (cells.text[c].isEmpty()) continue;
    int width = metrics_->horizontalAdvance(cells.text[c]) + kCellPadding;
    if (c == kColumnState && !cells.state_icon.isNull()) width += icon_width_ + 4;
    if (width > needed_[c]) {
      needed_[c] = width;
      grew_ = true;
    }
  }
}

void TDeviceListModel::Draw(TRow& row, const TDevInfo& entry) {
  row.shown.id = entry.DevID;
  row.shown.revision = entry.Revision;
  row.cells = painter_(entry);
  Measure(row.cells);
}

void TDeviceListModel::Sync() {
  ++syncs_;
  const std::vector<TDevInfo>& entries = list_.Rows();
  std::vector<TShownRow> shown;
  shown.reserve(rows_.size());
  for (const TRow& row : rows_) shown.push_back(row.shown);
  const TListSyncPlan plan = PlanListSync(shown, entries, kMaxMoves);
  for (const TListSyncPlan::TRange& range : plan.removals) {
    beginRemoveRows({}, static_cast<int>(range.first), static_cast<int>(range.last));
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(range.first),
                rows_.begin() + static_cast<std::ptrdiff_t>(range.last) + 1);
    endRemoveRows();
  }
  for (const TListSyncPlan::TMove& move : plan.moves) {
    const int from = static_cast<int>(move.from);
    const int to = static_cast<int>(move.to);
    // Qt names the row before which the moved one goes, counted before the move.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    TRow row = std::move(rows_[move.from]);
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(row));
    endMoveRows();
  }
  if (plan.reorder) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::unordered_map<std::string, std::size_t> list_row;
    list_row.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) list_row.emplace(entries[i].DevID, i);
    std::vector<std::size_t> order(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return list_row.at(rows_[a].shown.id) < list_row.at(rows_[b].shown.id);
    });
    std::vector<TRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> new_row_of(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      new_row_of[order[i]] = static_cast<int>(i);
      sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
      to.push_back(
          index.isValid() && index.row() < static_cast<int>(new_row_of.size())
              ? createIndex(new_row_of[static_cast<std::size_t>(index.row())], index.column())
              : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  }
  for (const TListSyncPlan::TInsert& insert : plan.inserts) {
    const int first = static_cast<int>(insert.at);
    beginInsertRows({}, first, first + static_cast<int>(insert.count) - 1);
    std::vector<TRow> fresh(insert.count);
    for (std::size_t i = 0; i < insert.count; ++i) Draw(fresh[i], entries[insert.at + i]);
    rows_.insert(rows_.begin() + first, std::make_move_iterator(fresh.begin()),
                 std::make_move_iterator(fresh.end()));
    endInsertRows();
  }
  for (const TListSyncPlan::TRange& range : plan.changed) {
    for (std::size_t i = range.first; i <= range.last; ++i) Draw(rows_[i], entries[i]);
    emit dataChanged(index(static_cast<int>(range.first), 0),
                     index(static_cast<int>(range.last), kAllListColumns - 1));
  }
  if (rows_.empty() && needed_ != header_widths_) {
    // Nothing shown: the widths of rows that went (a long "reply from" address) go with them.
    needed_ = header_widths_;
    grew_ = true;
  }
  if (grew_) {
    grew_ = false;
    emit widthsChanged();
  }
}

void TDeviceListModel::RedrawAll() {
  Sync();
  if (rows_.empty()) return;
  const std::vector<TDevInfo>& entries = list_.Rows();
  for (std::size_t i = 0; i < rows_.size(); ++i) Draw(rows_[i], entries[i]);
  emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kAllListColumns - 1));
  if (grew_) {
    grew_ = false;
    emit widthsChanged();
  }
}

}  // namespace camlift::gui
