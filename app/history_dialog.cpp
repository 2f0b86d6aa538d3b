// SPDX-License-Identifier: Apache-2.0
#include "history_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "discovery/search_diagnostics.h"
#include "fleet/history.h"
#include "fleet/history_view.h"
#include "standard_texts.h"

namespace camlift::gui {
namespace {

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TfrmHistory::TfrmHistory(const std::string& path, QWidget* parent) : QDialog(parent) {
  setObjectName("frmHistory");
  setWindowTitle(Utf8(LangTextOr("IDS_HISTORYTITLE", "Upgrade history")));
  resize(820, 360);
  table_ = new QTreeWidget(this);
  table_->setObjectName("tvHistory");
  table_->setRootIsDecorated(false);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  const QStringList headers =
      Utf8(LangTextOr("IDS_HISTORYCOLUMNS", "Time|Camera|Series|Model|Before|After|Result|Reason"))
          .split('|');
  table_->setColumnCount(8);
  table_->setHeaderLabels(headers);
  // The newest part of the record only, so that a grown file never holds up the window.
  const std::vector<THistoryEntry> entries = ReadHistory(path, kHistoryWindowBytes);
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    auto* item = new QTreeWidgetItem(table_);
    // Local time, as the log beside it writes it; the result in the user's language.
    const std::string cells[] = {HistoryLocalTime(e->time),
                                 e->ip + ":" + std::to_string(e->port),
                                 e->series,
                                 e->model,
                                 e->version_before,
                                 e->version_after,
                                 HistoryResultText(e->result),
                                 e->reason};
    for (int c = 0; c < 8; ++c) item->setText(c, Utf8(cells[c]));
  }
  table_->header()->resizeSections(QHeaderView::ResizeToContents);
  auto* empty =
      new QLabel(Utf8(LangTextOr("IDS_HISTORYEMPTY", "No upgrade has been recorded yet.")), this);
  empty->setObjectName("lblHistoryEmpty");
  empty->setVisible(entries.empty());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  NameStandardButtons(*buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(empty);
  layout->addWidget(table_, 1);
  layout->addWidget(buttons);
}

}  // namespace camlift::gui
