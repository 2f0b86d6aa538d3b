#include "cli_session.h"

#include <clocale>

#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "util/text_convert.h"
#include "util/log_line.h"
#include "util/option_file.h"

namespace camlift::cli {

TCliSession::TCliSession(const std::string& lang) {
  std::setlocale(LC_TIME, "");
  store_ = std::make_unique<TfrmStrRes>();
  std::string code = lang;
  if (code.empty()) code = TOptionFile().ReadString("Global", "lan", "");
  if (code.empty()) code = "en";
  SetLanguage(code);
  ok_ = true;
}

TCliSession::~TCliSession() = default;

std::string LangToConsole(const std::string& text) { return LangToUtf8(text, CurrentLanguage()); }

std::string LogLineForConsole(const std::string& text) {
  return FormatLogLine(LangToConsole(text));
}

}  // namespace camlift::cli
