// SPDX-License-Identifier: Apache-2.0
#include "i18n/str_resource.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "i18n/embedded_store.h"
#include "i18n/str_res.h"
#include "util/tools.h"

namespace camlift {
namespace {

std::string FileNamePart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteWhole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Creates path (which must not exist yet: the folder is new and ours) and writes bytes to it.
bool WriteNewFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  bool ok = WriteWhole(fd, bytes);
  const int error = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(path.c_str());  // the part-written file is ours
    errno = error;
  }
  return ok;
}

// A copy's folder name: the program file name, "-" and the six letters mkdtemp chose. Six
// digits are the single-instance guard's "camlift-<uid>" folder, never a language folder.
bool IsFolderName(const std::string& name, const std::string& program_file_name) {
  if (name.size() != program_file_name.size() + 7 || !name.starts_with(program_file_name) ||
      name[program_file_name.size()] != '-') {
    return false;
  }
  const std::string letters = name.substr(program_file_name.size() + 1);
  return letters.find_first_not_of("0123456789") != std::string::npos;
}

// Opens folder (not following a link) and takes its lock; -1 when it is gone or locked.
int OpenLocked(const std::string& folder, bool wait) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  while (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
    if (errno == EINTR) continue;
    ::close(fd);
    return -1;
  }
  return fd;
}

// True when the file name in the folder dir is a plain file with exactly these bytes: one that
// a copy of this program wrote, never a file of the user's that merely has the name.
bool HoldsExactly(int dir, const std::string& name, std::string_view bytes) {
  const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::size_t>(st.st_size) == bytes.size();
  std::string read(same ? bytes.size() : 0, '\0');
  std::size_t done = 0;
  while (same && done < read.size()) {
    const ssize_t n = ::read(fd, read.data() + done, read.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) same = false;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return same && read == bytes;
}

}  // namespace

void TfrmStrRes::SweepStaleFolders() const {
  // A copy that crashed left its folder behind. Every live copy holds the lock on its folder, so
  // a folder of ours that can be locked has nobody: the language files in it that are exactly
  // ours go, and then the folder if nothing else is in it.
  DIR* dir = ::opendir(temp_dir_.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsFolderName(entry->d_name, program_file_name_)) candidates.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : candidates) {
    const std::string folder = temp_dir_ + name;
    struct stat st {};
    // Only what mkdtemp makes: a real folder of ours that nobody else may enter.
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0) {
      continue;
    }
    const int fd = OpenLocked(folder, false);
    if (fd < 0) continue;  // a live copy's
    struct stat opened {};
    if (::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino) {
      for (int i = 0; i < store_.Store().Count(); ++i) {
        const std::string& code = store_.Store().Items(i).Name();
        if (code.empty() || code.find('/') != std::string::npos) continue;
        const std::string file = LanguageFileNameFor(program_file_name_, code);
        if (HoldsExactly(fd, file, store_.Store().Items(i).Data().Bytes())) {
          ::unlinkat(fd, file.c_str(), 0);
        }
      }
      ::rmdir(folder.c_str());  // refuses a folder that still holds anything
    }
    ::close(fd);
  }
}

std::string LanguageFilesMissingText(const std::string& problem) {
  return "The language files could not be unpacked (" + problem +
         "). Texts and messages will be missing; check that the temporary folder (TMPDIR) "
         "exists and can be written.";
}

TfrmStrRes::TfrmStrRes()
    : TfrmStrRes(EmbeddedLanguageStore(), TTools::GetTempDir(), TTools::ModuleFileName()) {}

TfrmStrRes::TfrmStrRes(std::string_view stored_form, std::string temp_dir,
                       std::string program_file_name)
    : temp_dir_(std::move(temp_dir)), program_file_name_(FileNamePart(program_file_name)) {
  if (!temp_dir_.empty() && temp_dir_.back() != '/') temp_dir_ += '/';
  if (program_file_name_.empty()) program_file_name_ = "camlift";
  Unpack(stored_form);
  SetLanguageFolder(folder_, program_file_name_);
}

TfrmStrRes::~TfrmStrRes() {
  if (!folder_.empty()) {
    // Only what this copy wrote; rmdir refuses a folder that still holds anything else.
    for (const std::string& path : written_) ::unlink(path.c_str());
    std::string folder = folder_;
    folder.pop_back();
    ::rmdir(folder.c_str());
  }
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

void TfrmStrRes::Unpack(std::string_view stored_form) {
  try {
    LoadStore(store_, stored_form);
  } catch (const TStoreError&) {
    store_.Store().Clear();
  }
  if (store_.Store().Count() == 0) {
    problem_ = "the built-in language store is damaged";
    return;
  }
  SweepStaleFolders();
  // The folder is locked for this copy's whole life. Another copy's sweep may remove it in the
  // moment between mkdtemp and the lock (it is empty then); a new one is made.
  std::string pattern;
  for (int attempt = 0; attempt < 3 && lock_fd_ < 0; ++attempt) {
    pattern = temp_dir_ + program_file_name_ + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      problem_ = "cannot create a folder in " + temp_dir_ + ": " + std::strerror(errno);
      return;
    }
    lock_fd_ = OpenLocked(pattern, true);
    struct stat st {};
    if (lock_fd_ >= 0 && (::fstat(lock_fd_, &st) != 0 || st.st_nlink == 0)) {
      ::close(lock_fd_);
      lock_fd_ = -1;
    }
  }
  if (lock_fd_ < 0) {
    problem_ = "cannot keep a folder in " + temp_dir_;
    return;
  }
  folder_ = pattern + "/";
  unpacked_ = WriteItems();
}

bool TfrmStrRes::WriteItems() {
  for (int i = 0; i < store_.Store().Count(); ++i) {
    const TSkinCollectionItem& item = store_.Store().Items(i);
    // An item name is a language code; one that would leave the folder is not written.
    if (item.Name().empty() || item.Name().find('/') != std::string::npos) {
      problem_ = "the built-in language store holds a bad item name";
      return false;
    }
    const std::string path = folder_ + LanguageFileNameFor(program_file_name_, item.Name());
    if (!WriteNewFile(path, item.Data().Bytes())) {
      problem_ = "cannot write " + path + ": " + std::strerror(errno);
      return false;
    }
    written_.push_back(path);
  }
  return true;
}

}  // namespace camlift
