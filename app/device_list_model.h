// SPDX-License-Identifier: Apache-2.0
// The camera list as a Qt item model: a copy of what the view shows, brought up to date with the
// list by PlanListSync, so that the view hears only of the rows that came, went, moved or
// changed. The view reads the copy alone, never the list, which may have moved on meanwhile.
#pragma once

#include <QAbstractTableModel>
#include <QFontMetrics>
#include <QIcon>
#include <QStringList>
#include <QVariant>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/device_list.h"
#include "discovery/list_sync.h"

namespace camlift::gui {

// One row as drawn: a text per column, and the look of the state cell.
struct TRowCells {
  std::array<QString, kAllListColumns> text;
  QIcon state_icon;
  QVariant state_colour;
  QString state_spoken;  // for a screen reader ("checking..." for the ellipsis)
};

class TDeviceListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  using TPainter = std::function<TRowCells(const TDevInfo&)>;

  TDeviceListModel(const TDeviceList& list, TPainter painter, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // The localisation sets the column captions through this.
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role) override;

  void SetHeaders(const QStringList& headers);
  // Measures the texts for the widths the columns need.
  void SetFontMetrics(const QFontMetrics& metrics, int icon_width);
  // Catches up with the list: afterwards row i of the model is row i of the list.
  void Sync();
  // Every row drawn anew (the language or the check's waiting state changed).
  void RedrawAll();
  // The width each column needs for its widest text (header included). It only grows while rows
  // are shown (measuring every row again on each change would cost what the model saves); a list
  // that empties starts again from the headers.
  const std::array<int, kAllListColumns>& NeededWidths() const { return needed_; }
  std::size_t SyncCount() const { return syncs_; }
  // The DevID of the camera the view shows in row (empty for none): the view's rows are the
  // list's rows only until the list moves on, which it may do between two catch-ups.
  std::string IdAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size())
               ? rows_[static_cast<std::size_t>(row)].shown.id
               : std::string();
  }

 signals:
  // A column needs more room than before, or (the list emptied) less.
  void widthsChanged();

 private:
  struct TRow {
    TShownRow shown;
    TRowCells cells;
  };
  void Draw(TRow& row, const TDevInfo& entry);
  void Measure(const TRowCells& cells);
  void MeasureHeaders();

  const TDeviceList& list_;
  TPainter painter_;
  std::vector<TRow> rows_;
  QStringList headers_;
  std::optional<QFontMetrics> metrics_;
  int icon_width_ = 0;
  std::array<int, kAllListColumns> needed_{};
  std::array<int, kAllListColumns> header_widths_{};  // what the captions alone need
  bool grew_ = false;
  std::size_t syncs_ = 0;
};

}  // namespace camlift::gui
