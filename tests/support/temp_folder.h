// SPDX-License-Identifier: Apache-2.0
// A fresh folder below the temporary folder (or below base), removed with everything in it at the
// end of a test. Made for this user alone (mode 0700).
#pragma once

#include <string>

namespace camlift::test {

class TTempFolder {
 public:
  TTempFolder();
  // Below base (ending in "/"): for a folder the program may trust, unlike the shared /tmp.
  explicit TTempFolder(const std::string& base);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  // Ends in "/".
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace camlift::test
