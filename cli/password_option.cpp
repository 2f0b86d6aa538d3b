// SPDX-License-Identifier: Apache-2.0
#include "password_option.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/timing.h"

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

class TFdCloser {
 public:
  explicit TFdCloser(int fd) : fd_(fd) {}
  ~TFdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFdCloser(const TFdCloser&) = delete;
  TFdCloser& operator=(const TFdCloser&) = delete;

 private:
  int fd_;
};

}  // namespace

std::string ReadPasswordFile(const std::string& file) {
  const auto refuse = [&](const std::string& why) {
    return CLI::ValidationError("--password-file", file + ": " + why);
  };
  // Opened without waiting: a named pipe nobody writes to would block the open itself.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw refuse(std::string("cannot read it (") + std::strerror(errno) + ")");
  const TFdCloser close_fd(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) throw refuse("cannot read it");
  const bool pipe = S_ISFIFO(info.st_mode);
  // A device (/dev/zero, a terminal), a folder or a socket holds no password file.
  if (!S_ISREG(info.st_mode) && !pipe) throw refuse("not a regular file or a pipe");
  // The first line only, and never more than a password can be. A pipe (such as <(echo ...))
  // must bring its line, or its end, within a short wait.
  const auto limit = std::chrono::steady_clock::now() + Duration(Wait::PasswordPipeWait);
  std::string text;
  std::array<char, 512> chunk{};
  while (text.size() < kMaxPasswordFileLine && text.find('\n') == std::string::npos) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n > 0) {
      text.append(chunk.data(), static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw refuse("cannot read it");
    // The end of a file; of a pipe only once something came (a named pipe reads as ended while
    // its writer has not opened it yet).
    if (n == 0 && (!pipe || !text.empty())) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        limit - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      throw refuse("nothing came from the pipe in time");
    }
    // Its writer came and went without a byte.
    if (!(p.revents & POLLIN)) break;
  }
  if (pipe && text.empty()) throw refuse("the pipe brought no password");
  return text.substr(0, std::min(text.size(), kMaxPasswordFileLine));
}

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
    return FirstLine(ReadPasswordFile(option.file));
  }
  const char* env = std::getenv("CAMLIFT_PASSWORD");
  return env ? env : "";
}

}  // namespace camlift::cli
