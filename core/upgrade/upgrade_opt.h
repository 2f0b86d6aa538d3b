// TUpgradeOpt: the file steps of an upgrade — fetch an archive, check its MD5, unpack it.
#pragma once

#include <string>

#include "upgrade/run_control.h"

namespace camlift {

class TUpgradeOpt {
 public:
  TUpgradeOpt() = delete;

  // GET url into path (created or emptied first). No redirects; an error status, a connect
  // time-out or a stall without progress gives false and leaves what arrived.
  static bool DownloadFile(const std::string& url, const std::string& path,
                           const TRunControl& control = TRunControl::None());
  // True when the MD5 of the file (an unreadable file counts as empty) equals expected,
  // ignoring case.
  static bool CheckFileMD5(const std::string& path, const std::string& expected);
  // Unpacks every entry of the archive into the folder of target (created when missing) and
  // reports whether target exists afterwards. An archive with an unsafe or broken entry is
  // refused whole: nothing is written outside the folder and nothing lands under a final name.
  static bool UnpackArchive(const std::string& archive, const std::string& target);
};

}  // namespace camlift
