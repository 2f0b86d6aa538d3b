// SPDX-License-Identifier: Apache-2.0
#include "options_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "discovery/udp_endpoint.h"
#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "localize_form.h"
#include "platform/dispatcher.h"
#include "util/option_file.h"

namespace camlift::gui {
namespace {

QString Lang(const char* id) { return QString::fromStdString(GetLangStrUtf8(id)); }

std::string Trimmed(const QString& text) { return text.trimmed().toStdString(); }

// A long address (pasted by mistake) is shown cut in the middle: a label cannot wrap a text
// without blanks, and the whole of it would stretch the dialog far past the screen.
QString ShownAddress(const std::string& url) {
  const QString text = QString::fromStdString(url);
  constexpr qsizetype kWhole = 120;
  if (text.size() <= kWhole) return text;
  return text.left(kWhole - 30) + QString::fromUtf8("\u2026") + text.right(29);
}

QString InputProblem(TRepositoryInput input) {
  return Lang(input == TRepositoryInput::Credentials ? "IDS_REPOCREDENTIALS" : "IDS_REPOINVALID");
}

}  // namespace

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent), dispatcher_(this) {
  setObjectName("frmOptions");
  setWindowTitle("Options");
  lblRepository = new QLabel("Firmware repository address:", this);
  lblRepository->setObjectName("lblRepository");
  edRepository = new QLineEdit(this);
  edRepository->setObjectName("edRepository");
  edRepository->setMinimumWidth(420);
  lblRepository->setBuddy(edRepository);
  lblRepositoryHint = new QLabel(this);
  lblRepositoryHint->setObjectName("lblRepositoryHint");
  lblRepositoryHint->setWordWrap(true);
  btnTest = new QPushButton("&Test", this);
  btnTest->setObjectName("btnTest");
  lblTestResult = new QLabel(this);
  lblTestResult->setObjectName("lblTestResult");
  lblTestResult->setWordWrap(true);
  lblTestResult->setTextFormat(Qt::PlainText);
  btnOK = new QPushButton("&OK", this);
  btnOK->setObjectName("btnOK");
  // OK takes Return from the field; Test and Cancel take it only while they have the focus.
  btnOK->setDefault(true);
  btnCancel = new QPushButton("&Cancel", this);
  btnCancel->setObjectName("btnCancel");

  auto* layout = new QVBoxLayout(this);
  auto* field = new QHBoxLayout;
  field->addWidget(lblRepository);
  field->addWidget(edRepository, 1);
  field->addWidget(btnTest);
  layout->addLayout(field);
  layout->addWidget(lblRepositoryHint);
  layout->addWidget(lblTestResult);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  connect(btnTest, &QPushButton::clicked, this, [this] { btnTestClick(); });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

TfrmOptions::~TfrmOptions() { StopTest(); }

int TfrmOptions::ShowModal() {
  LocalizeForm(this);
  loaded_ = TOptionFile().ReadString("Global", "repository", "");
  edRepository->setText(QString::fromStdString(loaded_));
  lblTestResult->clear();
  edRepository->setFocus();
  const int result = exec();
  StopTest();  // a test still running has nobody to tell its answer to
  return result;
}

void TfrmOptions::ShowResult(const QString& text, bool good) {
  lblTestResult->setStyleSheet(good ? "color: darkgreen;" : "color: red;");
  lblTestResult->setText(text);
}

void TfrmOptions::btnTestClick() {
  if (Testing()) return;
  const std::string url = Trimmed(edRepository->text());
  if (const TRepositoryInput input = CheckRepositoryInput(url); input != TRepositoryInput::Valid) {
    ShowResult(InputProblem(input), false);
    return;
  }
  ShowResult(Lang("IDS_REPOTESTING"), true);
  btnTest->setEnabled(false);
  cancel_test_ = false;
  // The fetch may take the repository time-outs: it runs on a thread of its own, and its answer
  // comes back through the UI hand-off.
  test_finished_ = false;
  const int generation = ++test_generation_;
  test_thread_ = std::thread([this, url, generation] {
    const TRepositoryCheck check = CheckRepository(url, &cancel_test_);
    if (!cancel_test_) {
      dispatcher_.Invoke([this, &check] {
        if (check.ok) {
          QString text = Lang("IDS_REPOTESTOK") + QString::number(check.sections);
          if (!check.firmware.empty()) {
            text += "\n" + QString::fromStdString(
                               LangFormat(GetLangStrUtf8("IDS_REPOTESTFILE"), {check.firmware}));
          }
          ShowResult(text, true);
        } else if (!check.firmware.empty()) {
          // The catalogue came, its firmware did not: an upgrade would fail the same way.
          ShowResult(QString::fromStdString(
                         LangFormat(GetLangStrUtf8("IDS_REPOTESTFILEFAIL"), {check.firmware}) +
                         check.firmware_problem),
                     false);
        } else {
          ShowResult(Lang("IDS_REPOTESTFAIL") + QString::fromStdString(check.error) + " (" +
                         ShownAddress(check.url) + ")",
                     false);
        }
      });
    }
    test_finished_ = true;
    // Joined on the UI thread once this thread is past its last hand-off.
    QMetaObject::invokeMethod(this, [this, generation] {
      // A test that was stopped meanwhile has been joined already; a newer one is not ours.
      if (generation != test_generation_) return;
      if (test_thread_.joinable()) test_thread_.join();
      btnTest->setEnabled(true);
      emit testFinished();
    });
  });
}

void TfrmOptions::StopTest() {
  if (!test_thread_.joinable()) return;
  cancel_test_ = true;
  // The thread may be handing its answer over right now: serve it while waiting.
  WaitServingUi(dispatcher_, [this] { return test_finished_.load(); });
  test_thread_.join();
  ++test_generation_;
  btnTest->setEnabled(true);
}

void TfrmOptions::btnOKClick() {
  const std::string url = Trimmed(edRepository->text());
  if (const TRepositoryInput input = CheckRepositoryInput(url);
      input == TRepositoryInput::Invalid || input == TRepositoryInput::Credentials) {
    ShowResult(InputProblem(input), false);
    edRepository->setFocus();
    return;
  }
  if (url != loaded_) {
    TOptionFile options;
    if (!options.WriteString("Global", "repository", url)) {
      // Nothing was saved: the dialog stays open and says what failed, and where.
      ShowResult(QString::fromStdString(LangFormat(GetLangStrUtf8("IDS_OPTIONSWRITEERR"),
                                                   {options.UserFileName(), options.WriteError()})),
                 false);
      edRepository->setFocus();
      return;
    }
  }
  accept();
}

}  // namespace camlift::gui
