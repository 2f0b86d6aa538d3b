// SPDX-License-Identifier: Apache-2.0
#include "cli_session.h"

#include <clocale>
#include <iostream>

#include "i18n/language_list.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "util/log_line.h"
#include "util/option_file.h"
#include "util/text_convert.h"

namespace camlift::cli {

TCliSession::TCliSession(const std::string& lang) {
  std::setlocale(LC_TIME, "");
  store_ = std::make_unique<TfrmStrRes>();
  if (!store_->Unpacked()) {
    std::cerr << "camlift: " << LanguageFilesMissingText(store_->Problem()) << std::endl;
  }
  std::string code = lang;
  if (code.empty()) {
    code = TOptionFile().ReadString("Global", "lan", "");
    if (!IsLanguageCode(code)) code = "en";
  }
  SetLanguage(IsLanguageCode(code) ? code : "en");
  ok_ = true;
}

TCliSession::~TCliSession() = default;

std::string LogLineForConsole(const std::string& text) { return FormatLogLine(text); }

}  // namespace camlift::cli
