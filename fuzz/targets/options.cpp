// SPDX-License-Identifier: Apache-2.0
// The options: the user's option.ini over the system-wide defaults (a file an administrator, or
// anyone who hands over a copy, wrote). A user value wins over a default, a default over the
// caller's; repository_keys from the defaults cannot be emptied by the user's file; the
// repository address is http or https or nothing.
// Input: the defaults text, a NUL byte, the user's text; without a NUL byte there is no
// defaults file and the whole input is the user's.
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "repository/repository_trust.h"
#include "repository/repository_url.h"
#include "util/option_file.h"

namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view input = fuzz::AsText(data, size);
  const std::size_t nul = input.find('\0');
  std::optional<std::string_view> defaults_text;
  std::string_view user_text = input;
  if (nul != std::string_view::npos) {
    defaults_text = input.substr(0, nul);
    user_text = input.substr(nul + 1);
  }
  const TOptionValues options = ParseOptionValues(defaults_text, user_text);
  const TIniData user = ParseIni(user_text);
  const TIniData defaults = ParseIni(defaults_text.value_or(""));

  for (const TIniData* file : {&user, &defaults}) {
    for (const std::string& section : file->SectionNames()) {
      for (const std::string& key : file->KeyNames(section)) {
        const std::string value = options.ReadString(section, key, "\x01");
        if (const auto mine = user.Find(section, key)) {
          FUZZ_CHECK(value == *mine);
        } else if (defaults_text) {
          // The defaults' value reaches the user's file as its default, and the profile reader
          // drops a default's trailing blanks: a quoted "a " of the defaults reads as "a".
          std::string expected = defaults.Find(section, key).value();
          expected.erase(expected.find_last_not_of(" \t") + 1);
          FUZZ_CHECK(value == expected);
        }
        FUZZ_CHECK(options.ReadDefaultString(section, key, "\x01") ==
                   (defaults_text ? defaults.ReadString(section, key, "\x01") : "\x01"));
      }
    }
  }

  const TRepositoryTrust trust = RepositoryTrustFrom(options, "");
  std::string keys = user.ReadString("Global", "repository_keys", "");
  if (Trimmed(keys).empty())
    keys = defaults_text ? defaults.ReadString("Global", "repository_keys", "") : "";
  // A value that holds no usable key (",,,") still asks for signatures.
  FUZZ_CHECK(trust.signed_only == !Trimmed(keys).empty());
  FUZZ_CHECK(RepositoryTrustFrom(options, "/given/ca.pem").ca_file == "/given/ca.pem");

  const std::string url = NormaliseRepositoryUrl(options.ReadString("Global", "repository", ""));
  FUZZ_CHECK(url.empty() || ((url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) &&
                             url.back() == '/'));
  return 0;
}
