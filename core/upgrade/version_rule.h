// SPDX-License-Identifier: Apache-2.0
// Whether the catalogue's version would move a camera forward, keep it where it is or take it
// back: one rule for the upgrade itself, the update check of the window and `camlift status`.
// Equal texts (trimmed, ignoring case) are the same version. Others are compared piece by piece
// as dotted numbers (10.0.0.10 is newer than 10.0.0.9; a leading V is not part of the number);
// texts with different numbers of pieces are compared as plain texts, ignoring case. Only a
// catalogue version that comes out older is a downgrade: one that differs without an order is
// installed as before.
#pragma once

#include <string_view>

namespace camlift {

// Which part of a version tells two firmware builds apart.
enum class TVersionRule {
  Whole,      // the whole version text
  ThirdPart,  // series K system firmware a.b.c.d: only c (a.b.X.d names the catalogue section)
};

enum class TVersionStep {
  Upgrade,    // the catalogue's version is newer, or differs without being older
  Same,       // the camera runs it already
  Downgrade,  // the camera runs a newer version than the catalogue's
};

TVersionStep CompareCatalogueVersion(std::string_view current, std::string_view catalogue,
                                     TVersionRule rule);

}  // namespace camlift
