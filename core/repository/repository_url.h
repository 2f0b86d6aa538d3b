// SPDX-License-Identifier: Apache-2.0
// Where the firmware repository is: the command line, else CAMLIFT_REPOSITORY_URL, else key
// "repository" of section "Global" in the options file, else the address compiled in (which may
// be empty: then no repository is configured and the run says so).
#pragma once

#include <string>

namespace camlift {

std::string ResolveRepositoryUrl(const std::string& from_command_line);
// http or https with a path ending in "/" (a missing final "/" is added); empty for anything else.
std::string NormaliseRepositoryUrl(const std::string& url);

}  // namespace camlift
