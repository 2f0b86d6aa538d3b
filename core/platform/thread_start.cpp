// SPDX-License-Identifier: Apache-2.0
#include "platform/thread_start.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace camlift {
namespace {

std::atomic<bool> g_fail{false};

}  // namespace

bool StartDetachedThread(std::function<void()> fn) {
  if (g_fail.load()) return false;
  try {
    std::thread(std::move(fn)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void SetThreadStartFailureForTesting(bool fail) { g_fail = fail; }

}  // namespace camlift
