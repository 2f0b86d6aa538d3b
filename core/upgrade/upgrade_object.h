// SPDX-License-Identifier: Apache-2.0
// The upgrader family: one object knows how to talk to one camera series about one firmware kind.
// The worker drives it through the virtual steps below, always in this order: ReadOem,
// ReadCurrentVersion, ReadLatestVersion, IsSameVersion, DownloadFirmware, Upload, then ReadOem
// again until the camera answers.
#pragma once

#include <string>
#include <vector>

#include "platform/run_control.h"
#include "repository/repository_trust.h"
#include "upgrade/firmware_check.h"
#include "upgrade/version_rule.h"

namespace camlift {

class TUpgradeObject {
 public:
  // Create: the defaults every camera starts from.
  TUpgradeObject();
  virtual ~TUpgradeObject() = default;
  TUpgradeObject(const TUpgradeObject&) = delete;
  TUpgradeObject& operator=(const TUpgradeObject&) = delete;

  // Slots, in the order the family defines them.
  virtual std::string VersionKey() const = 0;
  virtual std::string FileKey() const = 0;
  virtual std::string LocalFileName() const;
  virtual std::string RepositoryFolder() const;
  virtual bool ReadOem();
  // True when the last ReadOem failed because the camera refused the account (HTTP status 401,
  // or series R's "Auth Failed"), not because it did not answer.
  bool AccountRefused() const { return account_refused_; }
  virtual bool ReadCurrentVersion();
  virtual void ReadLatestVersion(std::string& checksum, std::string& excluded, std::string& latest);
  virtual std::string ModelKey() const;
  virtual bool IsSameVersion(const std::string& version) const;
  virtual bool Upload(std::string& message);
  // How this series tells its versions apart, and what its firmware files look like.
  virtual TVersionRule VersionRule() const { return TVersionRule::Whole; }
  virtual TFirmwareForm FirmwareForm() const { return {}; }
  // Whether the catalogue's version would move the camera forward, keep it or take it back.
  TVersionStep StepTo(const std::string& catalogue_version) const {
    return CompareCatalogueVersion(current_version_, catalogue_version, VersionRule());
  }

  // Fetches, verifies and unpacks the firmware named by the catalogue into the verified cache
  // ("Bin/<md5>/" of the work folder); sets LocalFilePath to the very file that was verified,
  // or empties it. A catalogue file name that is not one plain name, or a checksum that is not
  // 32 hexadecimal digits, is refused before anything is written.
  bool DownloadFirmware(const std::string& expected_md5);
  // Takes a firmware from disk instead of the repository. Any file must have md5 (and sha256)
  // when one is given; a ZIP archive is then unpacked like a downloaded one, any other file is
  // used as it is. The firmware (the file, or what the archive holds) must pass
  // CheckFirmwareFile for this series before it enters the verified cache; RepositoryProblem
  // says why a file was refused. The series checks of Upload still apply.
  bool UseLocalFirmware(const std::string& path, const std::string& md5,
                        const std::string& sha256 = "");

