// SPDX-License-Identifier: Apache-2.0
// The order of each column of the camera list. Every comparison here is a strict weak order (the
// standard sorts are undefined without one): the dotted texts of the IP address and Version
// columns compare piece by piece as numbers, also when their numbers of pieces differ (a MO_I
// version "a.b.c.d:e.f.g.h" has seven against the four of other cameras).
#pragma once

#include <string_view>

namespace camlift {

// -1, 0 or 1. Both texts are split at "."; the pieces compare in order as decimal numbers (a
// piece that is not a number counts as 0, a number of any length counts whole). The first
// difference decides; when one text runs out of pieces first, it sorts first. So 192.168.1.9
// sorts before 192.168.1.10, 1.2 before 1.2.0, and texts of the same number of pieces compare as
// TTools_Net::CompareDotted compares them.
int CompareDottedOrder(std::string_view a, std::string_view b);

// -1, 0 or 1: an empty text first, then CompareDottedOrder. For a version that may be missing.
int CompareOptionalDotted(std::string_view a, std::string_view b);

}  // namespace camlift
