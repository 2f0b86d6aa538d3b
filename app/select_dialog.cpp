#include "select_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <thread>

#include "discovery/search_datagrams.h"
#include "i18n/str_res.h"
#include "localize_form.h"
#include "platform/timing.h"
#include "util/text_convert.h"

namespace camlift::gui {
namespace {

QString FromBytes(const std::string& text) {
  // Camera names come as the camera sends them; invalid bytes are shown replaced.
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TfrmAdv_Main::TfrmAdv_Main(QWidget* parent) : QDialog(parent), dispatcher_(this) {
  setObjectName("frmAdv_Main");
  setWindowTitle("Select IP Camera");
  setFixedSize(381, 359);

  group_ = new QGroupBox("IP Camera List", this);
  group_->setObjectName("GroupBox1");
  list_view_ = new QTreeWidget(group_);
  list_view_->setObjectName("ListView");
  list_view_->setColumnCount(4);
  list_view_->setHeaderLabels({"Type", "Name", "IP address", "Port"});
  list_view_->setRootIsDecorated(false);
  list_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_view_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_view_->header()->setSectionsClickable(true);
  list_view_->setColumnWidth(0, 50);
  list_view_->setColumnWidth(1, 100);
  list_view_->setColumnWidth(2, 120);
  QFont font = list_view_->font();
  font.setPointSize(12);
  list_view_->setFont(font);
  info_ = new QLabel("There is no camera found in the LAN.", list_view_);
  info_->setObjectName("plInfo");
  info_->setAlignment(Qt::AlignCenter);
  info_->setWordWrap(true);
  info_->setStyleSheet("QLabel { color: red; background: white; }");
  info_->setGeometry(60, 90, 229, 95);
  auto* group_layout = new QVBoxLayout(group_);
  group_layout->addWidget(list_view_);

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
  auto* bottom_layout = new QHBoxLayout(bottom);
  bottom_layout->addWidget(count_, 1);
  bottom_layout->addWidget(find_);
  bottom_layout->addWidget(ok_);
  bottom_layout->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group_, 1);
  layout->addWidget(bottom);

  connect(find_, &QPushButton::clicked, this, [this] { btnFindClick(); });
  connect(ok_, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { done(kModalCancel); });
  connect(list_view_->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { list_.ClickColumn(column); });
  connect(list_view_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (refreshing_) return;
    const auto selected = list_view_->selectedItems();
    list_.Select(selected.isEmpty() ? -1 : list_view_->indexOfTopLevelItem(selected.first()));
  });

  LocalizeForm(this);
  list_.SetOnChanged([this] { Refresh(); });
  finder_ = std::make_unique<TFind_Hisi>();
  engine_ = std::make_unique<TSearchEngine>(dispatcher_, list_, R730Client(), finder_.get());
  engine_->Create();
  UpdateCount();
  connect(&timer_, &QTimer::timeout, this, [this] { engine_->TimerTick(); });
  timer_.start(std::max(1, Millis(Wait::SearchPassInterval)));
}

TfrmAdv_Main::~TfrmAdv_Main() { Teardown(); }

void TfrmAdv_Main::Teardown() {
  if (torn_down_) return;
  torn_down_ = true;
  timer_.stop();
  engine_->Teardown();
  finder_.reset();
  list_.ClearList();
}

int TfrmAdv_Main::ShowModal() { return exec(); }

void TfrmAdv_Main::showEvent(QShowEvent* event) {
  LocalizeForm(this);
  UpdateCount();
  engine_->SearchPass(0, false);
  QDialog::showEvent(event);
}

void TfrmAdv_Main::closeEvent(QCloseEvent* event) {
  if (isClose) Teardown();
  QDialog::closeEvent(event);  // hides; the search goes on in the background
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
  if (entry->DevType == 1) {
    // The command itself waits its pause before it goes out.
    if (SendImagiaCommand(engine_->Endpoint(1), entry->DevID)) {
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
  engine_->Find();
  QApplication::restoreOverrideCursor();
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
    for (int c = 0; c < 4 && c < static_cast<int>(texts.size()); ++c) {
      item->setText(c, FromBytes(texts[static_cast<std::size_t>(c)]));
    }
  }
  list_view_->clearSelection();
  if (list_.Selected() >= 0) {
    if (QTreeWidgetItem* item = list_view_->topLevelItem(list_.Selected())) item->setSelected(true);
  }
  refreshing_ = false;
  UpdateCount();
}

void TfrmAdv_Main::UpdateCount() {
  count_->setText(QString::fromStdString(GetLangStrUtf8("IDS_DEVCOUNT")) +
                  QString::number(list_.Count()));
  info_->setVisible(list_.Empty());
}

}  // namespace camlift::gui
