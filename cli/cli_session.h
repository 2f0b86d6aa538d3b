// What every command-line run that talks to a camera needs first: the language files unpacked
// and a language chosen (--lang, else the options file, else English), and the conversion of
// language texts to UTF-8 for the terminal.
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

// A language text (bytes in the language's code page) as UTF-8.
std::string LangToConsole(const std::string& text);
// The log line for a language text, as the window writes it, in UTF-8.
std::string LogLineForConsole(const std::string& text);

}  // namespace camlift::cli
