// SPDX-License-Identifier: Apache-2.0
// Builds ZIP archives for tests with libzip, including the hostile ones a repository could send.
#pragma once

#include <string>
#include <vector>

namespace camlift::test {

struct TZipEntry {
  std::string name;
  std::string content;
  bool symlink = false;  // stored with the Unix link mode; content is the link target
};

// Writes the archive; false when libzip refused it.
bool WriteZip(const std::string& path, const std::vector<TZipEntry>& entries);

}  // namespace camlift::test
