// SPDX-License-Identifier: Apache-2.0
#include "platform/stop_token.h"

#include <algorithm>

namespace camlift {

TStopToken::TStopToken(const std::atomic<bool>* flag) {
  if (flag) flags_.push_back(flag);
}

TStopToken TStopToken::With(const TStopToken& outer) const {
  TStopToken both = *this;
  both.flags_.insert(both.flags_.end(), outer.flags_.begin(), outer.flags_.end());
  return both;
}

bool TStopToken::Requested() const {
  return std::any_of(flags_.begin(), flags_.end(),
                     [](const std::atomic<bool>* flag) { return flag->load(); });
}

}  // namespace camlift
