#include "i18n/str_resource.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "i18n/embedded_store.h"
#include "i18n/str_res.h"
#include "util/tools.h"

namespace camlift {
namespace {

// Byte 0 of the lock file: held exclusively while a copy unpacks or decides to remove.
// Byte 1: held shared by every living copy.
constexpr off_t kGateByte = 0;
constexpr off_t kUsersByte = 1;

std::string FileNamePart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Lock of one byte, owned by the open file description (not the process), so that two holders
// in one process exclude each other as two processes do.
bool LockByte(int fd, off_t byte, short type, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// A folder we may write into and later remove: a real folder (not a link) owned by us. The
// trailing "/" must go first: with it, lstat would follow a link to the folder it names.
bool IsOwnFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
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

// Writes bytes to path through a temporary file in the same folder and a rename, so that a
// reader sees the old file or the new one, never a part.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0644) == 0;
  ok = WriteWhole(fd, bytes) && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

// The lock file of the shared folder; the descriptor is closed (and every lock with it) on
// destruction.
class TfrmStrRes::TFolderLock {
 public:
  explicit TFolderLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

  bool Valid() const { return fd_ >= 0; }
  bool EnterGate() { return LockByte(fd_, kGateByte, F_WRLCK, true); }
  void LeaveGate() { LockByte(fd_, kGateByte, F_UNLCK, false); }
  bool JoinUsers() { return LockByte(fd_, kUsersByte, F_RDLCK, true); }
  // Under the gate: leaves the users and tells whether no other copy is left.
  bool LeaveUsersAndCheckAlone() {
    LockByte(fd_, kUsersByte, F_UNLCK, false);
    const bool alone = LockByte(fd_, kUsersByte, F_WRLCK, false);
    if (alone) LockByte(fd_, kUsersByte, F_UNLCK, false);
    return alone;
  }

 private:
  int fd_;
};

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
  if (folder_.empty()) return;
  if (private_folder_) {
    TTools::DeleteDir(folder_, true);
    return;
  }
  if (lock_->EnterGate()) {
    if (lock_->LeaveUsersAndCheckAlone()) TTools::DeleteDir(folder_, true);
    lock_->LeaveGate();
  }
  // If the gate could not be taken, leaving the files is the safe side.
}

void TfrmStrRes::Unpack(std::string_view stored_form) {
  try {
    LoadStore(store_, stored_form);
  } catch (const TStoreError&) {
    // A damaged built-in store: no files; every lookup gives its default.
    store_.Store().Clear();
  }

  const std::string shared_name = temp_dir_ + program_file_name_;
  const std::string shared = shared_name + "/";
  lock_ = std::make_unique<TFolderLock>(temp_dir_ + program_file_name_ + ".lock");
  if (lock_->Valid() && lock_->EnterGate()) {
    bool usable = IsOwnFolder(shared);
    if (!usable && ::mkdir(shared_name.c_str(), 0700) == 0) usable = IsOwnFolder(shared);
    if (usable && lock_->JoinUsers()) {
      folder_ = shared;
      unpacked_ = WriteItems();
    }
    lock_->LeaveGate();
    if (!folder_.empty()) return;
  }

  // The shared folder is not ours to use: a private one, removed by this copy alone.
  std::string pattern = temp_dir_ + program_file_name_ + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return;
  folder_ = pattern + "/";
  private_folder_ = true;
  unpacked_ = WriteItems();
}

bool TfrmStrRes::WriteItems() {
  if (store_.Store().Count() == 0) return false;
  for (int i = 0; i < store_.Store().Count(); ++i) {
    const TSkinCollectionItem& item = store_.Store().Items(i);
    // An item name is a language code; one that would leave the folder is not written.
    if (item.Name().empty() || item.Name().find('/') != std::string::npos) return false;
    const std::string path = folder_ + LanguageFileNameFor(program_file_name_, item.Name());
    if (!ReplaceFile(path, item.Data().Bytes())) return false;
  }
  return true;
}

}  // namespace camlift
