// SPDX-License-Identifier: Apache-2.0
// camlift_bench_tool: each file step of an upgrade as a program of its own, so that
// scripts/bench.sh can time it the same way as the program it is compared with (process start
// included on both sides), and a runner that reports the peak memory of another program.
//
//   camlift_bench_tool download URL OUT
//   camlift_bench_tool upload URL FILE USER PASSWORD      (multipart POST, Basic authorisation)
//   camlift_bench_tool md5 FILE
//   camlift_bench_tool unpack ARCHIVE DEST_FOLDER
//   camlift_bench_tool peak-rss PROGRAM ARGS...            (prints "max_rss_kib N" on stderr)
//   camlift_bench_tool first-window PROGRAM ARGS...        (prints "first_window_us N": from the
//       start until the program writes "first window shown" on its standard output)
//   camlift_bench_tool first-line TEXT PROGRAM ARGS...     (prints "first_line_us N": the same
//       for another line of the program's output)
//   camlift_bench_tool idle FROM_S TO_S PROGRAM ARGS...     (prints "cpu_percent X" of one core
//       between FROM_S and TO_S seconds after the start, "system_percent X" of it in the kernel,
//       and "rss_kib_from N", "rss_kib_to N"; then ends the program)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "repository/upgrade_opt.h"
#include "repository/zip_extract.h"
#include "util/md5.h"
#include "util/multipart_upload.h"

namespace {

int Usage() {
  std::cerr << "usage: camlift_bench_tool download URL OUT | upload URL FILE USER PASSWORD |\n"
               "       md5 FILE | unpack ARCHIVE DEST | peak-rss PROGRAM ARGS... |\n"
               "       first-window PROGRAM ARGS... | first-line TEXT PROGRAM ARGS... |\n"
               "       idle FROM_S TO_S PROGRAM ARGS...\n";
  return 2;
}

// Runs the program and reports its own peak resident set, taken from wait4's rusage so that this
// runner's memory does not count.
int PeakRss(char** argv) {
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) return 1;
  std::fprintf(stderr, "max_rss_kib %ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// Time from the start of the program until it reports its first window: the time the user
// waits, without the time the program then takes to leave.
int FirstLine(const std::string& text, const char* label, char** argv) {
  int out[2];
  if (::pipe(out) != 0) return 1;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  ::close(out[1]);
  std::string seen;
  long long shown_us = -1;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    seen.append(buffer, static_cast<std::size_t>(n));
    if (shown_us < 0 && seen.find(text) != std::string::npos) {
      shown_us = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
    }
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (shown_us < 0) {
    std::fprintf(stderr, "%s never wrote \"%s\"\n", argv[0], text.c_str());
    return 1;
  }
  std::printf("%s %lld\n", label, shown_us);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// CPU time (user and system, in clock ticks) and resident set (KiB) of a running process.
struct TProcessSample {
  long long ticks = -1;
  long long system_ticks = -1;
  long long rss_kib = -1;
};

TProcessSample Sample(pid_t pid) {
  TProcessSample sample;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (std::getline(stat, line)) {
    // Fields after the command name (which may hold blanks) in parentheses: utime is the 14th
    // field of the line, stime the 15th.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; rest >> field && i <= 15; ++i) {
      if (i == 14) utime = std::stoll(field);
      if (i == 15) stime = std::stoll(field);
    }
    sample.ticks = utime + stime;
    sample.system_ticks = stime;
  }
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) sample.rss_kib = std::stoll(line.substr(6));
  }
  return sample;
}

// What a program costs while it only waits: CPU and memory between two moments of its run.
int Idle(double from_s, double to_s, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  const auto at = [&](double seconds) {
    std::this_thread::sleep_until(start + std::chrono::duration<double>(seconds));
    return Sample(child);
  };
  const TProcessSample first = at(from_s);
  const TProcessSample last = at(to_s);
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (first.ticks < 0 || last.ticks < 0) {
    std::fprintf(stderr, "%s ended before %.0f s\n", argv[0], to_s);
    return 1;
  }
  const double tick_s = 1.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
  const double cpu_s = static_cast<double>(last.ticks - first.ticks) * tick_s;
  const double system_s = static_cast<double>(last.system_ticks - first.system_ticks) * tick_s;
  std::printf("cpu_percent %.2f\nsystem_percent %.2f\nrss_kib_from %lld\nrss_kib_to %lld\n",
              100.0 * cpu_s / (to_s - from_s), 100.0 * system_s / (to_s - from_s), first.rss_kib,
              last.rss_kib);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  using camlift::TUpgradeOpt;
  if (command == "download" && argc == 4) {
    return TUpgradeOpt::DownloadFile(argv[2], argv[3]) ? 0 : 1;
  }
  if (command == "upload" && argc == 6) {
    camlift::TMultipartRequest request;
    request.url = argv[2];
    request.file_path = argv[3];
    request.part_content_type = "application/octet-stream";
    request.basic_auth = true;
    request.user = argv[4];
    request.password = argv[5];
    request.read_timeout_ms = 30000;
    const camlift::TPostResult result = camlift::PostMultipartFile(request);
    if (!result.ok) std::cerr << "upload failed: " << result.error << "\n";
    return result.ok ? 0 : 1;
  }
  if (command == "md5" && argc == 3) {
    const auto digest = camlift::FileMd5Hex(argv[2]);
    if (!digest) return 1;
    std::cout << *digest << "  " << argv[2] << "\n";
    return 0;
  }
  if (command == "unpack" && argc == 4) {
    std::string error;
    if (!camlift::ExtractZipSafely(argv[2], argv[3], error)) {
      std::cerr << "unpack failed: " << error << "\n";
      return 1;
    }
    return 0;
  }
  if (command == "peak-rss" && argc >= 3) return PeakRss(argv + 2);
  if (command == "first-window" && argc >= 3) {
    return FirstLine("first window shown", "first_window_us", argv + 2);
  }
  if (command == "first-line" && argc >= 4) return FirstLine(argv[2], "first_line_us", argv + 3);
  if (command == "idle" && argc >= 5) return Idle(std::stod(argv[2]), std::stod(argv[3]), argv + 4);
  return Usage();
}
