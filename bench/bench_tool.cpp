// camlift_bench_tool: each file step of an upgrade as a program of its own, so that scripts/bench.sh
// can time it the same way as the program it is compared with (process start included on both
// sides), and a runner that reports the peak memory of another program.
//
//   camlift_bench_tool download URL OUT
//   camlift_bench_tool upload URL FILE USER PASSWORD      (multipart POST, Basic authorisation)
//   camlift_bench_tool md5 FILE
//   camlift_bench_tool unpack ARCHIVE DEST_FOLDER
//   camlift_bench_tool peak-rss PROGRAM ARGS...            (prints "max_rss_kib N" on stderr)
//   camlift_bench_tool first-window PROGRAM ARGS...        (prints "first_window_us N": from the
//       start until the program writes "first window shown" on its standard output)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "upgrade/multipart_upload.h"
#include "upgrade/upgrade_opt.h"
#include "upgrade/zip_extract.h"
#include "util/md5.h"

namespace {

int Usage() {
  std::cerr << "usage: camlift_bench_tool download URL OUT | upload URL FILE USER PASSWORD |\n"
               "       md5 FILE | unpack ARCHIVE DEST | peak-rss PROGRAM ARGS... |\n"
               "       first-window PROGRAM ARGS...\n";
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
int FirstWindow(char** argv) {
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
    if (shown_us < 0 && seen.find("first window shown") != std::string::npos) {
      shown_us = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
    }
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (shown_us < 0) {
    std::fprintf(stderr, "%s never reported its first window\n", argv[0]);
    return 1;
  }
  std::printf("first_window_us %lld\n", shown_us);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
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
  if (command == "first-window" && argc >= 3) return FirstWindow(argv + 2);
  return Usage();
}
