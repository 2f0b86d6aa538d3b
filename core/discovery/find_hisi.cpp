// SPDX-License-Identifier: Apache-2.0
#include "discovery/find_hisi.h"

#include <dlfcn.h>

#include <array>
#include <filesystem>
#include <system_error>
#include <thread>

#include "discovery/dev_types.h"
#include "discovery/udp_endpoint.h"
#include "platform/dispatcher.h"
#include "platform/paths.h"
#include "util/tools.h"

#ifndef CAMLIFT_INSTALL_LIBDIR
#define CAMLIFT_INSTALL_LIBDIR "/usr/lib"
#endif

namespace camlift {
namespace {

std::string TextOf(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

void TFind_Hisi::TLibraryCloser::operator()(void* handle) const { ::dlclose(handle); }

TFind_Hisi::TFind_Hisi(const std::string& library_path) {
  if (library_path.empty()) return;
  library_.reset(::dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library_) return;
  search_servers_ =
      reinterpret_cast<DVSNET_SearchServersFn>(::dlsym(library_.get(), DVSNET_SEARCH_SERVERS));
  stop_search_ = reinterpret_cast<DVSNET_StopSearchFn>(::dlsym(library_.get(), DVSNET_STOP_SEARCH));
}

TFind_Hisi::~TFind_Hisi() { Shutdown(nullptr); }

std::string TFind_Hisi::DefaultLibraryPath() {
  const std::string library = LibraryPathFor(TTools::ModulePath(), CAMLIFT_INSTALL_LIBDIR "/");
  // A library in a folder that another user may write would run as this user: none is loaded
  // from there (ProgramFolderWarning says so at start for the program folder).
  // A folder that does not exist yet is judged by the nearest one above it: only who may write
  // there could make it.
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(library).parent_path();
  while (!std::filesystem::exists(folder, ec) && folder.has_parent_path() &&
         folder.parent_path() != folder) {
    folder = folder.parent_path();
  }
  if (!ProgramFolderDistrust(folder.string()).empty()) return {};
  // Nor a library that another user may change, though its folder is ours.
  if (!ProgramFileDistrust(library).empty()) return {};
  return library;
}

std::string TFind_Hisi::LibraryPathFor(const std::string& program_folder,
                                       const std::string& library_folder) {
  // An installed program keeps no files beside itself in /usr/bin: its libraries live in the
  // library folder, as the file system layout asks.
  if (IsSystemProgramFolder(program_folder)) return library_folder + "camlift/libDVSNETClient.so";
  return program_folder + "515/libDVSNETClient.so";
}

void TFind_Hisi::SetCallback(THandler handler) { handler_ = std::move(handler); }

namespace {

// Runs call on a helper thread while the UI thread serves hand-offs; on the calling thread when
// there is no UI to serve or no thread to be had.
void CallServingUi(IUiDispatcher* ui, const std::function<void()>& call) {
  if (ui) {
    std::atomic<bool> done{false};
    try {
      std::thread helper([&] {
        call();
        done = true;
      });
      WaitServingUi(*ui, [&] { return done.load(); });
      helper.join();
      return;
    } catch (const std::system_error&) {
      // No helper thread: call directly below.
    }
  }
  call();
}

}  // namespace

bool TFind_Hisi::StartSearch(IUiDispatcher* ui) {
  if (!library_ || !search_servers_ || stopping_) return false;
  std::int32_t result = -1;
  CallServingUi(
      ui, [&] { result = search_servers_(kSearchWait, kSearchMode, &SearchCallback, this, 0); });
  return result == 0;
}

void TFind_Hisi::Shutdown(IUiDispatcher* ui) {
  if (!library_) return;
  stopping_ = true;
  if (stop_search_) CallServingUi(ui, [this] { stop_search_(); });
  library_.reset();
  search_servers_ = nullptr;
  stop_search_ = nullptr;
}

void TFind_Hisi::SearchCallback(std::int32_t, const char* name, std::int32_t, const char* ip,
                                const std::uint8_t* mac, std::int32_t port, std::int32_t aux_word,
                                const char* netmask, const char* gateway, const char*,
                                const char* dns, std::int32_t, std::int32_t, std::int32_t dhcp,
                                void* context) {
  auto* self = static_cast<TFind_Hisi*>(context);
  if (!self || self->stopping_ || !self->handler_) return;
  TDevInfo record;
  record.DevType = kTypeClosedLibrary;
  record.DevName = TextOf(name);
  record.IPAddr = TextOf(ip);
  std::array<std::uint8_t, 6> mac_bytes{};
  if (mac) std::copy(mac, mac + 6, mac_bytes.begin());
  record.DevID = MacToHex(mac_bytes);
  record.DevPort = static_cast<std::uint16_t>(port & 0xFFFF);
  record.AuxWord = static_cast<std::uint16_t>(aux_word & 0xFFFF);
  record.Netmask = TextOf(netmask);
  record.Gateway = TextOf(gateway);
  record.DNS1 = TextOf(dns);
  record.DhcpFlag = dhcp == 1 ? 1 : 2;
  self->handler_(record);
}

}  // namespace camlift
