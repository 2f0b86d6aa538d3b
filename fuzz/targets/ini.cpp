// SPDX-License-Identifier: Apache-2.0
// INI texts (the firmware catalogue comes from the network, language and options files from
// disk): parsing, every lookup, and a write of one value that must read back as written.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "util/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view bytes = fuzz::AsText(data, size);
  const TIniData ini = ParseIni(bytes);
  for (const std::string& section : ini.SectionNames()) {
    FUZZ_CHECK(ini.SectionExists(section));
    for (const std::string& key : ini.KeyNames(section)) {
      const auto value = ini.Find(section, key);
      FUZZ_CHECK(value.has_value());
      FUZZ_CHECK(value->size() <= TIniData::kMaxValueBytes);
    }
  }
  // The catalogue lookups the upgrade makes.
  ini.ReadString("SIM100", "SysVer", "");
  ini.ReadString("1.0.X.1", "MD5", "");

  // The options file is updated in place: the value written must be the value read.
  for (const std::string_view value : {std::string_view("cn"), std::string_view(" a'b\" ")}) {
    const auto updated = IniWithValue(bytes, "Global", "lan", value);
    if (updated) {
      const auto back = ParseIni(*updated).Find("Global", "lan");
      FUZZ_CHECK(back.has_value() && *back == value);
    }
  }
  return 0;
}
