// SPDX-License-Identifier: Apache-2.0
// The simulated cameras' side of the LAN search: a UDP responder that listens on a dialect's
// port, records every datagram it receives and answers the ones meant for it. The dialects'
// answers are built by search_responder_<dialect>.cpp (kSearchDialects, search_responder_ext.cpp).
#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "shared_search_port.h"
#include "sim_record.h"

namespace camlift::sim {

using TBytes = std::vector<std::uint8_t>;

// What a camera tells the search about itself.
struct TSearchIdentity {
  std::string ip = "127.0.0.2";
  std::string netmask = "255.0.0.0";
  std::string gateway = "127.0.0.1";
  std::string dns1 = "127.0.0.1";
  std::string dns2;
  std::array<std::uint8_t, 6> mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  std::string device_id = "SIMCAM-000001";
  std::string name = "Camlift simulated camera";
  // Four dotted numbers each (MO_I sends them as bytes); the 1010 and 8600 replies carry the
  // system version as text.
  std::string sys_version = "1.0.0.1";
  std::string app_version = "1.0.0.1";
  std::string serial = "SIM0001";
  std::uint16_t port = 81;
  std::uint16_t aux_word = 0;
  bool dhcp = false;
  std::string ddns_host;
  std::string ddns_user;
  std::string ddns_password;
};

// "00:11:22:33:44:55" (or "-" separated, or 12 hex digits) as six bytes; false when malformed.
bool ParseMacText(const std::string& text, std::array<std::uint8_t, 6>& mac);

// Writes text into bytes[offset, offset + width), cut at width, zero-filled.
void PutText(TBytes& bytes, std::size_t offset, std::size_t width, const std::string& text);
void PutU16LE(TBytes& bytes, std::size_t offset, std::uint16_t value);
// A dotted quad as four bytes; zero bytes for a text that is not one.
void PutDotted(TBytes& bytes, std::size_t offset, const std::string& dotted);

// Sends a datagram to peer from source (dotted), as a camera that answers from its own address
// does, also through a socket bound to 0.0.0.0; from whatever address the system picks when
// source is empty or not one of this host's. True when it went out.
bool SendDatagramFrom(int socket, const std::string& source, const sockaddr_in& peer,
                      const void* data, std::size_t size);

// Answers one received datagram: zero or more datagrams back to its sender.
using TAnswerFn = std::function<std::vector<TBytes>(std::span<const std::uint8_t> datagram)>;

class TSearchResponder final : private ISharedPortMember {
 public:
  // port 0: any free port (tests). Every datagram is recorded under camera_name and dialect.
  TSearchResponder(std::string dialect, std::uint16_t port, TAnswerFn answer,
                   std::shared_ptr<TSimRecorder> recorder, std::string camera_name);
  ~TSearchResponder();
  TSearchResponder(const TSearchResponder&) = delete;
  TSearchResponder& operator=(const TSearchResponder&) = delete;

  // Listens on 0.0.0.0:port: through the port's socket shared by the simulator's cameras, or
  // (port 0, or a slow camera, which would hold the others up) through a socket of its own
  // bound with SO_REUSEADDR. Throws std::runtime_error when it cannot.
  void Start();
  // Answers leave from this address (the camera's own), not from the one the system picks for a
  // socket on 0.0.0.0; empty: the system's choice. Set before Start.
  void SetReplySource(std::string address) { reply_source_ = std::move(address); }
  // Answers leave only after SimWait::SlowSearchReply (the fault slow-search). Before Start.
  void SetSlow(bool slow) { slow_ = slow; }
  void Stop();
  // Called with the sender of every datagram received, before it is answered (set before Start).
  void SetOnDatagram(std::function<void(const sockaddr_in& sender)> on_datagram) {
    on_datagram_ = std::move(on_datagram);
  }
  std::uint16_t Port() const { return port_; }
  // Datagrams received so far.
  int Received() const { return received_.load(); }

 private:
  void Serve();
  std::uint32_t OwnAddress() const override;
  // Records and answers one datagram from peer through socket.
  void Take(std::span<const std::uint8_t> datagram, const sockaddr_in& peer, int socket) override;

  std::string dialect_;
  std::uint16_t port_;
  TAnswerFn answer_;
  std::function<void(const sockaddr_in&)> on_datagram_;
  std::shared_ptr<TSimRecorder> recorder_;
  std::string camera_name_;
  std::string reply_source_;
  std::uint32_t own_address_ = 0;  // reply_source_ as a number, 0 for none
  bool slow_ = false;
  std::shared_ptr<TSharedSearchPort> shared_;
  TSocketHandle socket_;
  TSocketHandle wake_read_;
  TSocketHandle wake_write_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> received_{0};
};

}  // namespace camlift::sim
