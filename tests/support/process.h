// SPDX-License-Identifier: Apache-2.0
// Runs a program to its end with its output captured: the end-to-end tests drive the real
// camlift binary this way.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace camlift::test {

struct TProcessResult {
  int exit_code = -1;  // -1 when it did not end by itself (killed at the time limit)
  std::string out;
  std::string err;
  bool timed_out = false;
};

// argv[0] is the program path. env entries are added to (or replace) the test's environment; an
// entry with an empty value removes the variable. stdin gets stdin_text and is then closed.
// started, when given, is called with the child's process id once it runs (e.g. to start a
// thread that signals it at a chosen moment).
TProcessResult RunProcess(const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env = {},
                          const std::string& stdin_text = "", int timeout_ms = 120000,
                          const std::function<void(int pid)>& started = nullptr);

// Splits text into lines (without their line ends).
std::vector<std::string> Lines(const std::string& text);

}  // namespace camlift::test
