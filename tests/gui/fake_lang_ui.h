// SPDX-License-Identifier: Apache-2.0
// The window tests' message boxes: every box is answered at once and what it said is kept.
#pragma once

#include <string>
#include <vector>

#include "i18n/str_res.h"

namespace camlift::test {

class TFakeLangUi : public ILangUi {
 public:
  int MessageBox(const std::string& text, const std::string& caption, int flags) override {
    texts.push_back(caption + ": " + text);
    return (flags & 0x0F) == kMbYesNo ? (answer_yes ? kIdYes : kIdNo) : kIdOk;
  }
  std::vector<std::string> texts;
  bool answer_yes = true;
};

}  // namespace camlift::test
