// SPDX-License-Identifier: Apache-2.0
#include "repository/repository_text.h"

#include <vector>

#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "util/text_fields.h"

namespace camlift {

std::string ShownRepositoryUrl(const std::string& url) {
  return ShownText(WithoutUrlAccounts(url));
}

std::string RepositoryProblemText(const TRepositoryProblem& problem) {
  if (problem.key.empty()) return {};
  std::vector<std::string> values;
  for (const std::string& value : problem.values) values.push_back(ShownRepositoryUrl(value));
  return LangFormat(GetLangStr(problem.key), values) + ShownRepositoryUrl(problem.detail);
}

}  // namespace camlift
