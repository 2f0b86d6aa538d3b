// SPDX-License-Identifier: Apache-2.0
#include "select_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <thread>

#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_diagnostics.h"
#include "i18n/str_res.h"
#include "localize_form.h"
#include "platform/paths.h"
#include "platform/timing.h"
#include "r730/r730_series.h"
#include "upgrade/repository_trust.h"
#include "upgrade/repository_url.h"
#include "util/text_convert.h"
#include "util/text_fields.h"

namespace camlift::gui {
namespace {

QString FromBytes(const std::string& text) {
  // RowTexts gives UTF-8 (names decoded there); what is left invalid is shown replaced.
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string CameraKey(const std::string& ip, int port) { return ip + ":" + std::to_string(port); }

// The language key, colour and icon of a state: the colour and icon for the eye, the text for
// everyone, screen readers included.
struct TStateLook {
  TCameraState state;
  const char* key;
  const char* english;
  Qt::GlobalColor colour;
  QStyle::StandardPixmap icon;
};

constexpr TStateLook kStateLooks[] = {
    {TCameraState::UpToDate, "IDS_STATEUPTODATE", "up to date", Qt::darkGreen,
     QStyle::SP_DialogApplyButton},
    {TCameraState::UpdateAvailable, "IDS_STATEUPDATE", "update available", Qt::blue,
     QStyle::SP_ArrowUp},
    {TCameraState::NewerThanRepository, "IDS_STATENEWER", "newer than the repository",
     Qt::darkMagenta, QStyle::SP_ArrowDown},
    {TCameraState::Excluded, "IDS_STATEEXCLUDED", "excluded", Qt::darkYellow,
     QStyle::SP_MessageBoxWarning},
    {TCameraState::NoFirmware, "IDS_STATENOFIRMWARE", "no firmware", Qt::darkGray,
     QStyle::SP_MessageBoxInformation},
    {TCameraState::AccountRefused, "IDS_STATEREFUSED", "account refused", Qt::red,
     QStyle::SP_MessageBoxCritical},
    {TCameraState::Unreachable, "IDS_STATEUNREACHABLE", "unreachable", Qt::red,
     QStyle::SP_MessageBoxCritical},
    {TCameraState::UnknownSeries, "IDS_STATEUNKNOWN", "unknown series", Qt::darkGray,
     QStyle::SP_MessageBoxQuestion},
    {TCameraState::AccountNotSent, "IDS_STATENOTSENT", "account not sent:", Qt::darkYellow,
     QStyle::SP_MessageBoxWarning},
};

}  // namespace

TfrmAdv_Main::TfrmAdv_Main(QWidget* parent) : QDialog(parent), dispatcher_(this) {
  setObjectName("frmAdv_Main");
  setWindowTitle("Select IP Camera");
  // Wider and taller than the list of four columns needed: the Version column and the address
  // field.
  setFixedSize(461, 389);
  url_opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  export_chooser_ = [this] {
    return QFileDialog::getSaveFileName(this, export_->text(), "cameras.csv",
                                        "CSV (*.csv);;JSON (*.json)");
  };

  group_ = new QGroupBox("IP Camera List", this);
  group_->setObjectName("GroupBox1");
  list_view_ = new QTreeWidget(group_);
  list_view_->setObjectName("ListView");
  list_view_->setColumnCount(kListColumns + 2);
  list_view_->setHeaderLabels({"Type", "Name", "IP address", "Port", "Version", "Latest", "State"});
  list_view_->setRootIsDecorated(false);
  list_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_view_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_view_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_view_->header()->setSectionsClickable(true);
  list_view_->setColumnWidth(kColumnType, 50);
  list_view_->setColumnWidth(kColumnName, 100);
  list_view_->setColumnWidth(kColumnIP, 120);
  list_view_->setColumnWidth(kColumnPort, 50);
  QFont font = list_view_->font();
  font.setPointSize(12);
  list_view_->setFont(font);

  // The empty-list panel: the "no camera" text, and under it where the search looked.
  info_panel_ = new QFrame(list_view_);
  info_panel_->setStyleSheet("QFrame { background: white; } QLabel { color: red; }");
  info_ = new QLabel("There is no camera found in the LAN.", info_panel_);
  info_->setObjectName("plInfo");
  info_->setAlignment(Qt::AlignCenter);
  info_->setWordWrap(true);
  info_details_ = new QLabel(info_panel_);
  info_details_->setTextFormat(Qt::PlainText);
  info_details_->setWordWrap(true);
  QFont small = info_details_->font();
  small.setPointSize(8);
  info_details_->setFont(small);
  auto* info_layout = new QVBoxLayout(info_panel_);
  info_layout->addWidget(info_);
  info_layout->addWidget(info_details_);
  auto* group_layout = new QVBoxLayout(group_);
  group_layout->addWidget(list_view_);

  auto* manual = new QWidget(this);
  manual_label_ = new QLabel("Address:", manual);
  manual_label_->setObjectName("lblManualIP");
  manual_edit_ = new QLineEdit(manual);
  manual_edit_->setObjectName("edtManualIP");
  manual_edit_->setPlaceholderText("192.168.1.20:80");
  manual_label_->setBuddy(manual_edit_);
  // Return in the field asks that address, and only that: not the dialog's default button.
  manual_edit_->installEventFilter(this);
  auto* manual_layout = new QHBoxLayout(manual);
  manual_layout->setContentsMargins(0, 0, 0, 0);
  manual_layout->addWidget(manual_label_);
  manual_layout->addWidget(manual_edit_, 1);

  auto* bottom = new QWidget(this);
  bottom->setFixedHeight(52);
  count_ = new QLabel(bottom);
  count_->setObjectName("lblDevNum");
  find_ = new QPushButton("&Find", bottom);
  find_->setObjectName("btnFind");
  ok_ = new QPushButton("&OK", bottom);
  ok_->setObjectName("btnOK");
  cancel_ = new QPushButton("&Cancel", bottom);
  cancel_->setObjectName("btnCancel");
  check_ = new QPushButton("Check for &updates", bottom);
  check_->setObjectName("btnCheckUpdates");
  // OK is the default: Return on a chosen row takes it. Find and Cancel take Return only while
  // they have the focus (as a dialog's buttons do), so Tab to Cancel and Return cancels.
  ok_->setDefault(true);
  check_->setAutoDefault(false);
  auto* bottom_layout = new QHBoxLayout(bottom);
  bottom_layout->addWidget(count_, 1);
  bottom_layout->addWidget(check_);
  bottom_layout->addWidget(find_);
  bottom_layout->addWidget(ok_);
  bottom_layout->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group_, 1);
  layout->addWidget(manual);
  layout->addWidget(bottom);

