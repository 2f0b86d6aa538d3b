// SPDX-License-Identifier: Apache-2.0
// Keeping the computer awake: the login manager's inhibitor lock against sleep and idle. The lock
// is a file descriptor that the login manager hands out; it holds while the descriptor is open
// and ends when it is closed, also when the process ends in any way (the kernel closes it).
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace camlift {

// A lock held, or none. Closing the descriptor releases it.
class TSleepLock {
 public:
  TSleepLock() = default;
  explicit TSleepLock(int fd) : fd_(fd) {}
  TSleepLock(const TSleepLock&) = delete;
  TSleepLock& operator=(const TSleepLock&) = delete;
  TSleepLock(TSleepLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TSleepLock& operator=(TSleepLock&& other) noexcept;
  ~TSleepLock() { Release(); }

  bool Held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
};

// What a lock is asked for with: who holds it and why, as a user sees them in the list of
// locks (texts of this program, UTF-8).
struct TSleepLockRequest {
  std::string who;
  std::string why;
};

class ISleepInhibitor {
 public:
  virtual ~ISleepInhibitor() = default;
  // A lock against sleep and idle that blocks them ("sleep:idle", "block"), or no lock and the
  // reason in error (English, as the system or the bus gives it).
  virtual TSleepLock Inhibit(const TSleepLockRequest& request, std::string& error) = 0;
};

// The login manager (org.freedesktop.login1) on the system bus, through libsystemd's sd-bus:
// DBUS_SYSTEM_BUS_ADDRESS names another bus. Every call connects anew and waits at most
// Wait::SleepLockCall for the answer; the lock lives on without the connection.
std::unique_ptr<ISleepInhibitor> MakeLogindSleepInhibitor();

}  // namespace camlift
