// SPDX-License-Identifier: Apache-2.0
// A series K package: the inspector's full walk over the bytes, and the header check the
// transfer makes on a file (here a file that lives in memory only).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "ctp/ctp_session.h"
#include "ctp/pk2_format.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const TPk2Report report = InspectPk2({data, size});
  if (report.ok) {
    FUZZ_CHECK(report.count >= 0);
    FUZZ_CHECK(report.entries.size() == static_cast<std::size_t>(report.count));
    FUZZ_CHECK(report.trailing >= 0);
  }
  for (const TPk2Entry& entry : report.entries) {
    FUZZ_CHECK(entry.offset >= 0 && static_cast<std::uint64_t>(entry.offset) < size);
    FUZZ_CHECK(entry.size >= 0);
    FUZZ_CHECK(entry.name.size() <= static_cast<std::size_t>(Pk2Layout::kMaxNameLength));
  }

  const int fd = ::memfd_create("package", MFD_CLOEXEC);
  if (fd < 0) return 0;
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const bool header_ok = TSocketThread::CheckPackage(path);
  FUZZ_CHECK(header_ok == (size >= Pk2Layout::kHeaderSize && IsPk2Header({data, size})));
  // The transfer reads the package through this file object: step over every entry by the body
  // length its header gives, as the transfer does with types it does not know.
  TPk2File package;
  if (header_ok && package.Open(path)) {
    std::uint8_t header[Pk2Layout::kHeaderSize];
    FUZZ_CHECK(package.Read(header, sizeof header) == sizeof header);
    std::uint8_t entry[Pk2Layout::kEntryHeaderSize];
    for (int i = 0; i < 64 && package.Read(entry, sizeof entry) == sizeof entry; ++i) {
      if (!package.Skip(ReadLe32(entry + Pk2Layout::kBodyLengthOffset))) break;
    }
    FUZZ_CHECK(package.Position() >= 0);
  }
  ::close(fd);
  return 0;
}
