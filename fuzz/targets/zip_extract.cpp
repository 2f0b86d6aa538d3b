// SPDX-License-Identifier: Apache-2.0
// Unpacking an arbitrary archive into a scratch folder: whatever the bytes, nothing lands
// outside the destination, a refused archive leaves the destination empty, and nothing that
// came out is a link.
#include "repository/zip_extract.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_check.h"

namespace fs = std::filesystem;

namespace {

std::string ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/camlift-fuzz-zip-XXXXXX";
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
  return pattern;
}

const fs::path& Scratch() {
  static const fs::path folder = ScratchFolder();
  return folder;
}

struct Cleanup {
  ~Cleanup() {
    std::error_code ec;
    fs::remove_all(Scratch(), ec);
  }
};
Cleanup cleanup_at_exit;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const fs::path archive = Scratch() / "input.zip";
  const fs::path destination = Scratch() / "dest";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string error;
  // Small limits keep a bomb in the corpus from filling the disk.
  TZipLimits limits;
  limits.max_total_bytes = 8u << 20;
  limits.max_entries = 256;
  const bool ok = ExtractZipSafely(archive.string(), destination.string(), error, limits);
  FUZZ_CHECK(ok || !error.empty());

  std::error_code ec;
  std::size_t items = 0;
  for (const auto& entry : fs::directory_iterator(Scratch(), ec)) {
    const std::string name = entry.path().filename().string();
    FUZZ_CHECK(name == "input.zip" || name == "dest");
    ++items;
  }
  FUZZ_CHECK(items <= 2);
  std::size_t unpacked = 0;
  for (auto it = fs::recursive_directory_iterator(destination, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    FUZZ_CHECK(!it->is_symlink());
    // The staging folder never stays behind.
    FUZZ_CHECK(it->path().filename().string().rfind(".unpack-", 0) != 0);
    ++unpacked;
  }
  if (!ok) FUZZ_CHECK(unpacked == 0);
  fs::remove_all(destination, ec);
  return 0;
}