  // Connection data; account and password are stored trimmed and lower-cased.
  const std::string& UserName() const { return user_name_; }
  void SetUserName(const std::string& value);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& value);
  const std::string& IPAddress() const { return ip_address_; }
  void SetIPAddress(const std::string& value) { ip_address_ = value; }
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }

  // Results of the steps.
  const std::string& CurrentVersion() const { return current_version_; }
  void SetCurrentVersion(const std::string& value) { current_version_ = value; }
  const std::string& Model() const { return model_; }
  void SetModel(const std::string& value) { model_ = value; }
  int ModelPrefixLength() const { return model_prefix_length_; }
  void SetModelPrefixLength(int value) { model_prefix_length_ = value; }
  const std::string& LatestVersion() const { return latest_version_; }
  void SetLatestVersion(const std::string& value) { latest_version_ = value; }
  const std::string& OemText() const { return oem_text_; }
  // For a fetch without the camera at hand: the OEM text the camera would report.
  void SetOemText(const std::string& value) { oem_text_ = value; }
  const std::string& RepositoryFile() const { return repository_file_; }
  const std::string& LocalFilePath() const { return local_file_path_; }

  // Where the run keeps its files and finds the repository; set before the worker starts.
  const std::string& RepositoryUrl() const { return repository_url_; }
  void SetRepositoryUrl(const std::string& url) { repository_url_ = url; }
  // Signature keys and CA of the repository (default: none, catalogues taken as they come).
  const TRepositoryTrust& RepositoryTrust() const { return trust_; }
  void SetRepositoryTrust(TRepositoryTrust trust) { trust_ = std::move(trust); }
  // Why the last catalogue or firmware fetch failed (or a local file was refused), when that
  // deserves a line of its own.
  const TRepositoryProblem& RepositoryProblem() const { return repository_problem_; }
  // Ends in "/". Defaults to the program's work folder.
  const std::string& WorkFolder() const { return work_folder_; }
  void SetWorkFolder(const std::string& folder);
  // Local name of the fetched catalogue, "Firmware.ini" unless a batch run gives each worker its
  // own.
  void SetCatalogueFileName(const std::string& name) { catalogue_file_name_ = name; }
  // Where archives are fetched to before they are unpacked (the work folder unless set); runs
  // that share a work folder at the same time each get their own.
  std::string DownloadFolder() const {
    return download_folder_.empty() ? work_folder_ : download_folder_;
  }
  void SetDownloadFolder(const std::string& folder);
  // Progress and stop requests of the worker that drives this upgrader.
  const TRunControl& Control() const { return control_ ? *control_ : TRunControl::None(); }
  void SetControl(const TRunControl* control) { control_ = control; }

  // Why the last version read could not ask the camera (a search datagram the system refused to
  // send), as log lines; the worker writes them before its version failure.
  const std::vector<std::string>& VersionReadProblems() const { return version_read_problems_; }

  // The camera's HTTP base, "http://" + address + ":" + port.
  std::string CameraUrl(const std::string& path) const;

 protected:
  // Fetches the catalogue (signed_path below the repository) into path; a catalogue that did
  // not arrive whole (as large as kMaxCatalogueBytes, cut off, an error status, beyond its time
  // bound) leaves path empty. False when the repository keys refuse its signature
  // (RepositoryProblem says why; no path then). Fetched under a name of its own and renamed to
  // path once accepted.
  bool FetchCatalogue(const std::string& url, const std::string& signed_path,
                      const std::string& path);
  // Fetches url into a name of this run's own in the download folder (archive) and keeps it only
  // when its MD5 (and its SHA-256, when the catalogue names one) matched. Nothing unverified
  // stays behind.
  bool FetchVerifiedArchive(const std::string& url, const std::string& md5,
                            const std::string& sha256, std::string& archive);
  // Creates the download folder; one below the work folder as a folder of our own (no link).
  bool PrepareDownloadFolder() const;

  // For the family: results written by one step and read by the next.
  std::string oem_text_;
  std::string repository_file_;
  std::string local_file_path_;
  std::string current_version_;
  std::string model_;
  std::vector<std::string> version_read_problems_;
  bool account_refused_ = false;

  // The shared "/appver.js" read: app_model into Model (when the page was fetched).
  // Returns whether the page was fetched, with its text.
  bool ReadAppVerPage(std::string& page);

 private:
  std::string user_name_ = "admin";
  std::string password_;
  std::string ip_address_ = "192.168.1.126";
  int port_ = 81;
  int model_prefix_length_ = 0;
  std::string latest_version_;
  std::string repository_url_;
  TRepositoryTrust trust_;
  TRepositoryProblem repository_problem_;
  std::string expected_sha256_;
  std::string work_folder_;
  std::string catalogue_file_name_ = "Firmware.ini";
  std::string download_folder_;
  const TRunControl* control_ = nullptr;
};

// System firmware: catalogue keys "SysVer"/"SysFile", repository folder "system".
class TSysUpgradeObject : public TUpgradeObject {
 public:
  std::string VersionKey() const override { return "SysVer"; }
  std::string FileKey() const override { return "SysFile"; }
  std::string RepositoryFolder() const override { return "system"; }
  bool ReadCurrentVersion() override;
};

// UI firmware: catalogue keys "AppVer"/"AppFile", repository folder named after the OEM text.
class TUIUpgradeObject : public TUpgradeObject {
 public:
  std::string VersionKey() const override { return "AppVer"; }
  std::string FileKey() const override { return "AppFile"; }
  bool ReadCurrentVersion() override;
};

// Text rules shared by the family.
// The part of text before the last occurrence of pattern (compared ignoring case); empty if none.
std::string TextBeforeLast(const std::string& pattern, const std::string& text);

}  // namespace camlift
