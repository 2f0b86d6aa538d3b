// SPDX-License-Identifier: Apache-2.0
// Starting a detached thread in one place, so that a failed start (the system refuses another
// thread) is handled where the caller's counters are, and tests can make a start fail.
#pragma once

#include <functional>

namespace camlift {

// Starts fn on a detached thread; false when the thread could not be started (fn then never
// runs).
bool StartDetachedThread(std::function<void()> fn);
// Test seam: makes every following start fail (true) or work again (false).
void SetThreadStartFailureForTesting(bool fail);

}  // namespace camlift
