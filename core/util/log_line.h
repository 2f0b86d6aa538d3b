// SPDX-License-Identifier: Apache-2.0
// A line of the operation log: local short date, a blank, local long time, ":", then the text
// with no blank after the colon. The text is cleaned (ShownText) and no URL in it keeps its
// account (WithoutUrlAccounts): whatever a camera or a repository put into it stays on one line.
#pragma once

#include <ctime>
#include <string>

namespace camlift {

std::string LogTimeStamp(std::time_t when);
std::string FormatLogLine(const std::string& text, std::time_t when = std::time(nullptr));

}  // namespace camlift
