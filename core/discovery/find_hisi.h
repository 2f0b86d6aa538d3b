// SPDX-License-Identifier: Apache-2.0
// TFind_Hisi: the search of the closed camera-search library. The library is optional: it is
// loaded at run time from "515/libDVSNETClient.so" beside the program of a build tree or a
// portable copy (the Linux name of the library the Windows program loads as
// "515\DVSNETClient.dll"), and from the program's library folder "<libdir>/camlift/" (for
// Debian /usr/lib/<triplet>/camlift/) for an installed copy; without it every operation does
// nothing. Each device the library reports becomes a record of type code 4.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/dvsnet_api.h"
#include "platform/dispatcher.h"

namespace camlift {

class TFind_Hisi {
 public:
  // Receives each record; may be called on a thread of the library. The record is valid only
  // during the call.
  using THandler = std::function<void(const TDevInfo&)>;

  // The arguments the search is started with.
  static constexpr std::int32_t kSearchWait = 3000;
  static constexpr std::int32_t kSearchMode = 1;

  // Loads the library from library_path; a failed load (or an empty path) leaves the object
  // without it.
  explicit TFind_Hisi(const std::string& library_path = DefaultLibraryPath());
  ~TFind_Hisi();
  TFind_Hisi(const TFind_Hisi&) = delete;
  TFind_Hisi& operator=(const TFind_Hisi&) = delete;

  // LibraryPathFor(TTools::ModulePath(), the library folder the program was built for); empty
  // when the library's folder, or one above it, may be written by another user
  // (ProgramFolderDistrust): that user could have put the library there.
  static std::string DefaultLibraryPath();
  // For a program in a system program folder (/usr/bin, ...) library_folder +
  // "camlift/libDVSNETClient.so", else program_folder + "515/libDVSNETClient.so". Both folders
  // end in "/".
  static std::string LibraryPathFor(const std::string& program_folder,
                                    const std::string& library_folder);

  bool Loaded() const { return library_ != nullptr; }
  void SetCallback(THandler handler);
  // True when the library started its search (its result was 0). With ui (call it on the UI
  // thread then), the library is called on a helper thread while the UI thread serves hand-offs:
  // the library may wait for its callback thread, which may be waiting for the UI thread.
  bool StartSearch(IUiDispatcher* ui = nullptr);
  // Stops the library's search and unloads it, serving the UI thread meanwhile so that a
  // callback waiting for it can finish. Call it on the UI thread; the destructor does the same
  // without serving.
  void Shutdown(IUiDispatcher* ui);

  // The callback handed to the library.
  static void SearchCallback(std::int32_t reserved1, const char* name, std::int32_t reserved3,
                             const char* ip, const std::uint8_t* mac, std::int32_t port,
                             std::int32_t aux_word, const char* netmask, const char* gateway,
                             const char* reserved10, const char* dns, std::int32_t reserved12,
                             std::int32_t reserved13, std::int32_t dhcp, void* context);

 private:
  struct TLibraryCloser {
    void operator()(void* handle) const;
  };

  std::unique_ptr<void, TLibraryCloser> library_;
  DVSNET_SearchServersFn search_servers_ = nullptr;
  DVSNET_StopSearchFn stop_search_ = nullptr;
  THandler handler_;
  std::atomic<bool> stopping_{false};
};

}  // namespace camlift
