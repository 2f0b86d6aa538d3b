// SPDX-License-Identifier: Apache-2.0
// Every fixed wait and time-out of Camlift, defined once with its real-world value.
// CAMLIFT_TIME_SCALE multiplies all of them (tests and the demo run with small factors).
#pragma once

#include <chrono>
#include <span>
#include <string>
#include <string_view>

namespace camlift {

// Pause: a fixed sleep. Timeout: the longest wait for a peer; never scaled below kMinTimeoutMs
// so that a scale of 0 makes pauses instant without making every exchange fail at once, and a
// healthy peer on a busy machine (a sanitizer build, a TLS handshake, tests side by side) is
// never given up on. A time-out shorter than that floor keeps its own value.
// Limit: the bound of a whole transfer (or the window of its rate), against peers that trickle;
// never scaled below kMinLimitMs, so that a small scale never cuts short a transfer that a busy
// machine merely slows down.
enum class WaitKind { Pause, Timeout, Limit };

// X(name, milliseconds, kind, what it is)
#define CAMLIFT_WAITS(X)                                                                        \
  X(CameraPageRead, 20000, Timeout, "read of a camera web page (oem, version, status)")         \
  X(UploadConnect, 60000, Timeout, "connect of a firmware upload")                              \
  X(UploadRead, 60000, Timeout, "wait for data while a firmware upload runs")                   \
  X(DownloadConnect, 20000, Timeout, "connect to the firmware repository")                      \
  X(DownloadStall, 30000, Timeout, "repository download without progress")                      \
  X(RebootWait, 40000, Pause, "pause after an upload before the camera is asked again")         \
  X(ReturnPollInterval, 1000, Pause, "pause between two checks of a restarting camera")         \
  X(ReturnLimit, 600000, Timeout, "longest wait for a restarted camera to answer again")        \
  X(CtpConnectWait, 1000, Pause, "pause after a CTP connection was started")                    \
  X(CtpReplyTimeout, 8000, Timeout, "wait for a CTP reply")                                     \
  X(CtpContinueLimit, 60000, Timeout, "longest run of REPLY Continue answers")                  \
  X(CtpSessionPause, 5000, Pause, "pause between two CTP sessions")                             \
  X(CtpSearchWindow, 300, Timeout, "wait for the next CTP search reply")                        \
  X(CtpSearchLimit, 5000, Timeout, "longest CTP search for the reply of one camera")            \
  X(SearchPassInterval, 1000, Pause, "interval between two LAN search passes")                  \
  X(ListViewRefresh, 40, Pause, "longest time the window's camera list lags behind the list")   \
  X(ImagiaCommandPause, 10, Pause, "pause before an IMAGIA command datagram")                   \
  X(R730ReceiveWait, 30, Timeout, "one wait of the series R search receive thread")             \
  X(R730SettingsReplyWait, 30, Timeout, "one wait for the reply to an 8600 settings datagram")  \
  X(R730SettingsReplyLimit, 5000, Timeout, "longest wait for the reply to a settings datagram") \
  X(R730StatusRead, 20000, Timeout, "status read before a series R upload")                     \
  X(R730ConfigRead, 5000, Timeout, "short configuration call of a series R camera")             \
  X(R730ConfigReadLong, 10000, Timeout, "longer configuration call of a series R camera")       \
  X(R730ConfigWrite, 20000, Timeout, "factory settings, defaults, reboot of a series R camera") \
  X(R730ScanPause, 200, Pause, "pause between a Wi-Fi scan and the read of its result")         \
  X(HttpGetNet, 5000, Timeout, "plain GET of the search helpers")                               \
  X(SearchSettle, 1000, Timeout, "camlift search: wait for late replies after the last pass")   \
  X(FleetCheckStop, 2000, Timeout, "window close: wait for the update check's readers")         \
  X(SleepLockCall, 5000, Timeout, "the login manager's answer to a request for a sleep lock")   \
  X(DownloadRateWindow, 30000, Limit, "window of a repository transfer's minimum rate")         \
  X(DownloadLimitBase, 120000, Limit, "archive download: time besides what its size takes")     \
  X(DownloadLimitMax, 3600000, Limit, "longest archive download, whatever its size")            \
  X(CatalogueFetchLimit, 120000, Limit, "longest fetch of a catalogue")                         \
  X(SignatureFetchLimit, 60000, Limit, "longest fetch of a catalogue's signature")              \
  X(CameraPageLimit, 60000, Limit, "longest read of a camera page, however it trickles")        \
  X(UploadLimitBase, 300000, Limit, "firmware upload: time besides what its size takes")        \
  X(R730ReceiveLimit, 800, Timeout, "longest life of a series R search receive thread")         \
  X(PasswordPipeWait, 2000, Limit, "wait for a password that comes through a pipe")

enum class Wait {
#define CAMLIFT_WAIT_ENUM(id, ms, kind, what) id,
  CAMLIFT_WAITS(CAMLIFT_WAIT_ENUM)
#undef CAMLIFT_WAIT_ENUM
};

struct WaitEntry {
  Wait id;
  std::string_view name;
  int ms;
  WaitKind kind;
  std::string_view what;
};

inline constexpr int kMinTimeoutMs = 1000;
inline constexpr int kMinLimitMs = 1500;

// The unscaled table, in declaration order.
std::span<const WaitEntry> WaitTable();
const WaitEntry& WaitInfo(Wait w);

// The factor from CAMLIFT_TIME_SCALE (default 1). Throws std::invalid_argument with a clear
// message when the variable holds something other than a non-negative decimal number.
double TimeScale();
// Parses a factor the way TimeScale does (exposed for tests).
double ParseTimeScale(std::string_view text);
// Overrides the factor for this process (tests); a negative value returns to the environment.
void SetTimeScaleForTesting(double factor);

// The scaled value of a wait.
int Millis(Wait w);
std::chrono::milliseconds Duration(Wait w);
// Scales a value that is not in the table (e.g. a count of waits already scaled elsewhere).
int ScaleMillis(int ms, WaitKind kind);

}  // namespace camlift
