// SPDX-License-Identifier: Apache-2.0
// TR730Series: the one client object for series R cameras, reached through R730Client(). Its
// search, its two firmware uploads and its configuration calls live in separate files
// (r730_search.cpp, r730_upload.cpp, r730_config.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/own_thread_search.h"
#include "platform/stop_token.h"

namespace camlift {

class TRunControl;

struct TWiFiParams;
struct TDdnsParams;
struct TWiFiEntry;

// What became of a settings datagram: a camera that answers says whether it took the settings
// (it refuses them for a wrong account); a camera that was not reached says nothing.
enum class TSettingsOutcome {
  Taken,
  Refused,   // the camera answered that it did not take them
  NoAnswer,  // no answer within the limit, or a stop ended the wait
  NotSent,   // the datagram could not be built or sent from this computer
};

// Receives the records of a series R search, as many at once as were waiting.
using TR730SearchHandler = TDeviceRecordsHandler;

class IR730Series : public IOwnThreadSearch {
 public:
  // Sends the settings datagram for wanted and waits for the camera's answer. A stop ends the
  // wait early (NoAnswer): the window that asked is going away.
  virtual TSettingsOutcome SetNetwork(const std::string& ip, std::uint16_t port,
                                      const std::string& user, const std::string& password,
                                      const TDevInfo& wanted, const TDevInfo& current,
                                      const TStopToken& stop) = 0;
  TSettingsOutcome SetNetwork(const std::string& ip, std::uint16_t port, const std::string& user,
                              const std::string& password, const TDevInfo& wanted,
                              const TDevInfo& current) {
    return SetNetwork(ip, port, user, password, wanted, current, TStopToken());
  }
  virtual void SetDevice(const std::optional<TDevInfo>& record) = 0;
  virtual std::optional<TDevInfo> GetDevice() const = 0;
  virtual bool CheckLogin(const std::string& base_url, const std::string& user,
                          const std::string& password) = 0;
  virtual bool SetFactoryParams(const std::string& user, const std::string& password,
                                const TDevInfo& current, const TDevInfo& wanted,
                                const std::string& wifi_mac) = 0;
  virtual bool RestoreDefaults(const std::string& user, const std::string& password) = 0;
  virtual std::int32_t ScanWifi(const std::string& user, const std::string& password,
                                std::vector<TWiFiEntry>& list) = 0;
  // The cached record; the caller edits it before WriteWifi.
  virtual TWiFiParams* ReadWifi(const std::string& user, const std::string& password) = 0;
  virtual std::int32_t WriteWifi(const std::string& user, const std::string& password) = 0;
  // The cached record (never null); the caller edits it before WriteDdns.
  virtual TDdnsParams* ReadDdns(const std::string& user, const std::string& password,
                                bool use_cached) = 0;
  virtual std::uint8_t WriteDdns(const std::string& user, const std::string& password) = 0;
  virtual bool UploadSystemFirmware(const std::string& base_url, const std::string& user,
                                    const std::string& password, const std::string& file_path,
                                    const TRunControl& control) = 0;
  virtual bool UploadUIFirmware(const std::string& base_url, const std::string& user,
                                const std::string& password, const std::string& file_path,
                                const TRunControl& control) = 0;
};

class TR730Series final : public IR730Series {
 public:
  TR730Series();
  ~TR730Series() override;

  void SearchDevices(std::uint16_t port, const TR730SearchHandler& handler) override;
  std::uint16_t BlockedPort() const override;
  void StopSearches(IUiDispatcher& ui) override;
  using IR730Series::SetNetwork;
  TSettingsOutcome SetNetwork(const std::string& ip, std::uint16_t port, const std::string& user,
                              const std::string& password, const TDevInfo& wanted,
                              const TDevInfo& current, const TStopToken& stop) override;
  // A different camera makes the settings read from the previous one stale.
  void SetDevice(const std::optional<TDevInfo>& record) override;
  std::optional<TDevInfo> GetDevice() const override { return device_; }
  bool CheckLogin(const std::string& base_url, const std::string& user,
                  const std::string& password) override;
  bool SetFactoryParams(const std::string& user, const std::string& password,
                        const TDevInfo& current, const TDevInfo& wanted,
                        const std::string& wifi_mac) override;
  bool RestoreDefaults(const std::string& user, const std::string& password) override;
  std::int32_t ScanWifi(const std::string& user, const std::string& password,
                        std::vector<TWiFiEntry>& list) override;
  TWiFiParams* ReadWifi(const std::string& user, const std::string& password) override;
  std::int32_t WriteWifi(const std::string& user, const std::string& password) override;
  TDdnsParams* ReadDdns(const std::string& user, const std::string& password,
                        bool use_cached) override;
  std::uint8_t WriteDdns(const std::string& user, const std::string& password) override;
  bool UploadSystemFirmware(const std::string& base_url, const std::string& user,
                            const std::string& password, const std::string& file_path,
                            const TRunControl& control) override;
  bool UploadUIFirmware(const std::string& base_url, const std::string& user,
                        const std::string& password, const std::string& file_path,
                        const TRunControl& control) override;

  // "http://" + Device IPAddr, then ":" + DevPort unless it is 80; empty without a Device.
  std::string BaseUrl() const;

  // The upload base of a camera whose status page reports version: the base URL for versions
  // below "84.2.0.121" (byte-wise text comparison), else "http://" + host + ":8600".
  static std::string UploadBase(const std::string& base_url, const std::string& version,
                                const std::string& host);

 private:
  bool UploadFirmware(const std::string& page, const std::string& base_url, const std::string& user,
                      const std::string& password, const std::string& file_path,
                      const TRunControl& control);

  std::optional<TDevInfo> device_;
  std::unique_ptr<TWiFiParams> wifi_params_;
  std::unique_ptr<TDdnsParams> ddns_params_;
};

// The shared instance for the whole run.
IR730Series& R730Client();

}  // namespace camlift
