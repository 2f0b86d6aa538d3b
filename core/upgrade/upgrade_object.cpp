#include "upgrade/upgrade_object.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/timing.h"
#include "upgrade/catalogue.h"
#include "upgrade/firmware_cache.h"
#include "upgrade/upgrade_opt.h"
#include "util/md5.h"
#include "util/sha256.h"
#include "util/tools.h"

namespace camlift {

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

// What the cache records of the archive a firmware came from: its MD5, and its SHA-256 too when
// the catalogue names one, so that a firmware verified against MD5 alone is never taken for one
// the catalogue's SHA-256 vouches for.
std::string CacheDigest(const std::string& md5, const std::string& sha256) {
  const std::string trimmed = TrimText(sha256);
  return trimmed.empty() ? md5 : TrimText(md5) + "+" + trimmed;
}

}  // namespace

std::string TrimText(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string TextBeforeLast(const std::string& pattern, const std::string& text) {
  if (pattern.empty() || pattern.size() > text.size()) return {};
  const std::string lower_text = LowerAscii(text);
  const std::string lower_pattern = LowerAscii(pattern);
  const std::size_t at = lower_text.rfind(lower_pattern);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

bool QuotedValueAfter(const std::string& page, const std::string& key, char quote,
                      std::string& value) {
  const std::size_t at = page.find(key);
  if (at == std::string::npos) return false;
  const std::size_t start = at + key.size() + 2;  // the assignment sign and the opening quote
  if (start >= page.size()) {
    value.clear();
    return true;
  }
  const std::size_t end = page.find(quote, start);
  value = end == std::string::npos ? std::string() : page.substr(start, end - start);
  return true;
}

TUpgradeObject::TUpgradeObject() : work_folder_(camlift::WorkFolder()) {}

void TUpgradeObject::SetUserName(const std::string& value) {
  user_name_ = LowerAscii(TrimText(value));
}

void TUpgradeObject::SetPassword(const std::string& value) {
  password_ = LowerAscii(TrimText(value));
}

void TUpgradeObject::SetWorkFolder(const std::string& folder) {
  work_folder_ = folder;
  if (!work_folder_.empty() && work_folder_.back() != '/') work_folder_ += '/';
}

void TUpgradeObject::SetDownloadFolder(const std::string& folder) {
  download_folder_ = folder;
  if (!download_folder_.empty() && download_folder_.back() != '/') download_folder_ += '/';
}

std::string TUpgradeObject::CameraUrl(const std::string& path) const {
  return "http://" + ip_address_ + ":" + std::to_string(port_) + path;
}

std::string TUpgradeObject::LocalFileName() const {
  std::string name = TrimText(repository_file_);
  if (name.size() >= 4) name.resize(name.size() - 4);
  return name + ".bin";
}

std::string TUpgradeObject::RepositoryFolder() const { return oem_text_; }

bool TUpgradeObject::ReadOem() {
  std::string text;
  const bool ok = TTools::HttpGetText(CameraUrl("/oem.txt"), text, Millis(Wait::CameraPageRead),
                                      TrimText(user_name_), TrimText(password_)) &&
                  !text.empty() && text.find("Unauthorized") == std::string::npos;
  oem_text_ = ok ? text : std::string();
  return ok;
}

bool TUpgradeObject::ReadCurrentVersion() {
  current_version_.clear();
  return false;
}

bool TUpgradeObject::ReadAppVerPage(std::string& page) {
  if (!TTools::HttpGetText(CameraUrl("/appver.js"), page, Millis(Wait::CameraPageRead),
                           user_name_, password_)) {
    return false;
  }
  std::string model;
  model_ = QuotedValueAfter(page, "app_model", '"', model) ? model : std::string();
  return true;
}

void TUpgradeObject::ReadLatestVersion(std::string& checksum, std::string& excluded,
                                       std::string& latest) {
  checksum.clear();
  excluded.clear();
  latest.clear();
  repository_problem_ = {};
  expected_sha256_.clear();
  const std::string section = ModelKey();
  if (section.empty()) return;
  const std::string path = work_folder_ + catalogue_file_name_;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  // The catalogue is a page like the camera's: what lies past the page cap is not read.
  const std::string url = repository_url_ + LowerAscii(RepositoryFolder()) + "/firmware.txt";
  const bool fetched = TUpgradeOpt::DownloadFile(url, path, Control(), TTools::kMaxPageBytes,
                                                 &trust_, &repository_problem_);
  if (trust_.signed_only && !fetched) std::filesystem::remove(path, ec);
  if (fetched && !AcceptFetchedCatalogue(url, path, trust_, Control(), repository_problem_)) return;
  TCatalogueEntry entry;
  if (!ReadCatalogueEntry(path, section, VersionKey(), FileKey(), entry)) return;
  latest = entry.version;
  checksum = entry.md5;
  excluded = entry.excluded;
  repository_file_ = entry.file;
  expected_sha256_ = entry.sha256;
}

std::string TUpgradeObject::ModelKey() const {
  if (model_.empty()) return TextBeforeLast(".", current_version_);
  if (model_prefix_length_ <= 0) return model_;
  return model_.substr(0, static_cast<std::size_t>(model_prefix_length_));
}

bool TUpgradeObject::IsSameVersion(const std::string& version) const {
  return LowerAscii(TrimText(version)) == LowerAscii(TrimText(current_version_));
}

bool TUpgradeObject::Upload(std::string&) { return false; }

bool TUpgradeObject::DownloadFirmware(const std::string& expected_md5) {
  const std::string file = TrimText(repository_file_);
  const std::string url = repository_url_ + LowerAscii(RepositoryFolder()) + "/" + file;
  const std::string bin_folder = work_folder_ + "Bin/";
  local_file_path_ = bin_folder + LocalFileName();
  repository_problem_ = {};
  TFirmwareCache cache(bin_folder);
  // A firmware unpacked by an earlier run is reused only when it came from an archive with the
  // checksum the catalogue names now; anything else is fetched and verified again.
  if (cache.IsVerified(LocalFileName(), CacheDigest(expected_md5, expected_sha256_))) return true;
  if (file.empty() || expected_md5.empty()) return false;
  TTools::ForceDirs(DownloadFolder());
  const std::string archive = DownloadFolder() + file;
  if (!TUpgradeOpt::DownloadFile(url, archive, Control(), TUpgradeOpt::kMaxArchiveBytes, &trust_,
                                 &repository_problem_)) {
    return false;
  }
  if (!TUpgradeOpt::CheckFileMD5(archive, expected_md5)) return false;
  if (!expected_sha256_.empty() && !FileMatchesSha256(archive, expected_sha256_)) return false;
  if (!cache.Store(archive, LocalFileName(), CacheDigest(expected_md5, expected_sha256_))) {
    return false;
  }
  std::error_code ec;
  std::filesystem::remove(archive, ec);
  return true;
}

bool TUpgradeObject::UseLocalFirmware(const std::string& path, const std::string& md5,
                                      const std::string& sha256) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  if (!TrimText(sha256).empty() && !FileMatchesSha256(path, sha256)) return false;
  std::string head(4, '\0');
  {
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), 4);
    head.resize(static_cast<std::size_t>(in.gcount()));
  }
  if (head != std::string("PK\3\4", 4)) {
    local_file_path_ = std::filesystem::absolute(path, ec).string();
    return true;
  }
  const std::optional<std::string> actual = FileMd5Hex(path);
  if (!actual || (!md5.empty() && LowerAscii(TrimText(md5)) != *actual)) return false;
  repository_file_ = std::filesystem::path(path).filename().string();
  local_file_path_ = work_folder_ + "Bin/" + LocalFileName();
  TFirmwareCache cache(work_folder_ + "Bin/");
  return cache.IsVerified(LocalFileName(), *actual) || cache.Store(path, LocalFileName(), *actual);
}

bool TSysUpgradeObject::ReadCurrentVersion() {
  current_version_.clear();
  std::string page;
  ReadAppVerPage(page);
  return true;
}

bool TUIUpgradeObject::ReadCurrentVersion() {
  current_version_.clear();
  std::string page;
  if (!ReadAppVerPage(page)) return false;
  std::string version;
  if (!QuotedValueAfter(page, "app_ver", '"', version)) return false;
  std::erase(version, 'v');
  current_version_ = TrimText(version);
  return true;
}

}  // namespace camlift
