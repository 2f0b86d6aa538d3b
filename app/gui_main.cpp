// The desktop window: started when camlift runs without a subcommand.
#include <QApplication>
#include <clocale>
#include <memory>

#include "i18n/str_resource.h"
#include "main_window.h"
#include "qt_lang_ui.h"

int RunCamliftGui(int argc, char** argv) {
  QApplication app(argc, argv);
  std::setlocale(LC_TIME, "");
  std::setlocale(LC_NUMERIC, "C");
  // The language files first: the window's texts, the caption the single-instance guard looks
  // for and every message come from them.
  camlift::TfrmStrRes store;
  camlift::gui::TQtLangUi lang_ui;
  camlift::SetLangUi(&lang_ui);
  int status = 0;
  {
    camlift::gui::TfrmCamlift window;
    lang_ui.SetParent(&window);
    if (!window.FormCreate()) {
      camlift::SetLangUi(nullptr);
      return 0;
    }
    window.show();
    status = app.exec();
  }
  camlift::SetLangUi(nullptr);
  return status;
}
