// SPDX-License-Identifier: Apache-2.0
#include "sim_detach.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace camlift::sim {

void DetachUntilReady() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("--detach: no pipe");
  std::cout.flush();
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("--detach: cannot start a process");
  if (child > 0) {
    ::close(fds[1]);
    std::string seen;
    char buffer[512];
    for (;;) {
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::fwrite(buffer, 1, static_cast<std::size_t>(n), stdout);
      seen.append(buffer, static_cast<std::size_t>(n));
    }
    std::fflush(stdout);
    if (seen.find("camlift-sim: ready") != std::string::npos) ::_exit(0);
    // The pipe closed without the ready line: the simulator has ended (its reason, if it could
    // give one, is on stderr). Collect it and say so, also for a crash that printed nothing.
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::fputs("camlift-sim: the simulator ended before it was ready\n", stderr);
    ::_exit(1);
  }
  ::close(fds[0]);
  ::setsid();  // no terminal: Ctrl+C in the shell and its hang-up leave the simulator running
  ::dup2(fds[1], STDOUT_FILENO);
  ::close(fds[1]);
  const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDIN_FILENO);
    ::close(null);
  }
}

void ReleaseParent() {
  std::cout.flush();
  std::cerr.flush();
  // stderr too: a caller that reads it (out=$(camlift-sim ... --detach 2>&1)) would otherwise
  // wait for the simulator to end.
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
}

}  // namespace camlift::sim
