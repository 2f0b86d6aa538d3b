// SPDX-License-Identifier: Apache-2.0
// Query values (accounts, passwords, SSIDs, keys, host names) go into URLs only through here, so
// that "&", "#", blanks or CR LF in a value can neither break nor extend a request.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// RFC 3986 unreserved characters (A-Z a-z 0-9 - . _ ~) stay as they are; every other byte
// becomes %XX with upper-case hex digits. Plain accounts like admin / 531642 are unchanged.
std::string PercentEncode(std::string_view value);

}  // namespace camlift
