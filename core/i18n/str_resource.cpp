#include "i18n/str_resource.h"

#include <fcntl.h>
#include <stdlib.h>
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

}  // namespace

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
  if (folder_.empty()) return;
  // Only what this copy wrote; rmdir refuses a folder that still holds anything else.
  for (const std::string& path : written_) ::unlink(path.c_str());
  std::string folder = folder_;
  folder.pop_back();
  ::rmdir(folder.c_str());
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
  std::string pattern = temp_dir_ + program_file_name_ + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    problem_ = "cannot create a folder in " + temp_dir_ + ": " + std::strerror(errno);
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
