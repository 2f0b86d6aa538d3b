// SPDX-License-Identifier: Apache-2.0
#include "select_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
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
#include <QTreeView>
#include <QVBoxLayout>
#include <thread>

#include "device_list_model.h"
#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_diagnostics.h"
#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "localize_form.h"
#include "network_settings_dialog.h"
#include "platform/paths.h"
#include "platform/timing.h"
#include "r730/r730_series.h"
#include "repository/repository_check.h"
#include "repository/repository_trust.h"
#include "repository/repository_url.h"
#include "standard_texts.h"
#include "upgrade/series_probe.h"
#include "upgrade/version_rule.h"
#include "util/option_file.h"
#include "util/text_convert.h"
#include "util/text_fields.h"

namespace camlift::gui {
namespace {

QString FromBytes(const std::string& text) {
  // RowTexts gives UTF-8 (names decoded there); what is left invalid is shown replaced.
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the dialog keeps its size between runs.
constexpr const char* kSizeSection = "frmAdv_Main";
constexpr QSize kStartSize(760, 440);

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
  // A person can make it as large as the site needs; it opens at the size it had last.
  setSizeGripEnabled(true);
  setMinimumSize(420, 300);
  {
    TOptionFile options;
    const int width = std::atoi(options.ReadString(kSizeSection, "Width", "0").c_str());
    const int height = std::atoi(options.ReadString(kSizeSection, "Height", "0").c_str());
    resize(width >= 420 && height >= 300 && width <= 10000 && height <= 10000 ? QSize(width, height)
                                                                              : kStartSize);
  }
  url_opener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  export_chooser_ = [this] {
    return AskSaveFileName(this, export_->text(), "cameras.csv", "CSV (*.csv);;JSON (*.json)");
  };

  group_ = new QGroupBox("IP Camera List", this);
  group_->setObjectName("GroupBox1");
  notice_ = new QLabel(group_);
  notice_->setObjectName("lblNotice");
  notice_->setWordWrap(true);
  notice_->setTextFormat(Qt::PlainText);
  notice_->setStyleSheet("QLabel { color: #a00000; }");
  notice_->setVisible(false);
  list_view_ = new QTreeView(group_);
  list_view_->setObjectName("ListView");
  model_ = new TDeviceListModel(
      list_, [this](const TDevInfo& row) { return Paint(row); }, this);
  model_->SetHeaders({"Type", "Name", "IP address", "Port", "Version", "Latest", "State"});
  list_view_->setModel(model_);
  list_view_->setRootIsDecorated(false);
  list_view_->setItemsExpandable(false);
  list_view_->setUniformRowHeights(true);  // thousands of rows: no row is measured alone
  list_view_->setAllColumnsShowFocus(true);
  list_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_view_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_view_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_view_->header()->setSectionsClickable(true);
  list_view_->header()->setSortIndicatorShown(true);
  list_view_->header()->setSortIndicator(list_.SortColumn(), Qt::AscendingOrder);
  list_view_->header()->setStretchLastSection(true);
  list_view_->header()->setSectionResizeMode(QHeaderView::Interactive);
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
  group_layout->addWidget(notice_);
  group_layout->addWidget(list_view_, 1);

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
  bottom->setMinimumHeight(52);
  count_ = new QLabel(bottom);
  count_->setObjectName("lblDevNum");
  // The count is never squeezed: a cut label read "1" with 12 cameras listed.
  count_->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
  find_ = new QPushButton("&Find", bottom);
  find_->setObjectName("btnFind");
  ok_ = new QPushButton("&OK", bottom);
  ok_->setObjectName("btnOK");
  cancel_ = new QPushButton("&Cancel", bottom);
  cancel_->setObjectName("btnCancel");
  check_ = new QPushButton("Check for &updates", bottom);
  check_->setObjectName("btnCheckUpdates");
  // OK is the default: Return on a chosen row takes it. The other buttons take Return while they
  // have the focus (as a dialog's buttons do), so Tab to Cancel or "Check for updates" and
  // Return presses that button, not OK.
  ok_->setDefault(true);
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
  net_settings_ = menu_->addAction("Network settings...");
  net_settings_->setObjectName("mnuNetSettings");
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
  connect(net_settings_, &QAction::triggered, this, [this] { OpenNetworkSettings(); });
  connect(export_, &QAction::triggered, this, [this] { ExportList(); });
  connect(check_, &QPushButton::clicked, this, [this] { CheckForUpdates(); });
  connect(check_action_, &QAction::triggered, this, [this] { CheckForUpdates(); });
  connect(&check_timer_, &QTimer::timeout, this, [this] { CollectCheckResults(); });
  connect(list_view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowListMenu(at); });
  connect(list_view_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    SyncView();
    list_.ClickColumn(column);
    SyncView();
  });
  connect(list_view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (syncing_) return;
    // The row clicked is a row of the view, which may lag behind the list (rows came, went or
    // moved since its last catch-up): the choice is the camera shown there, found in the list
    // by its DevID, never the list's row of the same number.
    const QModelIndexList rows = list_view_->selectionModel()->selectedRows();
    const std::string id = rows.isEmpty() ? std::string() : model_->IdAt(rows.first().row());
    syncing_ = true;
    list_.Select(id.empty() ? -1 : list_.RowOf(id));
    syncing_ = false;
  });
  connect(model_, &TDeviceListModel::widthsChanged, this, [this] { FitColumns(); });
  sync_timer_.setSingleShot(true);
  connect(&sync_timer_, &QTimer::timeout, this, [this] { SyncView(); });

  LocalizeForm(this);
  UpdateHeaders();
  UpdateAccessibleNames();
  model_->SetFontMetrics(list_view_->fontMetrics(),
                         list_view_->style()->pixelMetric(QStyle::PM_SmallIconSize));
  list_.SetOnChanged([this] { ListChanged(); });
  net_change_ = std::make_unique<TNetworkChange>(dispatcher_, R730Client());
  finder_ = std::make_unique<TFind_Hisi>();
  engine_ = std::make_unique<TSearchEngine>(dispatcher_, list_, R730Client(), finder_.get());
  engine_->ManualProbe().SetSeriesTeller(ProbeSeries);
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
  sync_timer_.stop();
  StopCatalogueRead();
  fleet_check_.Cancel();
  // A change still waiting for its camera's answer has nobody to tell it to.
  net_change_->Stop();
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
  UpdateHeaders();
  UpdateAccessibleNames();
  engine_->SearchPass(0, false);
  QDialog::showEvent(event);
  RedrawView();
  ShowSelection();
  UpdateCount();
}

