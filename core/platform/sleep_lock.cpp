// SPDX-License-Identifier: Apache-2.0
#include "platform/sleep_lock.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/timing.h"

namespace camlift {

TSleepLock& TSleepLock::operator=(TSleepLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void TSleepLock::Release() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

namespace {

struct TBusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct TMessageUnref {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using TBus = std::unique_ptr<sd_bus, TBusCloser>;
using TMessage = std::unique_ptr<sd_bus_message, TMessageUnref>;

class TBusError {
 public:
  TBusError() = default;
  TBusError(const TBusError&) = delete;
  TBusError& operator=(const TBusError&) = delete;
  ~TBusError() { sd_bus_error_free(&error_); }
  sd_bus_error* get() { return &error_; }
  // The bus's own message when it sent one, else the system's text for the result code.
  std::string Text(int result) const {
    if (sd_bus_error_is_set(&error_) && error_.message != nullptr) return error_.message;
    return std::strerror(-result);
  }

 private:
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

class TLogindSleepInhibitor final : public ISleepInhibitor {
 public:
  TSleepLock Inhibit(const TSleepLockRequest& request, std::string& error) override {
    error.clear();
    sd_bus* raw_bus = nullptr;
    int r = sd_bus_open_system(&raw_bus);
    TBus bus(raw_bus);
    if (r < 0) {
      error = "no system bus: " + std::string(std::strerror(-r));
      return {};
    }
    sd_bus_message* raw_call = nullptr;
    r = sd_bus_message_new_method_call(bus.get(), &raw_call, "org.freedesktop.login1",
                                       "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                       "Inhibit");
    TMessage call(raw_call);
    if (r >= 0) {
      r = sd_bus_message_append(call.get(), "ssss", "sleep:idle", request.who.c_str(),
                                request.why.c_str(), "block");
    }
    if (r < 0) {
      error = std::strerror(-r);
      return {};
    }
    TBusError bus_error;
    sd_bus_message* raw_reply = nullptr;
    const auto usec = static_cast<std::uint64_t>(Millis(Wait::SleepLockCall)) * 1000U;
    r = sd_bus_call(bus.get(), call.get(), usec, bus_error.get(), &raw_reply);
    TMessage reply(raw_reply);
    if (r < 0) {
      error = "the login manager did not grant the lock: " + bus_error.Text(r);
      return {};
    }
    int fd = -1;
    r = sd_bus_message_read(reply.get(), "h", &fd);
    if (r < 0 || fd < 0) {
      error = "the login manager's answer holds no lock";
      return {};
    }
    // The descriptor belongs to the reply, which goes away here: the lock keeps a copy of its
    // own, closed on exec so that no program started later keeps the computer awake.
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) {
      error = std::strerror(errno);
      return {};
    }
    return TSleepLock(own);
  }
};

}  // namespace

std::unique_ptr<ISleepInhibitor> MakeLogindSleepInhibitor() {
  return std::make_unique<TLogindSleepInhibitor>();
}

}  // namespace camlift
