// SPDX-License-Identifier: Apache-2.0
// A file replaced whole: a reader (a collector that scrapes it, a tail) sees the old bytes or the
// new ones, never a part.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// Writes bytes to a new file beside path and renames it to path. The new file gets a random
// name of this call's own (".<name>.XXXXXX"), created anew: a link planted under any name in the
// folder is never followed. A link at path itself is replaced by the file, not written through.
// The file has mode 0644: a collector that runs as another user must read it. False with the reason
// in error (English, as the system says it); nothing is left then.
bool ReplaceFileWhole(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace camlift
