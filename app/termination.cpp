// SPDX-License-Identifier: Apache-2.0
#include "termination.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "main_window.h"

namespace camlift::gui {
namespace {

int g_wake_write = -1;

// Only a write to a pipe: nothing else is safe in a handler.
void OnTerminate(int) {
  const int saved = errno;
  const char byte = 't';
  [[maybe_unused]] const ssize_t n = ::write(g_wake_write, &byte, 1);
  errno = saved;
}

}  // namespace

bool EndWindowOnTermination(TfrmCamlift& window) {
  int fds[2];
  if (g_wake_write >= 0) return true;
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  g_wake_write = fds[1];
  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, fd = fds[0]] {
    char bytes[16];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
    window.Terminate();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  ::sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  return true;
}

}  // namespace camlift::gui
