// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_object.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/timing.h"
#include "repository/cache_usage.h"
#include "repository/catalogue.h"
#include "repository/firmware_cache.h"
#include "repository/run_files.h"
#include "repository/upgrade_opt.h"
#include "util/md5.h"
#include "util/percent_encoding.h"
#include "util/sha256.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {

std::string TextBeforeLast(const std::string& pattern, const std::string& text) {
  if (pattern.empty() || pattern.size() > text.size()) return {};
  const std::string lower_text = LowerAscii(text);
  const std::string lower_pattern = LowerAscii(pattern);
  const std::size_t at = lower_text.rfind(lower_pattern);
  return at == std::string::npos ? std::string() : text.substr(0, at);
}

TUpgradeObject::TUpgradeObject() : work_folder_(camlift::CacheFolder()) {}

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
  long status = 0;
  const bool answered =
      TTools::HttpGetText(CameraUrl("/oem.txt"), text, Millis(Wait::CameraPageRead),
                          TrimText(user_name_), TrimText(password_), &status);
  // The refusal is the status the camera answers with, whatever its page says; a page that
  // reads "Unauthorized" is still no OEM text.
  account_refused_ = answered && status == 401;
  const bool ok = answered && !text.empty() && !account_refused_ &&
                  text.find("Unauthorized") == std::string::npos;
  oem_text_ = ok ? text : std::string();
  return ok;
}

bool TUpgradeObject::ReadCurrentVersion() {
  current_version_.clear();
  return false;
}

