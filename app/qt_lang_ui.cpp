// SPDX-License-Identifier: Apache-2.0
#include "qt_lang_ui.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "standard_texts.h"

namespace camlift::gui {

bool TQtLangUi::NonInteractive() {
  const char* value = std::getenv("CAMLIFT_NONINTERACTIVE");
  return value && std::strcmp(value, "1") == 0;
}

bool TQtLangUi::UseQtTranslations(const std::string& code) {
  // Owned by the application object, so that it goes with it.
  static QPointer<QTranslator> installed;
  static std::string installed_code = "en";
  if (code == installed_code) return true;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    installed->deleteLater();
  }
  installed_code = code;
  const char* locale = code == "cn" ? "zh_CN" : (code == "b5" ? "zh_TW" : nullptr);
  if (!locale || !QCoreApplication::instance()) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_") + QString::fromLatin1(locale),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;  // not installed: Qt's texts stay English
  }
  translator->setParent(QCoreApplication::instance());
  QCoreApplication::installTranslator(translator.get());
  installed = translator.release();
  return true;
}

int TQtLangUi::MessageBox(const std::string& text, const std::string& caption, int flags) {
  // A box belongs to the UI thread: a worker hands it over and waits for the answer. The hand-off
  // goes to the parent window, whose pending calls the UI thread serves also while it waits for
  // a worker (TQtDispatcher::ProcessPending).
  QObject* context = parent_ ? static_cast<QObject*>(parent_) : QCoreApplication::instance();
  if (context && QThread::currentThread() != context->thread()) {
    int answer = 0;
    QMetaObject::invokeMethod(
        context, [&] { answer = ShowBox(text, caption, flags); }, Qt::BlockingQueuedConnection);
    return answer;
  }
  return ShowBox(text, caption, flags);
}

int TQtLangUi::ShowBox(const std::string& text, const std::string& caption, int flags) {
  const bool question = (flags & 0x0F) == kMbYesNo;
  if (NonInteractive()) {
    std::fprintf(stderr, "camlift-message: %s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return question ? kIdNo : kIdOk;
  }
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(QString::fromStdString(text));
  switch (flags & 0xF0) {
    case kMbIconQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case kMbIconWarning:
      box.setIcon(QMessageBox::Warning);
      break;
    case kMbIconInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  if (question) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    NameStandardButtons(box);
    return box.exec() == QMessageBox::Yes ? kIdYes : kIdNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  NameStandardButtons(box);
  box.exec();
  return kIdOk;
}

}  // namespace camlift::gui
