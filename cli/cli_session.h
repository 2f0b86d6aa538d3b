// SPDX-License-Identifier: Apache-2.0
// What every command-line run that talks to a camera needs first: the language files unpacked
// and a language chosen (--lang, else the options file, else English). Language texts are UTF-8
// already (converted at lookup).
#pragma once

#include <memory>
#include <string>

namespace camlift {
class TfrmStrRes;
}

namespace camlift::cli {

class TCliSession {
 public:
  explicit TCliSession(const std::string& lang);
  ~TCliSession();
  bool ok() const { return ok_; }

 private:
  std::unique_ptr<TfrmStrRes> store_;
  bool ok_ = false;
};

// The log line for a text (UTF-8), as the window writes it.
std::string LogLineForConsole(const std::string& text);

}  // namespace camlift::cli
