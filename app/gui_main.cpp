// SPDX-License-Identifier: Apache-2.0
// The desktop window: started when camlift runs without a subcommand.
#include "gui_main.h"

#include <QApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "i18n/str_resource.h"
#include "main_window.h"
#include "qt_lang_ui.h"
#include "select_dialog.h"
#include "termination.h"

namespace {

void SayNoDisplay(const char* detail) {
  std::fprintf(stderr,
               "camlift: no display found (%s), so the window cannot open.\n"
               "The command line works without one: see camlift --help.\n",
               detail);
  std::fflush(stderr);
}

// Qt ends the program (abort, core file) when its platform cannot start: say why instead.
void PlatformStartHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    return;
  }
  SayNoDisplay(message.simplified().left(200).toLocal8Bit().constData());
  std::_Exit(kExitNoDisplay);
}

bool DisplayNamed() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;  // chosen by the caller (offscreen, vnc, ...)
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int RunCamliftGui(int argc, char** argv) {
  if (!DisplayNamed()) {
    SayNoDisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
    return kExitNoDisplay;
  }
  const QtMessageHandler previous = qInstallMessageHandler(PlatformStartHandler);
  QApplication app(argc, argv);
  qInstallMessageHandler(previous);
  // Desktops match the window to the installed menu entry and its icon by this name.
  QGuiApplication::setDesktopFileName(QStringLiteral(CAMLIFT_APP_ID));
  std::setlocale(LC_TIME, "");
  std::setlocale(LC_NUMERIC, "C");
  // The language files first: the window's texts, the caption the single-instance guard looks
  // for and every message come from them.
  camlift::TfrmStrRes store;
  camlift::gui::TQtLangUi lang_ui;
  camlift::SetLangUi(&lang_ui);
  if (!store.Unpacked()) {
    // No language file to take the text from: English, and said before the window comes up.
    camlift::ShowLangMessage(camlift::LanguageFilesMissingText(store.Problem()), "Camlift",
                             camlift::kMbIconWarning);
  }
  int status = 0;
  {
    camlift::gui::TfrmCamlift window;
    lang_ui.SetParent(&window);
    if (!window.FormCreate()) {
      camlift::SetLangUi(nullptr);
      return 0;
    }
    window.show();
    camlift::gui::EndWindowOnTermination(window);
    // For start-up measurements: say so and leave once the first window is up, as the empty Qt
    // program of the benchmark does.
    if (const char* exit_after = std::getenv("CAMLIFT_EXIT_AFTER_SHOW");
        exit_after && std::strcmp(exit_after, "1") == 0) {
      QTimer::singleShot(0, &app, [] {
        std::fputs("first window shown\n", stdout);
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    // For the same measurements: say when the hidden camera list holds its first row.
    if (const char* exit_after = std::getenv("CAMLIFT_EXIT_AFTER_FIRST_ROW");
        exit_after && std::strcmp(exit_after, "1") == 0) {
      auto* watch = new QTimer(&app);
      QObject::connect(watch, &QTimer::timeout, &app, [&window, watch] {
        if (!window.SelectDialog() || window.SelectDialog()->List().Empty()) return;
        watch->stop();
        std::fputs("first camera row\n", stdout);
        std::fflush(stdout);
        QApplication::quit();
      });
      watch->start(1);
    }
    status = app.exec();
  }
  camlift::SetLangUi(nullptr);
  return status;
}
