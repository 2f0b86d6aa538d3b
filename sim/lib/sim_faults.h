// SPDX-License-Identifier: Apache-2.0
// The fault switches of a simulated camera, each declared once here: the enums, the names that
// scenario files and --fault take, the --fault help and the switches series K's command service
// gets are all made from these rows. What a fault does is written where it acts: the web side in
// sim_camera.cpp and sim_upload_verdict.cpp, the restart in TSimCamera::RestartLoop, the CTP side
// in the fault hook of ctp_camera.cpp (kFaultRules and TCtpCamera::Answer/Reply).
#pragma once

// Switches of the camera's web side and of its restart. X(fault, name, what)
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
    "/oem.txt keeps answering")

// Switches of series K's command service (ctp_camera.h). X(CTP fault, name on the CTP side,
// camera switch that turns it on, Own: the switch is the CTP fault's own and takes its name /
// Shared: it is one of the switches above, what)
#define CAMLIFT_SIM_CTP_FAULTS(X)                                                           \
  X(LoginRefused, "ctp-login-refused", CtpLoginRefused, Own, "every login is answered 401") \
  X(ExitRefused, "ctp-exit-refused", CtpExitRefused, Own,                                   \
    "the leave-mode request is answered 500")                                               \
  X(ProbeUnanswered, "ctp-probe-unanswered", CtpProbeUnanswered, Own,                       \
    "the probe gets no answer at all")                                                      \
  X(DataRefused, "ctp-data-refused", CtpDataRefused, Own,                                   \
    "the first data block is answered \"REPLY ERR busy\"")                                  \
  X(Silent, "ctp-silent", CtpSilent, Own, "nothing on a CTP connection is ever answered")   \
  X(CloseMidTransfer, "ctp-close-mid-transfer", CloseMidUpload, Shared,                     \
    "the connection is closed after one data block")                                        \
  X(ContinueThenOk, "ctp-continue", CtpContinue, Own,                                       \
    "answers come as \"REPLY Continue 1\", a pause, \"REPLY OK\"")

// Switches of the simulated firmware repository (sim_repository.h). X(fault, name, what)
#define CAMLIFT_SIM_REPO_FAULTS(X)                                                      \
  X(Down, "down", "nothing listens")                                                    \
  X(Catalog404, "catalog-404", "firmware.txt answers 404")                              \
  X(Catalog500, "catalog-500", "firmware.txt answers 500")                              \
  X(Archive404, "archive-404", "every archive answers 404")                             \
  X(Archive500, "archive-500", "every archive answers 500")                             \
  X(WrongMd5, "wrong-md5", "the catalogue's MD5 values do not match the archives")      \
  X(Truncated, "truncated", "archives are cut to half their size")                      \
  X(NotZip, "not-zip", "archives are replaced by text that is no ZIP at all")           \
  X(EvilEntry, "evil-entry", "archives also hold an entry \"../evil.bin\"")             \
  X(Stall, "stall", "half of an archive is sent, then nothing until the client leaves") \
  X(RedirectHttp, "redirect-http", "every request is redirected to the same path over http")

// Helpers for the rows above: an Own switch is also a camera fault of its own.
#define CAMLIFT_SIM_IF_OWN_Own(...) __VA_ARGS__
#define CAMLIFT_SIM_IF_OWN_Shared(...)
#define CAMLIFT_SIM_IF_OWN(own, ...) CAMLIFT_SIM_IF_OWN_##own(__VA_ARGS__)
