// SPDX-License-Identifier: Apache-2.0
// A stand-in for the closed camera-search library, for tests: it reports the devices scripted in
// CAMLIFT_STANDIN_DEVICES from a thread of its own, the way the real library calls back.
//
//   CAMLIFT_STANDIN_DEVICES  devices separated by ";", each
//                            name|ip|mac (12 hex digits)|port|aux|netmask|gateway|dns|dhcp
//   CAMLIFT_STANDIN_RESULT   what DVSNET_SearchServers returns (default 0; no search otherwise)
//   CAMLIFT_STANDIN_LOADED   a file that gets the line "loaded" as soon as the library is loaded
//                            (code of a library runs at load, before any call)
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "discovery/dvsnet_api.h"

namespace {

struct Device {
  std::string name, ip, netmask, gateway, dns;
  std::uint8_t mac[6] = {};
  std::int32_t port = 0, aux = 0, dhcp = 0;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::string piece;
  std::istringstream in(text);
  while (std::getline(in, piece, separator)) pieces.push_back(piece);
  return pieces;
}

std::vector<Device> ScriptedDevices() {
  std::vector<Device> devices;
  const char* script = std::getenv("CAMLIFT_STANDIN_DEVICES");
  if (!script) return devices;
  for (const std::string& entry : Split(script, ';')) {
    const std::vector<std::string> f = Split(entry, '|');
    if (f.size() < 9) continue;
    Device d;
    d.name = f[0];
    d.ip = f[1];
    for (int i = 0; i < 6 && f[2].size() >= 12; ++i) {
      d.mac[i] = static_cast<std::uint8_t>(std::stoul(f[2].substr(2 * i, 2), nullptr, 16));
    }
    d.port = std::atoi(f[3].c_str());
    d.aux = std::atoi(f[4].c_str());
    d.netmask = f[5];
    d.gateway = f[6];
    d.dns = f[7];
    d.dhcp = std::atoi(f[8].c_str());
    devices.push_back(d);
  }
  return devices;
}

std::mutex g_mutex;
std::thread g_thread;
std::atomic<bool> g_stop{false};
std::int32_t g_last_wait = -1, g_last_mode = -1, g_last_reserved = -1;
int g_calls = 0;

// What any library can do the moment it is loaded, search or not.
__attribute__((constructor)) void MarkLoaded() {
  if (const char* path = std::getenv("CAMLIFT_STANDIN_LOADED"); path && *path) {
    if (std::FILE* file = std::fopen(path, "a")) {
      std::fputs("loaded\n", file);
      std::fclose(file);
    }
  }
}

void StopThread() {
  g_stop = true;
  if (g_thread.joinable()) g_thread.join();
  g_stop = false;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t DVSNET_SearchServers(int32_t wait, int32_t mode,
                                                                    DVSNET_SearchCallback callback,
                                                                    void* context,
                                                                    int32_t reserved) {
  std::lock_guard lock(g_mutex);
  g_last_wait = wait;
  g_last_mode = mode;
  g_last_reserved = reserved;
  ++g_calls;
  const char* result = std::getenv("CAMLIFT_STANDIN_RESULT");
  if (result && std::atoi(result) != 0) return std::atoi(result);
  StopThread();
  g_thread = std::thread([callback, context, devices = ScriptedDevices()] {
    for (const Device& d : devices) {
      if (g_stop) return;
      callback(0, d.name.c_str(), 0, d.ip.c_str(), d.mac, d.port, d.aux, d.netmask.c_str(),
               d.gateway.c_str(), "", d.dns.c_str(), 0, 0, d.dhcp, context);
    }
  });
  return 0;
}

__attribute__((visibility("default"))) void DVSNET_StopSearch(void) {
  std::lock_guard lock(g_mutex);
  StopThread();
}

// For tests only: the arguments of the last DVSNET_SearchServers call and how many there were.
__attribute__((visibility("default"))) int32_t DVSNET_StandinLastCall(int32_t* wait, int32_t* mode,
                                                                      int32_t* reserved) {
  std::lock_guard lock(g_mutex);
  *wait = g_last_wait;
  *mode = g_last_mode;
  *reserved = g_last_reserved;
  return g_calls;
}

}  // extern "C"
