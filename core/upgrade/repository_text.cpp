#include "upgrade/repository_text.h"

#include "i18n/str_res.h"
#include "util/text_fields.h"

namespace camlift {

std::string ShownRepositoryUrl(const std::string& url) {
  return ShownText(WithoutUrlAccounts(url));
}

std::string RepositoryProblemText(const TRepositoryProblem& problem) {
  if (problem.key.empty()) return {};
  return GetLangStr(problem.key) + ShownRepositoryUrl(problem.detail);
}

}  // namespace camlift
