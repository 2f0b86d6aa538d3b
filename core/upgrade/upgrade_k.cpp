// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_k.h"

#include <vector>

#include "ctp/ctp_session.h"
#include "ctp/ctp_upgrade.h"
#include "ctp/pk2_format.h"
#include "i18n/str_res.h"
#include "util/text.h"

namespace camlift {
namespace {

std::vector<std::string> DotParts(const std::string& version) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = version.find('.', start);
    parts.push_back(version.substr(start, dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

}  // namespace

std::string TKUIUpgrade::LocalFileName() const { return Pk2LocalFileName(RepositoryFile()); }

bool TKUIUpgrade::Upload(std::string& message) {
  return UpgradeByCtp(LocalFilePath(), IPAddress(), Port(), UserName(), Password(), message,
                      Control());
}

std::string TKSYSUpgrade::LocalFileName() const { return Pk2LocalFileName(RepositoryFile()); }

bool TKSYSUpgrade::ReadCurrentVersion() {
  try {
    std::string version;
    std::vector<TSendProblem> problems;
    version_read_problems_.clear();
    ReadVersionBySearch(IPAddress(), Port(), version, Control(), &problems);
    for (const TSendProblem& problem : problems) {
      version_read_problems_.push_back(GetLangStr("IDS_SEARCHSENDERR") + " " +
                                       SendProblemText(problem));
    }
    // The search reply may leave a blank behind the version; it is not part of it.
    current_version_ = TrimText(version);
  } catch (const std::exception&) {
    current_version_.clear();
    return false;
  }
  return !current_version_.empty();
}

// Versions of K system firmware read a.b.c.d: the catalogue section is a.b.X.d.
std::string TKSYSUpgrade::ModelKey() const {
  if (!Model().empty()) return TUpgradeObject::ModelKey();
  const std::vector<std::string> parts = DotParts(CurrentVersion());
  if (parts.size() < 4) return {};
  return parts[0] + "." + parts[1] + ".X." + parts[3];
}

// Only the third part tells K system versions apart. A version with fewer than four parts is
// not one of them and never counts as the same.
bool TKSYSUpgrade::IsSameVersion(const std::string& version) const {
  const std::vector<std::string> given = DotParts(version);
  const std::vector<std::string> current = DotParts(CurrentVersion());
  if (given.size() < 4 || current.size() < 4) return false;
  return TrimText(given[2]) == TrimText(current[2]);
}

bool TKSYSUpgrade::Upload(std::string& message) {
  return UpgradeByCtp(LocalFilePath(), IPAddress(), Port(), UserName(), Password(), message,
                      Control());
}

}  // namespace camlift