void TfrmAdv_Main::hideEvent(QHideEvent* event) {
  // Its size is kept for the next run; written only when it changed (the write ends in an fsync).
  if (!torn_down_ && !isClose) {
    TOptionFile options;
    options.StoreString(kSizeSection, "Width", std::to_string(width()));
    options.StoreString(kSizeSection, "Height", std::to_string(height()));
  }
  QDialog::hideEvent(event);
}

void TfrmAdv_Main::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (info_panel_ && info_panel_->isVisible()) PlaceInfoPanel();
}

void TfrmAdv_Main::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // A language switch localises the form again (its caption first): the rows' own words (the
  // type of a typed-in camera, the states) and the count follow.
  if (event->type() == QEvent::WindowTitleChange && model_ && !torn_down_) {
    RedrawView();
    UpdateCount();
  }
}

void TfrmAdv_Main::UpdateHeaders() {
  QStringList headers;
  for (int c = 0; c < kAllListColumns; ++c) {
    headers << model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  model_->SetHeaders(headers);
  FitColumns();
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
  notice_->setVisible(false);
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
  SyncView();
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
  SyncView();
  const TDevInfo* entry = list_.SelectedEntry();
  isManual = entry && entry->DevType == kTypeManual;
  const TSelectionResult result = list_.Accept();
  szIP = result.szIP;
  nPort = result.nPort;
  nTYpe = result.nTYpe;
  done(result.ModalResult);
}

void TfrmAdv_Main::btnFindClick() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  notice_->setVisible(false);
  // The list is emptied and fills again; the selection comes back to the camera it was on, or
  // goes to the typed-in one once it answers. The typed-in address is asked on a worker.
  engine_->SetManualAddress(manual_edit_->text().toStdString());
  engine_->Find();
  QApplication::restoreOverrideCursor();
}

