// SPDX-License-Identifier: Apache-2.0
#include "util/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace camlift {

bool ReplaceFileWhole(const std::string& path, std::string_view bytes, std::string& error) {
  error.clear();
  const std::filesystem::path target(path);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") {
    error = "not a file name";
    return false;
  }
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  // Hidden, and without the final name's ending: a collector that reads "*.prom" skips it.
  std::string temp = (folder / ("." + name + ".XXXXXX")).string();
  // mkstemp creates with O_EXCL: a name that exists, also as a link, is never opened.
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  bool ok = ::fchmod(fd, 0644) == 0;
  std::string_view rest = bytes;
  while (ok && !rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) rest.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = ok && ::fsync(fd) == 0;
  if (!ok) error = std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = std::strerror(errno);
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    error = std::strerror(errno);
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace camlift
