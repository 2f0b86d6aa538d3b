// SPDX-License-Identifier: Apache-2.0
#include "repository/repository_url.h"

#include <cstdlib>

#include "util/option_file.h"

#ifndef CAMLIFT_DEFAULT_REPOSITORY
#define CAMLIFT_DEFAULT_REPOSITORY ""
#endif

namespace camlift {

std::string NormaliseRepositoryUrl(const std::string& url) {
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return {};
  std::string out = url;
  if (out.back() != '/') out += '/';
  return out;
}

std::string ResolveRepositoryUrl(const std::string& from_command_line) {
  if (!from_command_line.empty()) return NormaliseRepositoryUrl(from_command_line);
  if (const char* env = std::getenv("CAMLIFT_REPOSITORY_URL"); env && *env) {
    return NormaliseRepositoryUrl(env);
  }
  const std::string configured = TOptionFile().ReadString("Global", "repository", "");
  if (!configured.empty()) return NormaliseRepositoryUrl(configured);
  return NormaliseRepositoryUrl(CAMLIFT_DEFAULT_REPOSITORY);
}

}  // namespace camlift
