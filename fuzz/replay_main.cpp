// SPDX-License-Identifier: Apache-2.0
// A plain driver for the fuzz targets: runs one target over files and folders of inputs (the
// committed corpus and the regression inputs) without libFuzzer, so that the normal build with
// any compiler replays them on every test run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path path = argv[i];
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
      for (const auto& entry : fs::recursive_directory_iterator(path, ec)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else if (fs::is_regular_file(path, ec)) {
      files.push_back(path);
    } else if (!fs::exists(path, ec)) {
      continue;  // a folder of regression inputs that nobody has needed yet
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), bytes.size());
    // An empty vector has no data(); libFuzzer hands over a valid pointer even for no bytes.
    static const std::uint8_t kEmpty = 0;
    LLVMFuzzerTestOneInput(
        bytes.empty() ? &kEmpty : reinterpret_cast<const std::uint8_t*>(bytes.data()),
        bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return files.empty() ? 1 : 0;
}