bool TUpgradeObject::ReadAppVerPage(std::string& page) {
  if (!TTools::HttpGetText(CameraUrl("/appver.js"), page, Millis(Wait::CameraPageRead), user_name_,
                           password_)) {
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
  ClaimWorkFolder(work_folder_);
  // Fetched and read under a name of this run's own, then kept under the usual name: another
  // program on the same work folder never swaps its catalogue in between.
  const std::string part = work_folder_ + UniqueLocalName(".catalogue-");
  const std::string copy = work_folder_ + catalogue_file_name_;
  const std::string signed_path = LowerAscii(RepositoryFolder()) + "/firmware.txt";
  const std::string url = repository_url_ + signed_path;
  const bool accepted = FetchCatalogue(url, signed_path, part);
  TCatalogueEntry entry;
  const bool found = accepted && ReadCatalogueEntry(part, section, VersionKey(), FileKey(), entry);
  std::error_code ec;
  if (accepted) {
    std::filesystem::rename(part, copy, ec);
    if (ec) std::filesystem::remove(part, ec);
  } else {
    // A catalogue the repository keys refuse is kept nowhere, not even an older copy of it.
    std::filesystem::remove(part, ec);
    std::filesystem::remove(copy, ec);
  }
  if (!found) return;
  latest = entry.version;
  checksum = entry.md5;
  excluded = entry.excluded;
  repository_file_ = entry.file;
  expected_sha256_ = entry.sha256;
}

bool TUpgradeObject::FetchCatalogue(const std::string& url, const std::string& signed_path,
                                    const std::string& path) {
  repository_problem_ = {};
  // The catalogue (and its signature) arrive under names of this process alone and take the
  // catalogue's name only once accepted: another run that fetches into the same work folder
  // meanwhile never puts its bytes between the check and the read.
  const std::string part = work_folder_ + UniqueLocalName(".catalogue-");
  std::error_code ec;
  const bool fetched = TUpgradeOpt::DownloadFile(url, part, Control(), kMaxCatalogueBytes, &trust_,
                                                 &repository_problem_, TTransferKind::Catalogue);
  // With repository keys configured, only a catalogue signed by one of them for its place is
  // accepted; a refused one leaves nothing behind.
  if (fetched &&
      AcceptFetchedCatalogue(url, signed_path, part, trust_, Control(), repository_problem_)) {
    std::filesystem::rename(part, path, ec);
    if (!ec) return true;
  }
  std::filesystem::remove(part, ec);
  // A catalogue that did not arrive whole (too large, cut off, refused) is never read in part:
  // the copy is left empty, which reads as no section. Made anew, never through a link planted
  // under its name.
  if (fetched) return false;  // refused: nothing of it stays
  std::filesystem::remove(path, ec);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
  return true;
}

bool TUpgradeObject::PrepareDownloadFolder() const {
  const std::string folder = DownloadFolder();
  // A folder below the work folder (a batch's downloads/<camera>/) is one of ours: never a link.
  if (folder.size() > work_folder_.size() && folder.starts_with(work_folder_)) {
    return MakeOwnFolders(work_folder_, folder.substr(work_folder_.size()));
  }
  return TTools::ForceDirs(folder);
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
  const std::string md5 = LowerAscii(TrimText(expected_md5));
  const std::string sha256 = LowerAscii(TrimText(expected_sha256_));
  local_file_path_.clear();
  repository_problem_ = {};
  // The catalogue comes from the network: its file name must be one plain name, and its
  // checksum names a folder of the cache, so both are checked before a byte is written.
  if (!IsPlainArchiveName(file) || !IsPlainArchiveName(LocalFileName()) || !IsMd5Text(md5)) {
    return false;
  }
  ClaimWorkFolder(work_folder_);
  TFirmwareCache cache(work_folder_ + "Bin/");
  // A firmware unpacked by an earlier run is reused only when it came from an archive with the
  // checksum the catalogue names now; anything else is fetched and verified again.
  const bool cached = cache.IsVerified(md5, LocalFileName(), sha256);
  if (cached) {
    MarkCacheUse(cache.Folder(), md5);
    Control().Report(TProgressStage::Verify, 0, 1);  // checked by its record
  }
  if (!cached) {
    // The name is a file name, not a piece of URL: a blank, "#", "?" or "%" in it is sent as
    // the character it is.
    const std::string url =
        repository_url_ + LowerAscii(RepositoryFolder()) + "/" + PercentEncode(file);
    std::string archive;
    if (!FetchVerifiedArchive(url, md5, sha256, archive)) return false;
    const bool stored = cache.Store(archive, md5, LocalFileName(), sha256);
    std::error_code ec;
    std::filesystem::remove(archive, ec);
    if (!stored) {
      // The checksum matched: the archive is the repository's, but it does not hold the file.
      repository_problem_ = {"IDS_DLUNPACK", "", {file, LocalFileName()}};
      return false;
    }
    TrimCache(cache.Folder(), ConfiguredCacheLimit(), md5);
  }
  Control().Report(TProgressStage::Verify, 1, 1);
  local_file_path_ = cache.PathOf(md5, LocalFileName());
  return true;
}

bool TUpgradeObject::FetchVerifiedArchive(const std::string& url, const std::string& md5,
                                          const std::string& sha256, std::string& archive) {
  if (!PrepareDownloadFolder()) return false;
  // The bytes arrive, are checked and are unpacked under a name of this run's own; the firmware
  // gets its final name only in the verified cache. Never under the catalogue's name: that
  // could replace a file of the user's in the work folder, or be replaced by another program
  // that fetches an archive of the same name between the check and the unpacking.
  const std::string part = DownloadFolder() + UniqueLocalName(".download-");
  std::error_code ec;
  if (!TUpgradeOpt::DownloadFile(url, part, Control(), TUpgradeOpt::kMaxArchiveBytes, &trust_,
                                 &repository_problem_)) {
    std::filesystem::remove(part, ec);
    return false;
  }
  Control().Report(TProgressStage::Verify, 0, 1);
  // What arrived is not what the catalogue names: both checksums go into the log.
  const std::string actual = FileMd5Hex(part).value_or(Md5Hex(""));
  if (actual != md5) {
    repository_problem_ = {"IDS_DLCHECKSUM", "", {"MD5", md5, actual}};
    std::filesystem::remove(part, ec);
    return false;
  }
  if (!sha256.empty() && !FileMatchesSha256(part, sha256)) {
    repository_problem_ = {
        "IDS_DLCHECKSUM", "", {"SHA-256", sha256, FileSha256Hex(part).value_or("")}};
    std::filesystem::remove(part, ec);
    return false;
  }
  archive = part;
  return true;
}

bool TUpgradeObject::UseLocalFirmware(const std::string& path, const std::string& md5,
                                      const std::string& sha256) {
  local_file_path_.clear();
  repository_problem_ = {};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    repository_problem_ = {"IDS_FWUNREADABLE", "", {path}};
    return false;
  }
  // The firmware itself must look like one of this series, before it is kept anywhere.
  const auto refused = [this](const TFirmwareVerdict& verdict) {
    repository_problem_ = {verdict.key, "", verdict.values};
    return false;
  };
  // Everything below works on a copy of the run's own: the user's file may still change (a copy
  // in progress, another build), and the bytes that were checked are the bytes that go out.
  ClaimWorkFolder(work_folder_);
  if (!PrepareDownloadFolder()) return false;
  const std::string copy = DownloadFolder() + UniqueLocalName(".local-");
  std::filesystem::remove(copy, ec);
  struct RemoveCopy {
    const std::string& path;
    ~RemoveCopy() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  } remove_copy{copy};
  if (!std::filesystem::copy_file(path, copy, ec) || ec) return false;
  const std::optional<std::string> actual = FileMd5Hex(copy);
  if (!actual) return false;
  Control().Report(TProgressStage::Verify, 0, 1);
  // A checksum given by the user holds for every kind of file, not only for archives.
  if (!md5.empty() && LowerAscii(TrimText(md5)) != *actual) {
    repository_problem_ = {"IDS_DLCHECKSUM", "", {"MD5", LowerAscii(TrimText(md5)), *actual}};
    return false;
  }
  if (!TrimText(sha256).empty() && !FileMatchesSha256(copy, sha256)) {
    repository_problem_ = {
        "IDS_DLCHECKSUM",
        "",
        {"SHA-256", LowerAscii(TrimText(sha256)), FileSha256Hex(copy).value_or("")}};
    return false;
  }
  const std::string digest256 = LowerAscii(TrimText(sha256));
  std::string head(4, '\0');
  {
    std::ifstream in(copy, std::ios::binary);
    in.read(head.data(), 4);
    head.resize(static_cast<std::size_t>(in.gcount()));
  }
  TFirmwareCache cache(work_folder_ + "Bin/");
  if (head != std::string("PK\3\4", 4)) {
    // Any other file is used as it is: the checked copy is kept in the cache and uploaded.
    if (const TFirmwareVerdict verdict = CheckFirmwareFile(FirmwareForm(), copy); !verdict.ok()) {
      return refused(verdict);
    }
    const std::string name = std::filesystem::path(path).filename().string();
    if (!IsPlainArchiveName(name) || !cache.Keep(copy, *actual, name, digest256)) return false;
    TrimCache(cache.Folder(), ConfiguredCacheLimit(), *actual);
    Control().Report(TProgressStage::Verify, 1, 1);
    local_file_path_ = cache.PathOf(*actual, name);
    return true;
  }
  repository_file_ = std::filesystem::path(path).filename().string();
  if (!IsPlainArchiveName(LocalFileName())) return false;
  TFirmwareVerdict verdict;
  const auto accept = [&](const std::string& staged) {
    verdict = CheckFirmwareFile(FirmwareForm(), staged);
    return verdict.ok();
  };
  if (cache.IsVerified(*actual, LocalFileName(), digest256)) {
    // Kept by an earlier run, perhaps for another series: looked at again for this one.
    MarkCacheUse(cache.Folder(), *actual);
    accept(cache.PathOf(*actual, LocalFileName()));
  } else if (cache.Store(copy, *actual, LocalFileName(), digest256, accept)) {
    TrimCache(cache.Folder(), ConfiguredCacheLimit(), *actual);
  } else if (verdict.ok()) {
    repository_problem_ = {"IDS_DLUNPACK", "", {repository_file_, LocalFileName()}};
    return false;
  }
  if (!verdict.ok()) return refused(verdict);
  Control().Report(TProgressStage::Verify, 1, 1);
  local_file_path_ = cache.PathOf(*actual, LocalFileName());
  return true;
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
  current_version_ = VersionWithoutV(version);
  return true;
}

}  // namespace camlift
