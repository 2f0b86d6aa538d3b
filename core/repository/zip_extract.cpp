// SPDX-License-Identifier: Apache-2.0
#include "repository/zip_extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "util/tools.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// Removes the staging folder on every path.
struct StagingFolder {
  std::string path;
  ~StagingFolder() {
    if (!path.empty()) TTools::DeleteDir(path, true);
  }
};

bool IsLinkEntry(zip_t* zip, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) != 0) return false;
  return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

bool WriteEntry(zip_t* zip, zip_uint64_t index, std::uint64_t declared, const std::string& path,
                std::string& error) {
  std::unique_ptr<zip_file_t, ZipFileCloser> in(zip_fopen_index(zip, index, 0));
  if (!in) {
    error = std::string("cannot read entry: ") + zip_strerror(zip);
    return false;
  }
  FdCloser out{::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)};
  if (out.fd < 0) {
    error = "cannot create " + path;
    return false;
  }
  std::vector<char> block(1 << 18);
  std::uint64_t written = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(in.get(), block.data(), block.size());
    if (n < 0) {
      error = std::string("broken entry: ") + zip_file_strerror(in.get());
      return false;
    }
    if (n == 0) break;
    written += static_cast<std::uint64_t>(n);
    if (written > declared) {
      error = "entry larger than it declares";
      return false;
    }
    for (zip_int64_t off = 0; off < n;) {
      const ssize_t w = ::write(out.fd, block.data() + off, static_cast<std::size_t>(n - off));
      if (w <= 0) {
        error = "cannot write " + path;
        return false;
      }
      off += w;
    }
  }
  if (written != declared) {
    error = "entry shorter than it declares";
    return false;
  }
  return true;
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  for (const char c : name) {
    if (c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  std::string_view rest = name;
  if (rest.back() == '/') rest.remove_suffix(1);  // a folder entry
  while (true) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    rest.remove_prefix(slash + 1);
  }
}

bool ExtractZipSafely(const std::string& archive, const std::string& destination,
                      std::string& error, const TZipLimits& limits) {
  int code = 0;
  std::unique_ptr<zip_t, ZipCloser> zip(
      zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!zip) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    error = std::string("not a readable ZIP archive: ") + zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return false;
  }
  const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > limits.max_entries) {
    error = "too many entries";
    return false;
  }

  // Check every entry before anything is written.
  struct Entry {
    zip_uint64_t index;
    std::string name;
    std::uint64_t size;
    bool folder;
  };
  std::vector<Entry> entries;
  std::set<std::string> files, folders;
  std::uint64_t total = 0;
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    zip_stat_t st;
    // The name's bytes as the archive holds them: a guessed conversion (CP437 to UTF-8) would
    // turn a GBK name into one that the catalogue never names.
    if (zip_stat_index(zip.get(), i, ZIP_FL_ENC_RAW, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
      error = "unreadable entry";
      return false;
    }
    const std::string name = st.name;
    if (!IsSafeEntryName(name)) {
      error = "unsafe entry name: " + name;
      return false;
    }
    if (IsLinkEntry(zip.get(), i)) {
      error = "link entry: " + name;
      return false;
    }
    const bool folder = name.back() == '/';
    const std::string clean = folder ? name.substr(0, name.size() - 1) : name;
    if (files.count(clean) || (folder ? false : folders.count(clean))) {
      error = "duplicate entry: " + name;
      return false;
    }
    // Every parent of an entry is a folder; a file of the same name would collide with it.
    for (std::size_t p = clean.find('/'); p != std::string::npos; p = clean.find('/', p + 1)) {
      const std::string parent = clean.substr(0, p);
      if (files.count(parent)) {
        error = "entry collides with a file: " + name;
        return false;
      }
      folders.insert(parent);
    }
    if (folder) {
      folders.insert(clean);
    } else {
      files.insert(clean);
    }
    const std::uint64_t size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    total += size;
    if (total > limits.max_total_bytes) {
      error = "archive unpacks to more than the allowed size";
      return false;
    }
    entries.push_back({i, clean, size, folder});
  }

  std::error_code ec;
  fs::create_directories(destination, ec);
  std::string pattern = (fs::path(destination) / ".unpack-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) {
    error = "cannot create a staging folder in " + destination;
    return false;
  }
  StagingFolder staging{std::string(buffer.data()) + "/"};

  for (const Entry& e : entries) {
    const std::string path = staging.path + e.name;
    if (e.folder) {
      fs::create_directories(path, ec);
      continue;
    }
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (!WriteEntry(zip.get(), e.index, e.size, path, error)) return false;
  }

  // Every entry came out whole: move the top-level items into place.
  for (const auto& item : fs::directory_iterator(staging.path, ec)) {
    const fs::path target = fs::path(destination) / item.path().filename();
    if (fs::is_directory(target, ec) && !fs::is_symlink(target, ec)) {
      // Merge folders item by item is more than firmware needs: the newer tree replaces it.
      fs::remove_all(target, ec);
    }
    fs::rename(item.path(), target, ec);
    if (ec) {
      error = "cannot move " + item.path().string() + " into place";
      return false;
    }
  }
  return true;
}

}  // namespace camlift
