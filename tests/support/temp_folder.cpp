// SPDX-License-Identifier: Apache-2.0
#include "temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "util/tools.h"

namespace camlift::test {

TTempFolder::TTempFolder() : TTempFolder(TTools::GetTempDir()) {}

TTempFolder::TTempFolder(const std::string& base) {
  std::string pattern = base + "camlift-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data())) path_ = std::string(buffer.data()) + "/";
}

TTempFolder::~TTempFolder() {
  if (!path_.empty()) TTools::DeleteDir(path_, true);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace camlift::test
