// SPDX-License-Identifier: Apache-2.0
#include "discovery/manual_probe.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <mutex>
#include <thread>

#include "discovery/dev_types.h"
#include "discovery/udp_endpoint.h"
#include "platform/dispatcher.h"
#include "platform/thread_start.h"
#include "platform/timing.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// The first line of a page, trimmed: an OEM text is one word, but nothing stops a camera from
// sending a whole page.
std::string FirstLine(std::string_view text) {
  text = Trimmed(text);
  return std::string(Trimmed(text.substr(0, text.find_first_of("\r\n"))));
}

}  // namespace

std::optional<TManualAddress> ParseManualAddress(std::string_view text) {
  text = Trimmed(text);
  if (text.substr(0, 7) == "http://") text.remove_prefix(7);
  if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  TManualAddress address;
  const auto colon = text.find(':');
  std::string_view host = text.substr(0, colon);
  if (colon != std::string_view::npos) {
    const std::string_view port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || ptr != port.data() + port.size() || value == 0 || value > 65535) {
      return std::nullopt;
    }
    address.Port = static_cast<std::uint16_t>(value);
    address.PortGiven = true;
  }
  if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.' ||
      !std::all_of(host.begin(), host.end(), IsHostChar)) {
    return std::nullopt;
  }
  address.Host = std::string(host);
  return address;
}

std::optional<TDevInfo> ProbeAddress(const TManualAddress& address, int timeout_ms) {
  const std::string base = "http://" + address.Text();
  std::string oem;
  std::string appver;
  const bool oem_answered = TTools::HttpGetText(base + "/oem.txt", oem, timeout_ms, "", "");
  const bool appver_answered = TTools::HttpGetText(base + "/appver.js", appver, timeout_ms, "", "");
  if (!oem_answered && !appver_answered) return std::nullopt;
  TDevInfo record;
  record.DevType = kTypeManual;
  record.DevID = "manual:" + address.Text();
  record.NormID = NormalizeID(record.DevID);
  record.IPAddr = address.Host;
  record.DevPort = address.Port;
  std::string model;
  std::string version;
  if (appver.find("Unauthorized") == std::string::npos) {
    QuotedValueAfter(appver, "app_model", '"', model);
    QuotedValueAfter(appver, "app_ver", '"', version);
  }
  // The number an upgrade would read from the same page.
  record.Version = VersionWithoutV(version);
  if (oem_answered && oem.find("Unauthorized") == std::string::npos) {
    record.DevName = FirstLine(oem);
  }
  if (record.DevName.empty()) record.DevName = std::string(Trimmed(model));
  return record;
}

struct TManualProbe::TShared {
  // Held by a worker while it hands its result over, so that Stop can take the dispatcher away
  // only while no worker is inside it.
  std::mutex mutex;
  IUiDispatcher* ui = nullptr;
  unsigned generation = 0;
  std::atomic<int> running{0};
  std::atomic<bool> stop{false};  // Stop: a series question still asked ends early
};

namespace {

// Takes mutex on the UI thread; a worker that holds it may be waiting for the UI thread.
std::unique_lock<std::mutex> LockServingUi(IUiDispatcher& ui, std::mutex& mutex) {
  std::unique_lock lock(mutex, std::defer_lock);
  WaitServingUi(ui, [&] { return lock.owns_lock() || lock.try_lock(); });
  return lock;
}

}  // namespace

TManualProbe::TManualProbe(IUiDispatcher& ui) : ui_(ui), shared_(std::make_shared<TShared>()) {
  shared_->ui = &ui;
}

TManualProbe::~TManualProbe() { Stop(); }

void TManualProbe::Start(const std::string& address_text, TResultHandler on_result) {
  unsigned generation = 0;
  {
    auto lock = LockServingUi(ui_, shared_->mutex);
    if (!shared_->ui) return;
    generation = ++shared_->generation;
  }
  const std::optional<TManualAddress> address = ParseManualAddress(address_text);
  if (!address) {
    on_result(address_text, std::nullopt);
    return;
  }
  ++shared_->running;
  const int timeout_ms = Millis(Wait::HttpGetNet);
  const bool started =
      StartDetachedThread([shared = shared_, generation, text = address_text, address = *address,
                           timeout_ms, on_result, teller = teller_] {
        std::optional<TDevInfo> record = ProbeAddress(address, timeout_ms);
        if (record && teller) {
          // The same question an upgrade of a typed address asks, asked once here: the row carries
          // the answer, and the window takes the series with the camera.
          const TRunControl control({}, TStopToken(&shared->stop));
          record->ProbedSeries = teller(address.Host, address.Port, control);
        }
        {
          std::lock_guard lock(shared->mutex);
          if (shared->ui && shared->generation == generation) {
            shared->ui->Invoke([&] { on_result(text, record); });
          }
        }
        --shared->running;
      });
  if (!started) {
    // Nothing runs: take the count back (teardown waits for it) and say the address is silent.
    --shared_->running;
    on_result(address_text, std::nullopt);
  }
}

void TManualProbe::Stop() {
  shared_->stop = true;
  auto lock = LockServingUi(ui_, shared_->mutex);
  shared_->ui = nullptr;
}

void TManualProbe::WaitDone() {
  WaitServingUi(ui_, [this] { return shared_->running.load() == 0; });
}

int TManualProbe::Running() const { return shared_->running.load(); }

}  // namespace camlift
