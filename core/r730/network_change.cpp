// SPDX-License-Identifier: Apache-2.0
#include "r730/network_change.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include "discovery/dev_types.h"
#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "platform/broadcast.h"
#include "r730/network_settings_check.h"
#include "r730/r730_series.h"
#include "r730/r730_settings.h"
#include "util/text.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

std::uint16_t PortOf(const std::string& text) {
  const std::string trimmed = TrimText(text);
  unsigned value = 0;
  const char* end = trimmed.data() + trimmed.size();
  const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
  if (trimmed.empty() || ec != std::errc() || ptr != end || value > 65535) return 0;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string PlainAddress(const std::string& typed) {
  const std::string text = TrimText(typed);
  const std::optional<std::uint32_t> address = ParseDottedIPv4(text);
  if (!address) return text;
  const std::uint32_t host = ntohl(*address);
  return std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xFF) + "." +
         std::to_string((host >> 8) & 0xFF) + "." + std::to_string(host & 0xFF);
}

bool CanChangeNetwork(const TDevInfo& row) {
  return row.DevType == kType8600 && MacDigits(row.NormID).has_value();
}

TNetworkFields NetworkFieldsOf(const TDevInfo& row) {
  TNetworkFields fields;
  fields.ip = ShownText(row.IPAddr);
  fields.netmask = ShownText(row.Netmask);
  fields.gateway = ShownText(row.Gateway);
  fields.dns1 = ShownText(row.DNS1);
  fields.dns2 = ShownText(row.DNS2);
  fields.port = std::to_string(row.DevPort);
  fields.dhcp = row.DhcpFlag == 1;
  return fields;
}

TDevInfo WantedNetwork(const TDevInfo& row, const TNetworkFields& fields) {
  TDevInfo wanted = row;
  wanted.DevPort = PortOf(fields.port);
  wanted.DhcpFlag = fields.dhcp ? 1 : 2;
  // With DHCP on, the greyed fields are not the user's: the camera keeps what it reported.
  if (fields.dhcp) return wanted;
  wanted.IPAddr = PlainAddress(fields.ip);
  wanted.Netmask = PlainAddress(fields.netmask);
  wanted.Gateway = PlainAddress(fields.gateway);
  wanted.DNS1 = PlainAddress(fields.dns1);
  wanted.DNS2 = PlainAddress(fields.dns2);
  return wanted;
}

std::string NetworkChangeProblem(const TDevInfo& wanted, const std::string& user,
                                 const std::string& password) {
  // ReplyFrom is still where the camera answers now: a camera on loopback (a simulated one) may
  // move within loopback, no other may move there.
  const TNetworkSettingsProblem problem = CheckNetworkSettings(wanted, wanted.ReplyFrom);
  if (problem != TNetworkSettingsProblem::None) return NetworkSettingsProblemKey(problem);
  // Without the camera's MAC the datagram would name another camera, or none.
  if (!CanChangeNetwork(wanted)) return "IDS_NETNOMAC";
  // The datagram sends the camera's name back with the settings: a name that fills its whole
  // field cannot go back whole, and cutting it would rename the camera.
  if (Build8600Settings(wanted, "", "").bytes.empty()) return "IDS_NETNAMETOOLONG";
  if (Build8600Settings(wanted, user, password).bytes.empty()) return "IDS_NETACCOUNTTOOLONG";
  return "";
}

std::string NetworkAddressText(const TDevInfo& wanted) {
  const std::string port = std::to_string(wanted.DevPort);
  if (wanted.DhcpFlag == 1) return LangFormat(GetLangStrUtf8("IDS_NETDHCPADDRESS"), {port});
  return ShownText(wanted.IPAddr) + ":" + port;
}

std::string NetworkOutcomeText(TSettingsOutcome outcome, const std::string& mac,
                               const std::string& where) {
  switch (outcome) {
    case TSettingsOutcome::Taken:
      return LangFormat(GetLangStrUtf8("IDS_NETTAKEN"), {mac, where});
    case TSettingsOutcome::Refused:
      return LangFormat(GetLangStrUtf8("IDS_NETREFUSED"), {mac, where});
    case TSettingsOutcome::NoAnswer:
      return LangFormat(GetLangStrUtf8("IDS_NETNOANSWER"), {mac, where});
    case TSettingsOutcome::NotSent:
      break;
  }
  return LangFormat(GetLangStrUtf8("IDS_NETNOTSENT"), {mac, GetLangStrUtf8("IDS_NETSENDFAILED")});
}

TNetworkChange::TNetworkChange(IUiDispatcher& ui, IR730Series& client) : ui_(ui), client_(client) {}

TNetworkChange::~TNetworkChange() { Stop(); }

std::string TNetworkChange::Start(const TDevInfo& current, const TDevInfo& wanted,
                                  const std::string& user, const std::string& password,
                                  TDoneHandler on_done) {
  if (Running()) return "IDS_NETBUSY";
  std::string problem = NetworkChangeProblem(wanted, user, password);
  if (!problem.empty()) return problem;
  JoinServingUi();  // the last change has ended: only its thread is left
  stop_ = false;
  finished_ = false;
  try {
    worker_ = std::thread([this, current, wanted, user, password, on_done = std::move(on_done)] {
      TSettingsOutcome outcome = TSettingsOutcome::NotSent;
      try {
        outcome = client_.SetNetwork(current.IPAddr, current.DevPort, user, password, wanted,
                                     current, TStopToken(&stop_));
      } catch (...) {
        // Out of memory or sockets, before the datagram could leave: nothing was sent, and the
        // program goes on.
      }
      // Stop, on the UI thread, sets the flag before it waits for this hand-off: read there, it
      // tells whether anybody still wants the answer.
      ui_.Invoke([&] {
        if (!stop_) on_done(outcome);
      });
      finished_ = true;
    });
  } catch (const std::system_error&) {
    finished_ = true;
    return "IDS_NETNOTHREAD";
  }
  return "";
}

bool TNetworkChange::Running() const { return !finished_; }

void TNetworkChange::Stop() {
  stop_ = true;
  JoinServingUi();
}

void TNetworkChange::WaitDone() { JoinServingUi(); }

void TNetworkChange::JoinServingUi() {
  if (!worker_.joinable()) return;
  // The worker may be handing its answer to this thread right now.
  WaitServingUi(ui_, [this] { return finished_.load(); });
  worker_.join();
}

}  // namespace camlift