void TfrmAdv_Main::ShowListMenu(const QPoint& at) {
  SyncView();
  // A right click picks the row under the mouse first, as the menu acts on the selection.
  const QModelIndex index = list_view_->indexAt(at);
  if (index.isValid()) list_.Select(index.row());
  const bool row = list_.SelectedEntry() != nullptr;
  copy_ip_->setEnabled(row);
  open_web_->setEnabled(row && CameraWebUrl(*list_.SelectedEntry()).has_value());
  // The settings datagram names the camera by the MAC of its 8600 reply; one change at a time.
  net_settings_->setEnabled(row && CanChangeNetwork(*list_.SelectedEntry()) &&
                            !net_change_->Running());
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

std::pair<std::string, std::string> TfrmAdv_Main::Account() const {
  return account_source_ ? account_source_() : std::pair<std::string, std::string>("admin", "");
}

void TfrmAdv_Main::Log(const std::string& utf8_text) {
  // Alone (without a main window) the dialog says it above the list.
  if (log_sink_) {
    log_sink_(utf8_text);
  } else {
    ShowNotice(utf8_text);
  }
}

void TfrmAdv_Main::OpenNetworkSettings() {
  SyncView();
  const TDevInfo* entry = list_.SelectedEntry();
  if (!entry || !CanChangeNetwork(*entry) || net_change_->Running()) return;
  const auto [user, password] = Account();
  auto* dialog = new TfrmNetSettings(*entry, user, password, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog, user = user, password = password] {
    StartNetworkChange(dialog->Camera(), dialog->Wanted(), user, password);
  });
  // Opened, not run: the search and the list go on while the user types.
  dialog->open();
}

void TfrmAdv_Main::StartNetworkChange(const TDevInfo& camera, const TDevInfo& wanted,
                                      const std::string& user, const std::string& password) {
  const std::string mac = ShownText(camera.DevID);
  const std::string where = NetworkAddressText(wanted);
  const std::string problem = net_change_->Start(camera, wanted, user, password,
                                                 [this, mac, where](TSettingsOutcome outcome) {
                                                   Log(NetworkOutcomeText(outcome, mac, where));
                                                 });
  if (!problem.empty()) {
    Log(LangFormat(GetLangStrUtf8("IDS_NETNOTSENT"), {mac, GetLangStrUtf8(problem)}));
    return;
  }
  Log(LangFormat(GetLangStrUtf8("IDS_NETSENDING"), {mac, where}));
}

void TfrmAdv_Main::ListChanged() {
  // The view follows within one refresh interval: a search pass of thousands of replies costs
  // it a few catch-ups, not one per reply. A hidden dialog catches up when it is shown.
  if (!isVisible() || sync_timer_.isActive()) return;
  sync_timer_.start(std::max(1, Millis(Wait::ListViewRefresh)));
}

void TfrmAdv_Main::SyncView() {
  if (torn_down_ || syncing_) return;
  sync_timer_.stop();
  syncing_ = true;
  model_->Sync();
  syncing_ = false;
  ShowSelection();
  UpdateCount();
}

void TfrmAdv_Main::RedrawView() {
  if (torn_down_ || syncing_) return;
  sync_timer_.stop();
  syncing_ = true;
  model_->RedrawAll();
  syncing_ = false;
  ShowSelection();
}

