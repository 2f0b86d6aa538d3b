// SPDX-License-Identifier: Apache-2.0
#include "repository/run_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string_view>

#include "util/tools.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

constexpr std::string_view kRunLockPrefix = ".run-";
constexpr std::string_view kRunOwnedPrefixes[] = {".download-", ".local-", ".catalogue-",
                                                  ".record-", ".stage-"};
constexpr std::size_t kRunIdLength = 16;
// A leftover named the way older versions named them (process id and counter, no lock) is taken
// as dead only once it is this old: such a run may still be at work.
constexpr auto kUnlockedLeftoverAge = std::chrono::hours(1);
// Work folders one process keeps its lock in (a test binary may use hundreds).
constexpr std::size_t kMaxClaims = 256;

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

bool IsRunId(std::string_view id) {
  return id.size() == kRunIdLength &&
         id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The run id inside a run-owned name: what follows the prefix up to the next "-".
std::string RunIdOf(std::string_view name) {
  for (std::string_view prefix : kRunOwnedPrefixes) {
    if (!name.starts_with(prefix)) continue;
    name.remove_prefix(prefix.size());
    return std::string(name.substr(0, name.find('-')));
  }
  return {};
}

struct TFd {
  int fd = -1;
  explicit TFd(int f) : fd(f) {}
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int release() {
    const int f = fd;
    fd = -1;
    return f;
  }
};

struct TClaims {
  std::mutex mutex;
  std::map<std::string, int> fds;  // work folder -> the descriptor holding its lock
  std::vector<std::string> order;
  // A run that ends takes its lock with it; one that dies leaves it for the next sweep.
  ~TClaims() {
    for (const auto& [work, fd] : fds) {
      ::unlink((work + std::string(kRunLockPrefix) + RunId()).c_str());
      ::close(fd);
    }
  }
};

TClaims& Claims() {
  RunId();  // made first, so that it outlives the claims, which need it when they end
  static TClaims claims;
  return claims;
}

// Whether the run with that id is gone, judged once per sweep. A run that is gone has left no
// lock; a lock that cannot be looked at is taken as held.
class TRunJudge {
 public:
  explicit TRunJudge(std::string work) : work_(std::move(work)) {}
  ~TRunJudge() {
    for (auto& [id, fd] : locked_) {
      ::unlink((work_ + std::string(kRunLockPrefix) + id).c_str());
      ::close(fd);
    }
  }
  TRunJudge(const TRunJudge&) = delete;
  TRunJudge& operator=(const TRunJudge&) = delete;

  bool Gone(const std::string& id) {
    if (id == RunId()) return false;
    if (const auto known = gone_.find(id); known != gone_.end()) return known->second;
    bool gone = false;
    const std::string lock = work_ + std::string(kRunLockPrefix) + id;
    TFd fd(::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd < 0) {
      gone = errno == ENOENT;
    } else if (::flock(fd.fd, LOCK_EX | LOCK_NB) == 0) {
      gone = true;
      locked_[id] = fd.release();  // held until the sweep ends, then removed
    }
    gone_[id] = gone;
    return gone;
  }

 private:
  std::string work_;
  std::map<std::string, bool> gone_;
  std::map<std::string, int> locked_;
};

std::uint64_t SizeBelow(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (fs::is_regular_file(status)) return fs::file_size(path, ec);
  if (!fs::is_directory(status)) return 0;
  std::uint64_t total = 0;
  for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
  }
  return total;
}

void SweepFolder(const fs::path& folder, TRunJudge& judge, TSweepResult& result) {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsRunOwnedName(name)) continue;
    const std::string id = RunIdOf(name);
    bool gone = false;
    if (IsRunId(id)) {
      gone = judge.Gone(id);
    } else {
      std::error_code time_ec;
      const auto modified =
          fs::symlink_status(entry.path(), time_ec).type() == fs::file_type::symlink
              ? now - kUnlockedLeftoverAge
              : fs::last_write_time(entry.path(), time_ec);
      gone = !time_ec && now - modified >= kUnlockedLeftoverAge;
    }
    if (!gone) continue;
    const std::uint64_t bytes = SizeBelow(entry.path());
    std::error_code remove_ec;
    if (fs::remove_all(entry.path(), remove_ec) > 0 && !remove_ec) {
      ++result.removed;
      result.bytes += bytes;
    }
  }
}

