// SPDX-License-Identifier: Apache-2.0
#include "password_option.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace camlift::cli {
namespace {

constexpr std::size_t kMaxPasswordFileLine = 4096;

// The terminal's settings before echo went off, for a signal that ends the program meanwhile.
termios g_saved_terminal{};

void RestoreTerminalAndDie(int signal_number) {
  // Only async-signal-safe calls: a Ctrl+C while the password is typed must not leave the
  // user's terminal without echo.
  ::tcsetattr(0, TCSANOW, &g_saved_terminal);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Echo goes off while the password is typed and comes back whatever way the read ends, a
// signal that ends the program included.
class TEchoOff {
 public:
  TEchoOff() {
    if (::tcgetattr(0, &saved_) != 0) return;
    g_saved_terminal = saved_;
    struct sigaction action {};
    action.sa_handler = RestoreTerminalAndDie;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      ::sigaction(kSignals[i], &action, &previous_[i]);
    }
    handlers_set_ = true;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(0, TCSAFLUSH, &quiet) == 0;
  }
  ~TEchoOff() {
    if (active_) ::tcsetattr(0, TCSAFLUSH, &saved_);
    if (!handlers_set_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
      ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

 private:
  static constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  termios saved_{};
  std::array<struct sigaction, 4> previous_{};
  bool handlers_set_ = false;
  bool active_ = false;
};

std::string ReadFromTerminalOrStdin() {
  std::string line;
  if (::isatty(0)) {
    std::cerr << "Password: " << std::flush;
    {
      TEchoOff quiet;
      std::getline(std::cin, line);
    }
    std::cerr << "\n";
    if (!std::cin && line.empty()) throw CLI::ValidationError("--password", "no password typed");
    return FirstLine(line);
  }
  if (!std::getline(std::cin, line) && line.empty()) {
    throw CLI::ValidationError("--password", "\"-\" reads the password from stdin, which is empty");
  }
  return FirstLine(line);
}

}  // namespace

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void AddPasswordOptions(CLI::App* cmd, TPasswordOption& option) {
  option.value_option = cmd->add_option(
      "--password", option.value,
      "Camera password; \"-\" reads it from the terminal without echo (or from stdin). Visible "
      "to other users in the process list: prefer --password-file or CAMLIFT_PASSWORD");
  option.file_option = cmd->add_option("--password-file", option.file,
                                       "Read the camera password from the first line of FILE");
  option.value_option->excludes(option.file_option);
}

std::string ResolvePassword(const TPasswordOption& option) {
  if (option.value_option && option.value_option->count() > 0) {
    return option.value == "-" ? ReadFromTerminalOrStdin() : option.value;
  }
  if (option.file_option && option.file_option->count() > 0) {
    std::error_code ec;
    std::ifstream in(option.file, std::ios::binary);
    if (!in || std::filesystem::is_directory(option.file, ec)) {
      throw CLI::ValidationError("--password-file", "cannot read " + option.file);
    }
    // The first line only, and never more than a password can be: a device or a pipe named by
    // mistake is not read without end.
    std::string line;
    char c = 0;
    while (line.size() < kMaxPasswordFileLine && in.get(c) && c != '\n') line += c;
    if (in.bad()) throw CLI::ValidationError("--password-file", "cannot read " + option.file);
    return FirstLine(line);
  }
  const char* env = std::getenv("CAMLIFT_PASSWORD");
  return env ? env : "";
}

}  // namespace camlift::cli
