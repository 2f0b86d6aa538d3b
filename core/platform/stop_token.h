// SPDX-License-Identifier: Apache-2.0
// The stop requests a run obeys: its own flag and those of whoever started it (a batch's stop,
// the Ctrl+C of the command line). The run reads the callers' flags itself, so no thread has to
// copy one flag into another.
#pragma once

#include <atomic>
#include <vector>

namespace camlift {

// A lock-free flag is the one thing a signal handler may set.
static_assert(std::atomic<bool>::is_always_lock_free);

class TStopToken {
 public:
  TStopToken() = default;
  // A token that watches flag (none for a null pointer). Implicit: a flag is a token.
  TStopToken(const std::atomic<bool>* flag);  // NOLINT(google-explicit-constructor)

  // This token's flags and those of outer: stops when any of them is set.
  TStopToken With(const TStopToken& outer) const;
  bool Requested() const;

 private:
  // Every flag outlives the token: it belongs to the caller of the run the token is given to.
  std::vector<const std::atomic<bool>*> flags_;
};

}  // namespace camlift
