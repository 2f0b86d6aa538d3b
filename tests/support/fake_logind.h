// SPDX-License-Identifier: Apache-2.0
// A login manager on a private bus, for the tests of the lock against sleep: a dbus-daemon of
// its own and python3-dbusmock's logind template, which grants a lock as the real one does (a
// pipe that it watches) and lists the locks still held. Point a program at it with
// DBUS_SYSTEM_BUS_ADDRESS=Address(). Both processes end with the object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace camlift::test {

class TFakeLogind {
 public:
  TFakeLogind();
  ~TFakeLogind();
  TFakeLogind(const TFakeLogind&) = delete;
  TFakeLogind& operator=(const TFakeLogind&) = delete;

  // False, with the reason, when the tools are missing or the bus did not come up.
  bool Ok() const { return problem_.empty(); }
  // dbus-daemon, dbus-send or python3-dbusmock are not installed (a test skips then).
  bool ToolsMissing() const { return tools_missing_; }
  const std::string& Problem() const { return problem_; }
  std::string Address() const { return "unix:path=" + folder_.path() + "bus"; }

  // The locks held now, each "what|who|why|mode".
  std::vector<std::string> Inhibitors() const;
  // The Inhibit calls so far, each "what|who|why|mode" (from the template's call log).
  std::vector<std::string> InhibitCalls() const;

 private:
  TTempFolder folder_;
  std::string dbus_send_;
  pid_t bus_pid_ = -1;
  pid_t logind_pid_ = -1;
  std::string problem_;
  bool tools_missing_ = false;
};

}  // namespace camlift::test
