// SPDX-License-Identifier: Apache-2.0
// The fault switches of the simulator, each declared once by the side that acts on it:
//   the camera's web side, its restart and its LAN search: CAMLIFT_SIM_CAMERA_FAULTS (below);
//   series K's command service, with the rule of each: CAMLIFT_SIM_CTP_FAULTS (ctp_faults.h);
//   series R's configuration calls: CAMLIFT_SIM_R730_FAULTS (r730_faults.h);
//   the firmware repository: CAMLIFT_SIM_REPO_FAULTS (below).
// The camera's rows make one enum, TCameraFault, and one table of names; scenario files
// ("faults"), --fault and its help all go through that table with the one lookup FindFault, and
// so do the repository's rows (TRepoFault). What a fault does is written where it acts: the web
// side in sim_camera.cpp and sim_upload_verdict.cpp, the restart in TSimCamera::RestartLoop, the
// search in search_responder_ext.cpp and ctp_extension.cpp, the others beside their rows.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ctp_faults.h"
#include "r730_faults.h"

// Switches of the camera's web side, its restart and its LAN search. X(fault, name, what)
#define CAMLIFT_SIM_CAMERA_FAULTS(X)                                                          \
  X(RejectAccount, "reject-account", "every account is refused")                              \
  X(NotListening, "not-listening", "no port is ever opened (connections are refused)")        \
  X(NeverAnswers, "never-answers", "connections are accepted and never answered")             \
  X(RedirectUpload, "redirect-upload", "an upload is answered 302 to /login.htm, no restart") \
  X(CloseMidUpload, "close-mid-upload", "the connection is reset after close_after_bytes")    \
  X(NeverReturns, "never-returns", "after an accepted upload the camera stays away for good") \
  X(OldVersion, "old-version", "the camera comes back with the version it had before")        \
  X(SlowSearch, "slow-search",                                                                \
    "search replies leave after a pause (another host may answer first)")                     \
  X(VersionUnreadable, "version-unreadable",                                                  \
    "after an accepted upload /appver.js and /get_status.cgi answer 503 without a version; "  \
    "/oem.txt keeps answering")                                                               \
  X(AccountReset, "account-reset",                                                            \
    "after an accepted upload every account is refused, as by a firmware that reset it")      \
  X(MacFlood, "mac-flood",                                                                    \
    "every 1010 search query is also answered with 1024 info replies, each with a MAC never " \
    "sent before")                                                                            \
  X(SearchPortStream, "search-port-stream",                                                   \
    "an 8600 search query starts a stream of junk datagrams, one every 5 ms, to the port it " \
    "came from, for as long as the camera runs")

// Switches of the simulated firmware repository (sim_repository.h). X(fault, name, what)
#define CAMLIFT_SIM_REPO_FAULTS(X)                                                              \
  X(Down, "down", "nothing listens")                                                            \
  X(Catalog404, "catalog-404", "firmware.txt answers 404")                                      \
  X(Catalog500, "catalog-500", "firmware.txt answers 500")                                      \
  X(Archive404, "archive-404", "every archive answers 404")                                     \
  X(Archive500, "archive-500", "every archive answers 500")                                     \
  X(WrongMd5, "wrong-md5", "the catalogue's MD5 values do not match the archives")              \
  X(Truncated, "truncated", "archives are cut to half their size")                              \
  X(NotZip, "not-zip", "archives are replaced by text that is no ZIP at all")                   \
  X(EvilEntry, "evil-entry", "archives also hold an entry \"../evil.bin\"")                     \
  X(Stall, "stall", "half of an archive is sent, then nothing until the client leaves")         \
  X(RedirectHttp, "redirect-http", "every request is redirected to the same path over http")    \
  X(SlowArchive, "slow-archive", "archives trickle, one byte every 15 s (scaled)")              \
  X(SlowCatalogue, "slow-catalogue", "firmware.txt trickles, one byte every 15 s (scaled)")     \
  X(SlowSignature, "slow-signature", "firmware.txt.sig trickles, one byte every 15 s (scaled)") \
  X(Signature500, "signature-500", "firmware.txt.sig answers 500")                              \
  X(SignatureClose, "signature-close", "a request for firmware.txt.sig is closed unanswered")   \
  X(ReplayedSignature, "replayed-signature",                                                    \
    "every file of a folder comes from the first other folder with a signed catalogue: its "    \
    "firmware.txt, firmware.txt.sig and archives")

namespace camlift::sim {

#define CAMLIFT_SIM_FAULT_ENUM(fault, name, what, ...) fault,
// clang-format off
enum class TCameraFault {
  CAMLIFT_SIM_CAMERA_FAULTS(CAMLIFT_SIM_FAULT_ENUM)
  CAMLIFT_SIM_CTP_FAULTS(CAMLIFT_SIM_FAULT_ENUM)
  CAMLIFT_SIM_R730_FAULTS(CAMLIFT_SIM_FAULT_ENUM)
};
// clang-format on

// For truncated, not-zip and evil-entry the served catalogue carries the MD5 of the archive as
// served, so that the damage is met by the unpack step and not already by the checksum.
enum class TRepoFault { CAMLIFT_SIM_REPO_FAULTS(CAMLIFT_SIM_FAULT_ENUM) };
#undef CAMLIFT_SIM_FAULT_ENUM

// The side of a camera a fault acts on. A series whose profile lacks that side (sim_series.h)
// cannot take the fault: a camera that names one does not start, rather than run without it.
enum class TFaultSide {
  Any,             // the web side, the restart and the search, which every camera has
  CommandService,  // series K's command service (ctp_faults.h)
  ConfigCalls,     // series R's configuration calls (r730_faults.h)
};

template <class TFault>
struct TFaultRow {
  TFault fault;
  std::string_view name;
  std::string_view what;
  TFaultSide side = TFaultSide::Any;
};

// Every declared fault in the order of its rows.
std::span<const TFaultRow<TCameraFault>> CameraFaults();
std::span<const TFaultRow<TRepoFault>> RepoFaults();

// The one lookup of a fault by its name; nullopt for an unknown one.
template <class TFault>
std::optional<TFault> FindFault(std::span<const TFaultRow<TFault>> rows, std::string_view name) {
  for (const TFaultRow<TFault>& row : rows) {
    if (row.name == name) return row.fault;
  }
  return std::nullopt;
}

// Camera faults by name, as scenario files and --fault spell them ("wrong-password" is an old
// name of reject-account).
std::optional<TCameraFault> ParseCameraFault(std::string_view name);
std::string CameraFaultName(TCameraFault fault);
TFaultSide CameraFaultSide(TCameraFault fault);
// Every name, for help texts.
std::vector<std::string> CameraFaultNames();

std::optional<TRepoFault> ParseRepoFault(std::string_view name);
std::vector<std::string> RepoFaultNames();

}  // namespace camlift::sim
