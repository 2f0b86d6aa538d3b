// SPDX-License-Identifier: Apache-2.0
// The upgrade record as a person reads it in the window: times in local time in the form of the
// operation log, result words in the current language.
#pragma once

#include <string>

namespace camlift {

// "2026-12-10T13:21:28Z" (UTC, as the record holds it) as the log writes a local time; a text of
// another form is given back as it is.
std::string HistoryLocalTime(const std::string& utc_time);
// "ok", "failed", ... in the current language; a result the language files do not name is given
// back as it is.
std::string HistoryResultText(const std::string& result);

}  // namespace camlift
