#include "upgrade/firmware_cache.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "upgrade/upgrade_object.h"
#include "upgrade/upgrade_opt.h"
#include "util/tools.h"

namespace fs = std::filesystem;

namespace camlift {

TFirmwareCache::TFirmwareCache(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

bool TFirmwareCache::IsVerified(const std::string& name, const std::string& archive_md5) const {
  if (archive_md5.empty()) return false;
  std::error_code ec;
  const auto size = fs::file_size(PathOf(name), ec);
  if (ec || !fs::is_regular_file(PathOf(name), ec)) return false;
  std::ifstream in(RecordOf(name));
  std::string md5;
  std::uintmax_t recorded_size = 0;
  if (!(in >> md5 >> recorded_size)) return false;
  return LowerAscii(md5) == LowerAscii(TrimText(archive_md5)) && recorded_size == size;
}

bool TFirmwareCache::Store(const std::string& archive, const std::string& name,
                           const std::string& archive_md5) {
  TTools::ForceDirs(folder_);
  std::error_code ec;
  fs::remove(RecordOf(name), ec);
  if (!TUpgradeOpt::UnpackArchive(archive, PathOf(name))) return false;
  return Record(name, archive_md5);
}

bool TFirmwareCache::Record(const std::string& name, const std::string& source_md5) {
  std::error_code ec;
  const auto size = fs::file_size(PathOf(name), ec);
  if (ec) return false;
  // Written beside and renamed, so a reader never sees half a record.
  static std::atomic<unsigned> counter{0};
  const std::string temp = RecordOf(name) + ".tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter++);
  {
    std::ofstream out(temp, std::ios::trunc);
    out << LowerAscii(TrimText(source_md5)) << ' ' << size << '\n';
    if (!out.flush()) return false;
  }
  fs::rename(temp, RecordOf(name), ec);
  return !ec;
}

}  // namespace camlift
