// SPDX-License-Identifier: Apache-2.0
#include "support/fake_logind.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/process.h"

extern char** environ;

namespace camlift::test {
namespace {

// Debian's python, which has the dbusmock package (not one that a version manager put first).
constexpr const char* kPython = "/usr/bin/python3";

pid_t Spawn(const std::vector<std::string>& argv, const std::string& bus_address) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (!bus_address.empty()) ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_address.c_str(), 1);
  // Their chatter is no test output.
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  ::dup2(null, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

// The program's path on the PATH, or empty (RunProcess does not search the PATH).
std::string PathOf(const std::string& name) {
  const TProcessResult found = RunProcess({"/bin/sh", "-c", "command -v " + name}, {}, "", 10000);
  const std::vector<std::string> lines = Lines(found.out);
  return found.exit_code == 0 && !lines.empty() ? lines[0] : "";
}

// "string "x"" lines of dbus-send's reply, four to a lock.
std::vector<std::string> LocksOf(const std::string& reply) {
  static const std::regex kString(R"re(^\s*string "(.*)"$)re");
  std::vector<std::string> fields;
  for (const std::string& line : Lines(reply)) {
    std::smatch m;
    if (std::regex_match(line, m, kString)) fields.push_back(m[1]);
  }
  std::vector<std::string> locks;
  for (std::size_t i = 0; i + 4 <= fields.size(); i += 4) {
    locks.push_back(fields[i] + "|" + fields[i + 1] + "|" + fields[i + 2] + "|" + fields[i + 3]);
  }
  return locks;
}

}  // namespace

TFakeLogind::TFakeLogind() {
  const std::string daemon = PathOf("dbus-daemon");
  dbus_send_ = PathOf("dbus-send");
  if (daemon.empty() || dbus_send_.empty() ||
      RunProcess({kPython, "-c", "import dbusmock"}, {}, "", 30000).exit_code != 0) {
    problem_ = "needs dbus-daemon, dbus-send and python3-dbusmock";
    tools_missing_ = true;
    return;
  }
  bus_pid_ = Spawn({daemon, "--session", "--nofork", "--address=" + Address()}, "");
  logind_pid_ = Spawn({kPython, "-m", "dbusmock", "--system", "--template", "logind", "-l",
                       folder_.path() + "calls.log"},
                      Address());
  // Ready once the template answers on the bus (a busy machine may take seconds).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    const TProcessResult list =
        RunProcess({dbus_send_, "--system", "--print-reply", "--dest=org.freedesktop.login1",
                    "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors"},
                   {{"DBUS_SYSTEM_BUS_ADDRESS", Address()}}, "", 10000);
    if (list.exit_code == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  problem_ = "the fake login manager did not come up on its bus";
}

TFakeLogind::~TFakeLogind() {
  Stop(logind_pid_);
  Stop(bus_pid_);
}

std::vector<std::string> TFakeLogind::Inhibitors() const {
  const TProcessResult list =
      RunProcess({dbus_send_, "--system", "--print-reply", "--dest=org.freedesktop.login1",
                  "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors"},
                 {{"DBUS_SYSTEM_BUS_ADDRESS", Address()}}, "", 10000);
  return LocksOf(list.out);
}

std::vector<std::string> TFakeLogind::InhibitCalls() const {
  // 1700000000.123 Inhibit "sleep:idle" "Camlift" "why" "block"
  static const std::regex kCall(R"re(^\S+ Inhibit "(.*)" "(.*)" "(.*)" "(.*)"$)re");
  std::vector<std::string> calls;
  for (const std::string& line : Lines(ReadFile(folder_.path() + "calls.log"))) {
    std::smatch m;
    if (std::regex_match(line, m, kCall)) {
      calls.push_back(std::string(m[1]) + "|" + std::string(m[2]) + "|" + std::string(m[3]) + "|" +
                      std::string(m[4]));
    }
  }
  return calls;
}

}  // namespace camlift::test