  menu_ = new QMenu(this);
  menu_->setObjectName("pmList");
  copy_ip_ = menu_->addAction("Copy IP address");
  copy_ip_->setObjectName("mnuCopyIP");
  open_web_ = menu_->addAction("Open the camera's web page");
  open_web_->setObjectName("mnuOpenWeb");
  menu_->addSeparator();
  export_ = menu_->addAction("Export the list...");
  export_->setObjectName("mnuExport");
  check_action_ = menu_->addAction("Check for updates");
  check_action_->setObjectName("mnuCheckUpdates");

  connect(find_, &QPushButton::clicked, this, [this] { btnFindClick(); });
  connect(ok_, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { done(kModalCancel); });
  connect(copy_ip_, &QAction::triggered, this, [this] { CopySelectedIP(); });
  connect(open_web_, &QAction::triggered, this, [this] { OpenSelectedWebPage(); });
  connect(export_, &QAction::triggered, this, [this] { ExportList(); });
  connect(check_, &QPushButton::clicked, this, [this] { CheckForUpdates(); });
  connect(check_action_, &QAction::triggered, this, [this] { CheckForUpdates(); });
  connect(&check_timer_, &QTimer::timeout, this, [this] { CollectCheckResults(); });
  connect(list_view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowListMenu(at); });
  connect(list_view_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { list_.ClickColumn(column); });
  connect(list_view_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (refreshing_) return;
    const auto selected = list_view_->selectedItems();
    list_.Select(selected.isEmpty() ? -1 : list_view_->indexOfTopLevelItem(selected.first()));
  });

  LocalizeForm(this);
  UpdateAccessibleNames();
  list_.SetOnChanged([this] { Refresh(); });
  finder_ = std::make_unique<TFind_Hisi>();
  engine_ = std::make_unique<TSearchEngine>(dispatcher_, list_, R730Client(), finder_.get());
  engine_->Create();
  UpdateCount();
  connect(&timer_, &QTimer::timeout, this, [this] { engine_->TimerTick(); });
  timer_.start(std::max(1, Millis(Wait::SearchPassInterval)));
  // The first pass goes out as soon as the event loop runs, behind the first paint, so that a
  // user who opens the list at once finds the cameras in it; the timer's rhythm follows.
  QTimer::singleShot(0, this, [this] {
    if (!torn_down_) engine_->TimerTick();
  });
}