// The run locks left by runs that are gone (and by starts that never finished).
void SweepLocks(const std::string& work, TRunJudge& judge) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(work, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kRunLockPrefix)) continue;
    const std::string id = name.substr(kRunLockPrefix.size());
    if (IsRunId(id)) {
      judge.Gone(id);  // a gone run's lock is removed when the judge ends
      continue;
    }
    // A lock still being made has no place yet; only an old one is left from a start that died.
    std::error_code time_ec;
    const auto modified = fs::last_write_time(entry.path(), time_ec);
    if (time_ec || fs::file_time_type::clock::now() - modified < kUnlockedLeftoverAge) continue;
    TFd fd(::open(entry.path().c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd >= 0 && ::flock(fd.fd, LOCK_EX | LOCK_NB) == 0) ::unlink(entry.path().c_str());
  }
}

}  // namespace

const std::string& RunId() {
  static const std::string id = [] {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
      std::random_device device;
      value =
          (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(kRunIdLength, '0');
    for (std::size_t i = 0; i < kRunIdLength; ++i) text[i] = kHex[(value >> (4 * i)) & 0xF];
    return text;
  }();
  return id;
}

std::string UniqueLocalName(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  return prefix + RunId() + "-" + std::to_string(counter++);
}

bool IsOwnFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(WithoutSlash(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeOwnFolder(const std::string& path) {
  const std::string folder = WithoutSlash(path);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    // A link, or a file, in the place of one of the program's folders: the entry goes, whatever
    // it points at stays untouched.
    if (::unlink(folder.c_str()) != 0) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
  return IsOwnFolder(folder);
}

bool MakeOwnFolders(const std::string& base, const std::string& relative) {
  if (!TTools::ForceDirs(base)) return false;
  std::string path = WithSlash(base);
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    if (end > start) {
      path += relative.substr(start, end - start);
      if (!MakeOwnFolder(path)) return false;
      path += '/';
    }
    start = end + 1;
  }
  return true;
}

bool IsRunOwnedName(const std::string& name) {
  for (std::string_view prefix : kRunOwnedPrefixes) {
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

void ClaimWorkFolder(const std::string& work_folder) {
  const std::string work = WithSlash(work_folder);
  if (work.empty()) return;
  TClaims& claims = Claims();
  {
    std::lock_guard lock(claims.mutex);
    if (claims.fds.contains(work)) return;
    // Made under a name of its own and locked before it takes its place, so that no sweep ever
    // sees this run's lock unheld.
    const std::string lock_path = work + std::string(kRunLockPrefix) + RunId();
    const std::string fresh = lock_path + "." + std::to_string(::getpid());
    ::unlink(fresh.c_str());
    TFd fd(::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.fd < 0) return;
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0 || ::rename(fresh.c_str(), lock_path.c_str()) != 0) {
      ::unlink(fresh.c_str());
      return;
    }
    if (claims.order.size() >= kMaxClaims) {
      ::close(claims.fds[claims.order.front()]);
      claims.fds.erase(claims.order.front());
      claims.order.erase(claims.order.begin());
    }
    claims.fds[work] = fd.release();
    claims.order.push_back(work);
  }
  SweepLeftovers(work);
}

TSweepResult SweepLeftovers(const std::string& work_folder) {
  const std::string work = WithSlash(work_folder);
  TSweepResult result;
  if (work.empty()) return result;
  TRunJudge judge(work);
  SweepFolder(work, judge, result);
  std::error_code ec;
  for (const char* below : {"downloads", "Bin"}) {
    const fs::path folder = fs::path(work) / below;
    if (!IsOwnFolder(folder.string())) continue;
    if (std::string_view(below) == "Bin") SweepFolder(folder, judge, result);
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (IsOwnFolder(entry.path().string())) SweepFolder(entry.path(), judge, result);
    }
  }
  SweepLocks(work, judge);
  return result;
}

}  // namespace camlift
