// SPDX-License-Identifier: Apache-2.0
#include "repository/repository_trust.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "i18n/str_res.h"
#include "repository/upgrade_opt.h"
#include "util/option_file.h"

namespace camlift {
namespace {

// A signature is 64 bytes; anything much longer is not one and is not read further.
constexpr std::uint64_t kMaxSignatureBytes = 4096;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

TRepositoryTrust MakeRepositoryTrust(const std::string& keys_text, const std::string& ca_file) {
  TRepositoryTrust trust;
  trust.signed_only = !Trimmed(keys_text).empty();
  TRepositoryKeys parsed = ParseRepositoryKeys(keys_text);
  trust.keys = std::move(parsed.keys);
  trust.bad_keys = std::move(parsed.bad);
  trust.ca_file = Trimmed(ca_file);
  return trust;
}

TRepositoryTrust RepositoryTrustFrom(const TOptionValues& options,
                                     const std::string& ca_from_command_line) {
  const std::string ca = ca_from_command_line.empty()
                             ? options.ReadString("Global", "repository_ca", "")
                             : ca_from_command_line;
  std::string keys = options.ReadString("Global", "repository_keys", "");
  if (Trimmed(keys).empty()) keys = options.ReadDefaultString("Global", "repository_keys", "");
  TRepositoryTrust trust = MakeRepositoryTrust(keys, ca);
  // An administrator's file that cannot be read may name keys: fail closed, never open.
  trust.defaults_problem = options.DefaultsProblem();
  if (!trust.defaults_problem.empty()) trust.signed_only = true;
  return trust;
}

TRepositoryTrust ResolveRepositoryTrust(const std::string& ca_from_command_line) {
  return RepositoryTrustFrom(TOptionFile().Values(), ca_from_command_line);
}

std::vector<std::string> BadRepositoryKeyLines(const TRepositoryTrust& trust) {
  std::vector<std::string> lines;
  for (const std::string& bad : trust.bad_keys) lines.push_back(GetLangStr("IDS_REPOKEYBAD") + bad);
  return lines;
}

bool AcceptFetchedCatalogue(const std::string& url, const std::string& signed_path,
                            const std::string& path, const TRepositoryTrust& trust,
                            const TRunControl& control, TRepositoryProblem& problem) {
  if (!trust.signed_only) return true;
  std::error_code ec;
  if (!trust.defaults_problem.empty()) {
    std::filesystem::remove(path, ec);
    problem = {"IDS_OPTIONSUNREADABLE", trust.defaults_problem};
    return false;
  }
  const std::string signature_path = path + ".sig";
  TRepositoryProblem signature_problem;
  const bool fetched =
      TUpgradeOpt::DownloadFile(url + ".sig", signature_path, control, kMaxSignatureBytes, &trust,
                                &signature_problem, TTransferKind::Signature);
  std::optional<std::string> signature;
  if (fetched) signature = ReadWholeFile(signature_path);
  std::filesystem::remove(signature_path, ec);
  const std::string catalogue = ReadWholeFile(path).value_or("");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(catalogue.data());
  const TCatalogueVerdict verdict =
      CheckCatalogueSignature({bytes, catalogue.size()}, signed_path, signature, trust.keys);
  if (verdict == TCatalogueVerdict::Valid) return true;
  // Nothing of a refused catalogue may be read later, by this run or another.
  std::filesystem::remove(path, ec);
  if (signature_problem.key == "IDS_REPOTLSERR" || signature_problem.key == "IDS_REPOREDIRECT") {
    problem = signature_problem;  // a refused certificate says more than "no signature"
  } else if (!fetched && signature_problem.status != 404) {
    // Only a repository that says there is no such file says the catalogue is unsigned; an
    // error status, a refused connection or a stalled transfer is said as what it was.
    problem = {"IDS_CATALOGUESIGFETCH", url + ".sig (" + signature_problem.failure + ")"};
  } else if (verdict == TCatalogueVerdict::Unsigned) {
    problem = {"IDS_CATALOGUEUNSIGNED", url + ".sig"};
  } else {
    problem = {"IDS_CATALOGUEBADSIG", url + ".sig"};
  }
  return false;
}

}  // namespace camlift