TfrmAdv_Main::~TfrmAdv_Main() { Teardown(); }

void TfrmAdv_Main::Teardown() {
  if (torn_down_) return;
  torn_down_ = true;
  timer_.stop();
  check_timer_.stop();
  fleet_check_.Cancel();
  engine_->Teardown();
  finder_.reset();
  list_.ClearList();
}

int TfrmAdv_Main::ShowModal() { return exec(); }

void TfrmAdv_Main::UpdateAccessibleNames() {
  // The buttons are named by their texts and the address field by its label; the list by the
  // box around it.
  list_view_->setAccessibleName(group_->title());
}

void TfrmAdv_Main::showEvent(QShowEvent* event) {
  LocalizeForm(this);
  UpdateAccessibleNames();
  engine_->SearchPass(0, false);
  QDialog::showEvent(event);
  UpdateCount();
}

void TfrmAdv_Main::closeEvent(QCloseEvent* event) {
  if (isClose) Teardown();
  QDialog::closeEvent(event);  // hides; the search goes on in the background
}

void TfrmAdv_Main::reject() { done(kModalCancel); }  // Escape and the close box: Cancel

bool TfrmAdv_Main::eventFilter(QObject* watched, QEvent* event) {
  if (watched == manual_edit_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ProbeTypedAddress();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmAdv_Main::ProbeTypedAddress() {
  engine_->SetManualAddress(manual_edit_->text().toStdString());
  engine_->StartManualProbe();
}

void TfrmAdv_Main::keyPressEvent(QKeyEvent* event) {
  const auto mods = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
  if (event->key() == Qt::Key_D && (event->modifiers() & mods) == mods) {
    ServiceShortcut();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmAdv_Main::ServiceShortcut() {
  const TDevInfo* entry = list_.SelectedEntry();
  if (!entry) return;
  if (entry->DevType == kTypeS) {
    // The command itself waits its pause before it goes out.
    if (SendImagiaCommand(engine_->Endpoint(TSearchEngine::kImagiaEndpoint), entry->DevID)) {
      list_.RemoveRow(list_.Selected());
      btnFindClick();
    }
    return;
  }
  std::this_thread::sleep_for(Duration(Wait::ImagiaCommandPause));
}

void TfrmAdv_Main::btnOKClick() {
  const TSelectionResult result = list_.Accept();
  szIP = result.szIP;
  nPort = result.nPort;
  nTYpe = result.nTYpe;
  done(result.ModalResult);
}

void TfrmAdv_Main::btnFindClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The typed-in address is asked on a worker; its row comes when it answers.
  engine_->SetManualAddress(manual_edit_->text().toStdString());
  engine_->Find();
  QApplication::restoreOverrideCursor();
}

void TfrmAdv_Main::ShowListMenu(const QPoint& at) {
  // A right click picks the row under the mouse first, as the menu acts on the selection.
  if (QTreeWidgetItem* item = list_view_->itemAt(at)) {
    list_.Select(list_view_->indexOfTopLevelItem(item));
  }
  const bool row = list_.SelectedEntry() != nullptr;
  copy_ip_->setEnabled(row);
  open_web_->setEnabled(row && CameraWebUrl(*list_.SelectedEntry()).has_value());
  export_->setEnabled(!list_.Empty());
  check_action_->setEnabled(!list_.Empty() && !CheckingForUpdates());
  menu_->popup(list_view_->viewport()->mapToGlobal(at));
}

void TfrmAdv_Main::CopySelectedIP() {
  const TDevInfo* entry = list_.SelectedEntry();
  if (!entry) return;
  QGuiApplication::clipboard()->setText(FromBytes(entry->IPAddr));
}

bool TfrmAdv_Main::OpenSelectedWebPage() {
  const TDevInfo* entry = list_.SelectedEntry();
  if (!entry) return false;
  const std::optional<std::string> url = CameraWebUrl(*entry);
  if (!url) return false;
  return url_opener_(QUrl(QString::fromStdString(*url)));
}

bool TfrmAdv_Main::ExportList() {
  const QString path = export_chooser_();
  if (path.isEmpty()) return false;
  const std::string file = path.toStdString();
  if (ExportDevices(file, list_.Rows(), ExportFormatFor(file))) return true;
  ShowLangMessage(LangTextOr("IDS_EXPORTFAIL", "The list could not be written to:") + " " + file,
                  GetLangStrUtf8("IDS_ERROR"), kMbOk | kMbIconWarning);
  return false;
}

void TfrmAdv_Main::Refresh() {
  refreshing_ = true;
  const auto& rows = list_.Rows();
  while (list_view_->topLevelItemCount() > static_cast<int>(rows.size())) {
    delete list_view_->takeTopLevelItem(list_view_->topLevelItemCount() - 1);
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    QTreeWidgetItem* item = list_view_->topLevelItem(static_cast<int>(i));
    if (!item) item = new QTreeWidgetItem(list_view_);
    const auto texts = RowTexts(rows[i]);
    for (int c = 0; c < kListColumns && c < static_cast<int>(texts.size()); ++c) {
      item->setText(c, FromBytes(texts[static_cast<std::size_t>(c)]));
    }
    FillCheckColumns(item, rows[i]);
  }
  list_view_->clearSelection();
  if (list_.Selected() >= 0) {
    if (QTreeWidgetItem* item = list_view_->topLevelItem(list_.Selected())) {
      // The current item too: a view that gets the focus with no current item makes its first
      // row current and selected, which would move the choice to another camera.
      list_view_->setCurrentItem(item);
      item->setSelected(true);
    }
  }
  refreshing_ = false;
  UpdateCount();
}

bool TfrmAdv_Main::CheckForUpdates() {
  if (CheckingForUpdates() || list_.Empty()) return false;
  const auto [user, password] =
      account_source_ ? account_source_() : std::pair<std::string, std::string>("admin", "");
  // The account goes only where core's account rule lets it go; the other rows are read
  // without it and their state says why.
  std::vector<TCameraEntry> cameras =
      CamerasOfSearch(list_.Rows(), user, password, ListIPv4Interfaces());
  TStatusOptions options;
  options.repository_url = ResolveRepositoryUrl("");
  options.trust = ResolveRepositoryTrust("");
  options.work_folder = WorkFolder();
  checked_.clear();
  if (!fleet_check_.Start(std::move(cameras), options)) return false;
  check_->setEnabled(false);
  check_timer_.start(100);
  Refresh();
  return true;
}

void TfrmAdv_Main::CollectCheckResults() {
  std::vector<TCameraStatus> rows = fleet_check_.TakeResults();
  const bool finished = !fleet_check_.Running();
  if (finished) {
    // Rows that ended between the two calls.
    for (TCameraStatus& row : fleet_check_.TakeResults()) rows.push_back(std::move(row));
    check_timer_.stop();
    check_->setEnabled(true);
  }
  if (rows.empty() && !finished) return;
  for (TCameraStatus& row : rows) {
    checked_[CameraKey(row.camera.ip, row.camera.port)] = std::move(row);
  }
  Refresh();
}

void TfrmAdv_Main::FillCheckColumns(QTreeWidgetItem* item, const TDevInfo& row) const {
  const auto found = checked_.find(CameraKey(row.IPAddr, row.DevPort > 0 ? row.DevPort : 80));
  if (found == checked_.end()) {
    // Not checked, or still being read: the ellipsis for the eye, words for a screen reader.
    const bool waiting = CheckingForUpdates();
    item->setText(kColumnLatest, QString());
    item->setText(kColumnState, waiting ? QStringLiteral("\u2026") : QString());
    item->setIcon(kColumnState, QIcon());
    item->setData(
        kColumnState, Qt::AccessibleTextRole,
        waiting ? QVariant(QString::fromStdString(LangTextOr("IDS_STATECHECKING", "checking...")))
                : QVariant());
    item->setData(kColumnState, Qt::ForegroundRole, QVariant());
    return;
  }
  const TCameraStatus& status = found->second;
  const TStateLook* look = &kStateLooks[0];
  for (const TStateLook& l : kStateLooks) {
    if (l.state == status.state) look = &l;
  }
  std::string state_text = LangTextOr(look->key, look->english);
  if (status.state == TCameraState::AccountNotSent) {
    state_text += " " + status.camera.account_withheld;
  }
  const QString text = QString::fromStdString(state_text);
  item->setText(kColumnLatest, FromBytes(ShownText(status.latest)));
  item->setText(kColumnState, text);
  item->setIcon(kColumnState, style()->standardIcon(look->icon));
  item->setData(kColumnState, Qt::ForegroundRole, QColor(look->colour));
  item->setData(kColumnState, Qt::AccessibleTextRole, text);
  item->setToolTip(kColumnState, text);
}

void TfrmAdv_Main::UpdateCount() {
  QString count =
      QString::fromStdString(GetLangStrUtf8("IDS_DEVCOUNT")) + QString::number(list_.Count());
  // A full list says so, and how many it refused: the cameras beyond it are not shown.
  if (engine_ && list_.RefusedRows() > 0) {
    const std::string full = ListFullLine(engine_->Diagnostics());
    if (!full.empty()) count += "  " + QString::fromStdString(full);
  }
  count_->setText(count);
  info_panel_->setVisible(list_.Empty());
  if (list_.Empty() && engine_) {
    QStringList lines;
    for (const std::string& line : DiagnosticLines(engine_->Diagnostics())) {
      lines << QString::fromStdString(line);
    }
    info_details_->setText(lines.join('\n'));
    PlaceInfoPanel();
  }
}

void TfrmAdv_Main::PlaceInfoPanel() {
  // Over the middle of the list, as wide as it allows and as tall as the texts need.
  const QRect area = list_view_->viewport()->geometry();
  const int width = std::max(229, area.width() - 24);
  info_panel_->setFixedWidth(width);
  const int height = std::min(std::max(95, info_panel_->heightForWidth(width)), area.height());
  info_panel_->setFixedHeight(height);
  info_panel_->move(area.left() + (area.width() - width) / 2,
                    area.top() + std::max(0, (area.height() - height) / 2));
}

}  // namespace camlift::gui
