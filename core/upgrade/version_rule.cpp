// SPDX-License-Identifier: Apache-2.0
#include "upgrade/version_rule.h"

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/tools_net.h"
#include "util/text.h"

namespace camlift {
namespace {

std::vector<std::string_view> Pieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const std::size_t dot = text.find('.');
    pieces.push_back(text.substr(0, dot));
    if (dot == std::string_view::npos) return pieces;
    text.remove_prefix(dot + 1);
  }
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Decimal pieces by their value (leading zeros do not count), anything else as text.
int ComparePiece(std::string_view a, std::string_view b) {
  if (AllDigits(a) && AllDigits(b)) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() > b.size() ? 1 : -1;
    return a == b ? 0 : (a > b ? 1 : -1);
  }
  const std::string la = LowerAscii(a);
  const std::string lb = LowerAscii(b);
  return la == lb ? 0 : (la > lb ? 1 : -1);
}

TVersionStep StepOf(int order) {
  if (order > 0) return TVersionStep::Upgrade;
  if (order < 0) return TVersionStep::Downgrade;
  return TVersionStep::Same;
}

}  // namespace

TVersionStep CompareCatalogueVersion(std::string_view current, std::string_view catalogue,
                                     TVersionRule rule) {
  const std::string now = TrimText(current);
  const std::string offered = TrimText(catalogue);
  if (rule == TVersionRule::ThirdPart) {
    const std::vector<std::string_view> a = Pieces(offered);
    const std::vector<std::string_view> b = Pieces(now);
    // A text of fewer than four pieces is no K system version: the whole texts decide.
    if (a.size() >= 4 && b.size() >= 4) {
      return StepOf(ComparePiece(TrimText(a[2]), TrimText(b[2])));
    }
  }
  if (LowerAscii(now) == LowerAscii(offered)) return TVersionStep::Same;
  // Texts that differ but do not order (a leading V, leading zeros, letters) are another
  // version, installed as any differing version always was; only a clearly older one is not.
  const auto without_v = [](std::string_view text) {
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);
    return text;
  };
  const int order = TTools_Net::CompareDotted(without_v(offered), without_v(now));
  return order < 0 ? TVersionStep::Downgrade : TVersionStep::Upgrade;
}

}  // namespace camlift
