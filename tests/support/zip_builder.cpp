#include "zip_builder.h"

#include <sys/stat.h>
#include <zip.h>

namespace camlift::test {

bool WriteZip(const std::string& path, const std::vector<TZipEntry>& entries) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) return false;
  for (const TZipEntry& e : entries) {
    zip_source_t* source = zip_source_buffer(zip, e.content.data(), e.content.size(), 0);
    // Duplicate names need ZIP_FL_OVERWRITE off and a raw add; libzip refuses exact duplicates,
    // so a second entry of the same name is renamed afterwards.
    const zip_int64_t index = zip_file_add(zip, e.name.c_str(), source, ZIP_FL_ENC_RAW);
    if (index < 0) {
      const zip_int64_t other = zip_file_add(zip, ("dup-" + e.name).c_str(), source, ZIP_FL_ENC_RAW);
      if (other < 0 || zip_file_rename(zip, other, e.name.c_str(), ZIP_FL_ENC_RAW) != 0) {
        zip_source_free(source);
        zip_discard(zip);
        return false;
      }
      continue;
    }
    if (e.symlink) {
      zip_file_set_external_attributes(zip, index, 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    }
  }
  return zip_close(zip) == 0;
}

}  // namespace camlift::test