void TfrmAdv_Main::ShowSelection() {
  syncing_ = true;
  QItemSelectionModel* selection = list_view_->selectionModel();
  const int row = list_.Selected();
  if (row < 0 || row >= model_->rowCount()) {
    selection->clearSelection();
  } else if (!selection->isRowSelected(row, {}) || selection->currentIndex().row() != row) {
    // The current row too: a view that gets the focus with no current row makes its first row
    // current and selected, which would move the choice to another camera.
    selection->setCurrentIndex(model_->index(row, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  syncing_ = false;
}

void TfrmAdv_Main::FitColumns() {
  // Each column as wide as its widest text. A column the user resized only ever grows; one sized
  // here also narrows again when its widest text went (the list emptied).
  QHeaderView* header = list_view_->header();
  const auto& needed = model_->NeededWidths();
  for (int c = 0; c + 1 < kAllListColumns; ++c) {
    const auto i = static_cast<std::size_t>(c);
    if (needed[i] <= 0) continue;  // nothing measured yet
    const bool ours = fitted_widths_[i] == 0 || header->sectionSize(c) == fitted_widths_[i];
    if (header->sectionSize(c) < needed[i] || (ours && header->sectionSize(c) != needed[i])) {
      header->resizeSection(c, needed[i]);
    }
    if (ours) fitted_widths_[i] = header->sectionSize(c);
  }
}

TRowCells TfrmAdv_Main::Paint(const TDevInfo& row) const {
  TRowCells cells;
  const auto texts = RowTexts(row);
  for (int c = 0; c < kListColumns && c < static_cast<int>(texts.size()); ++c) {
    cells.text[static_cast<std::size_t>(c)] = FromBytes(texts[static_cast<std::size_t>(c)]);
  }
  const TCheckMark* mark = list_.CheckMarkOf(row);
  if (!mark) {
    // Not checked, or still being read: the ellipsis for the eye, words for a screen reader.
    if (check_waiting_) {
      cells.text[kColumnState] = QStringLiteral("\u2026");
      cells.state_spoken = QString::fromStdString(LangTextOr("IDS_STATECHECKING", "checking..."));
    }
    return cells;
  }
  const TStateLook* look = nullptr;
  for (const TStateLook& l : kStateLooks) {
    if (static_cast<int>(l.state) == mark->state) look = &l;
  }
  cells.text[kColumnLatest] = FromBytes(ShownText(mark->latest));
  if (!look) return cells;
  std::string state_text = LangTextOr(look->key, look->english);
  // Why the account was not sent, after the state's words.
  if (!mark->note.empty()) state_text += " " + ShownText(mark->note);
  const QString text = QString::fromStdString(state_text);
  cells.text[kColumnState] = text;
  cells.state_icon = style()->standardIcon(look->icon);
  cells.state_colour = QColor(look->colour);
  cells.state_spoken = text;
  return cells;
}

void TfrmAdv_Main::ShowNotice(const std::string& utf8_text) {
  notice_->setText(FromBytes(utf8_text));
  notice_->setVisible(!utf8_text.empty());
}

bool TfrmAdv_Main::CheckForUpdates() {
  if (CheckingForUpdates() || list_.Empty()) return false;
  SyncView();
  const auto [user, password] = Account();
  // The account goes only where core's account rule lets it go; the other rows are read
  // without it and their state says why.
  std::vector<TCameraEntry> cameras =
      CamerasOfSearch(list_.Rows(), user, password, ListIPv4Interfaces());
  TStatusOptions options;
  options.repository_url = ResolveRepositoryUrl("");
  options.trust = ResolveRepositoryTrust("");
  options.work_folder = WorkFolder();
  list_.ClearCheckMarks();
  notice_->setVisible(false);
  // Without a repository no camera can be compared with anything: said once, here, instead of
  // "no firmware" on every row.
  if (options.repository_url.empty()) {
    ShowNotice(LangTextOr("IDS_NOREPOSITORYGUI", "No firmware repository address is configured."));
    return false;
  }
  // The catalogue first, once: a refused or silent repository is said as such. The cameras are
  // asked once it answered.
  StopCatalogueRead();
  catalogue_read_ = std::make_shared<TCatalogueRead>();
  pending_cameras_ = std::move(cameras);
  pending_options_ = options;
  catalogue_thread_ = std::thread([read = catalogue_read_, url = options.repository_url] {
    const TRepositoryCheck check = CheckRepository(url, &read->cancel);
    std::lock_guard lock(read->mutex);
    read->ok = check.ok;
    if (!check.ok) read->problem = check.url + ": " + check.error;
    read->done = true;
  });
  check_waiting_ = true;
  check_->setEnabled(false);
  check_timer_.start(100);
  RedrawView();
  return true;
}

void TfrmAdv_Main::StopCatalogueRead() {
  if (!catalogue_thread_.joinable()) return;
  catalogue_read_->cancel = true;
  catalogue_thread_.join();
}

void TfrmAdv_Main::CollectCheckResults() {
  if (catalogue_thread_.joinable()) {
    bool done = false;
    bool ok = false;
    std::string problem;
    {
      std::lock_guard lock(catalogue_read_->mutex);
      done = catalogue_read_->done;
      ok = catalogue_read_->ok;
      problem = catalogue_read_->problem;
    }
    if (!done) return;
    catalogue_thread_.join();
    if (!ok || !fleet_check_.Start(std::move(pending_cameras_), pending_options_)) {
      if (!ok) {
        ShowNotice(LangTextOr("IDS_CHECKNOCATALOGUE",
                              "The firmware catalogue could not be read, so no camera can be "
                              "compared with it:") +
                   " " + ToValidUtf8(problem));
      }
      check_timer_.stop();
      check_waiting_ = false;
      check_->setEnabled(true);
      RedrawView();
      return;
    }
  }
  std::vector<TCameraStatus> rows = fleet_check_.TakeResults();
  const bool finished = !fleet_check_.Running();
  if (finished) {
    // Rows that ended between the two calls.
    for (TCameraStatus& row : fleet_check_.TakeResults()) rows.push_back(std::move(row));
    check_timer_.stop();
    check_->setEnabled(true);
  }
  if (rows.empty() && !finished) return;
  std::vector<std::pair<std::string, TCheckMark>> marks;
  for (const TCameraStatus& row : rows) {
    if (!row.repository_problem.empty()) {
      // The catalogue of this camera's series was refused: the reason once, above the list.
      if (!notice_->isVisible()) ShowNotice(ToValidUtf8(row.repository_problem));
      continue;
    }
    TCheckMark mark;
    mark.current = row.current;
    mark.latest = row.latest;
    mark.state = static_cast<int>(row.state);
    if (row.state == TCameraState::AccountNotSent) mark.note = row.camera.account_withheld;
    marks.emplace_back(TDeviceList::CameraKey(row.camera.ip, row.camera.port), std::move(mark));
  }
  list_.SetCheckMarks(marks);
  if (finished) {
    check_waiting_ = false;
    RedrawView();
  }
}

void TfrmAdv_Main::ConfirmUpgrade(const std::string& ip, int port, const std::string& version) {
  if (version.empty()) return;
  const std::string key = TDeviceList::CameraKey(ip, port);
  std::optional<TCheckMark> mark;
  TSeries series = TSeries::None;
  for (const TDevInfo& row : list_.Rows()) {
    if (TDeviceList::CameraKey(row.IPAddr, row.DevPort) != key) continue;
    if (const TCheckMark* known = list_.CheckMarkOf(row)) mark = *known;
    series = SeriesOfDevice(row);
    break;
  }
  list_.ConfirmVersion(ip, port, version);
  // The catalogue version the last check found, compared as an upgrade compares it: the camera
  // runs it now, or still an older or a newer one.
  if (mark && !mark->latest.empty() && mark->state >= 0) {
    TCheckMark now = *mark;
    now.current = version;
    const TVersionRule rule = series == TSeries::K ? TVersionRule::ThirdPart : TVersionRule::Whole;
    switch (CompareCatalogueVersion(version, mark->latest, rule)) {
      case TVersionStep::Same:
        now.state = static_cast<int>(TCameraState::UpToDate);
        break;
      case TVersionStep::Downgrade:
        now.state = static_cast<int>(TCameraState::NewerThanRepository);
        break;
      case TVersionStep::Upgrade:
        now.state = static_cast<int>(TCameraState::UpdateAvailable);
        break;
    }
    now.note.clear();
    list_.SetCheckMarks({{key, now}});
  }
}

void TfrmAdv_Main::UpdateCount() {
  QString count =
      QString::fromStdString(GetLangStrUtf8("IDS_DEVCOUNT")) + QString::number(list_.Count());
  // A full list says so, and how many it refused: the cameras beyond it are not shown.
  if (engine_ && list_.RefusedRows() > 0) {
    const std::string full = ListFullLine(engine_->Diagnostics());
    if (!full.empty()) count += "  " + QString::fromStdString(full);
  }
  if (engine_ && engine_->DroppedReplies() > 0) {
    count += "  " + QString::fromStdString(DroppedLine(engine_->Diagnostics()));
  }
  count_->setText(count);
  info_panel_->setVisible(list_.Empty());
  if (engine_ && !engine_->UnansweredAddress().empty()) {
    const std::string text =
        LangTextOr("IDS_MANUALNOANSWER", "No answer from the address typed in:") + " " +
        ToValidUtf8(engine_->UnansweredAddress());
    if (notice_->text() != FromBytes(text) || !notice_->isVisible()) ShowNotice(text);
  }
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
