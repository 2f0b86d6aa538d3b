// SPDX-License-Identifier: Apache-2.0
#include "repository/repository_check.h"

#include <filesystem>

#include "i18n/str_res.h"
#include "platform/paths.h"
#include "platform/timing.h"
#include "repository/catalogue.h"
#include "repository/firmware_cache.h"
#include "repository/repository_text.h"
#include "repository/repository_trust.h"
#include "repository/repository_url.h"
#include "repository/upgrade_opt.h"
#include "util/ini_file.h"
#include "util/md5.h"
#include "util/percent_encoding.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

// The firmware of the first model that names a file and a checksum: fetched into a private
// folder, checked and removed again. True when it arrived whole with its checksum, or when no
// model names one.
bool CheckFirstFirmware(const std::string& base, const TIniData& catalogue,
                        const std::atomic<bool>* cancel, const TRepositoryTrust& trust,
                        TRepositoryCheck& check) {
  for (const std::string& section : catalogue.SectionNames()) {
    const std::string file = TrimText(catalogue.ReadString(section, "SysFile", ""));
    const std::string md5 = LowerAscii(TrimText(catalogue.ReadString(section, "MD5", "")));
    if (file.empty() || !IsPlainArchiveName(file) || !IsMd5Text(md5)) continue;
    check.firmware = file;
    const std::string folder = PrivateTempFolder();
    if (folder.empty()) {
      check.firmware_problem = "no private temporary folder";
      return false;
    }
    const std::string part = folder + UniqueLocalName(".repository-test-");
    const std::string url = base + "system/" + PercentEncode(file);
    const TRunControl control({}, TStopToken(cancel));
    TRepositoryProblem problem;
    const bool fetched = TUpgradeOpt::DownloadFile(url, part, control,
                                                   TUpgradeOpt::kMaxArchiveBytes, &trust, &problem);
    const std::string actual = fetched ? FileMd5Hex(part).value_or("") : std::string();
    std::error_code ec;
    std::filesystem::remove(part, ec);
    if (fetched && actual != md5) problem = {"IDS_DLCHECKSUM", "", {"MD5", md5, actual}};
    if (fetched && actual == md5) return true;
    check.firmware_problem = RepositoryProblemText(problem);
    if (check.firmware_problem.empty()) check.firmware_problem = GetLangStr("IDS_DOWNLOADERR");
    return false;
  }
  return true;
}

}  // namespace

TRepositoryInput CheckRepositoryInput(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return TRepositoryInput::Empty;
  const std::string url = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  // The options file gives back no more than this; a longer address would come back cut.
  if (url.size() > TIniData::kMaxValueBytes) return TRepositoryInput::Invalid;
  std::string rest;
  if (url.rfind("http://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("https://", 0) == 0) {
    rest = url.substr(8);
  } else {
    return TRepositoryInput::Invalid;
  }
  const std::string host = rest.substr(0, rest.find_first_of("/?#"));
  if (host.empty() || host.front() == ':') return TRepositoryInput::Invalid;
  if (host.find('@') != std::string::npos) return TRepositoryInput::Credentials;
  for (const char c : url) {
    // Blanks and control characters have no place in an address.
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return TRepositoryInput::Invalid;
  }
  return TRepositoryInput::Valid;
}

TRepositoryCheck CheckRepository(const std::string& base_url, const std::atomic<bool>* cancel,
                                 const TRepositoryTrust& trust) {
  TRepositoryCheck check;
  const std::string base = NormaliseRepositoryUrl(base_url);
  if (base.empty()) {
    check.error = "not an http or https address";
    return check;
  }
  check.url = base + "system/firmware.txt";
  // The catalogue is fetched as an upgrade fetches it: the site's CA, its limits, and its
  // signature when the site asks for one. A test that passed what every upgrade then refuses
  // would send the user the wrong way.
  const std::string folder = PrivateTempFolder();
  if (folder.empty()) {
    check.error = "no private temporary folder";
    return check;
  }
  const std::string part = folder + UniqueLocalName(".repository-test-");
  const TRunControl control({}, TStopToken(cancel));
  TRepositoryProblem problem;
  // A failed transfer is said as a short reason ("HTTP 404", libcurl's text); a catalogue that
  // arrived but is refused, with the line an upgrade would log.
  bool fetched = TUpgradeOpt::DownloadFile(check.url, part, control, kMaxCatalogueBytes, &trust,
                                           &problem, TTransferKind::Catalogue);
  std::string refusal = problem.failure;
  if (fetched &&
      !AcceptFetchedCatalogue(check.url, "system/firmware.txt", part, trust, control, problem)) {
    fetched = false;
    refusal = RepositoryProblemText(problem);
  }
  const TIniData catalogue = fetched ? TIniFile(part).Data() : TIniData();
  std::error_code ec;
  std::filesystem::remove(part, ec);
  if (control.Cancelled()) {
    check.error = "cancelled";
  } else if (!fetched) {
    check.error = refusal.empty() ? "the transfer failed" : refusal;
  } else {
    check.sections = static_cast<int>(catalogue.SectionNames().size());
    check.ok = CheckFirstFirmware(base, catalogue, cancel, trust, check);
  }
  return check;
}

TRepositoryCheck CheckRepository(const std::string& base_url, const std::atomic<bool>* cancel) {
  return CheckRepository(base_url, cancel, ResolveRepositoryTrust(""));
}

}  // namespace camlift
