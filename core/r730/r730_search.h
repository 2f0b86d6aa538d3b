// SPDX-License-Identifier: Apache-2.0
// The series R search of TR730Series: one 8600 query from local port 3565, then a receive thread
// (TRecvThread) that hands every record to the UI thread and ends after ten empty waits, or at
// its time limit (R730ReceiveLimit) however many datagrams keep arriving.
#pragma once

#include "platform/dispatcher.h"
#include "platform/socket.h"
#include "r730/r730_series.h"

namespace camlift {

// The local port the search binds (3565). Tests that run beside other searches on the same host
// move it.
void SetR730SearchLocalPort(std::uint16_t port);

// Tells every running receive thread to stop and waits, on the UI thread, until all have ended.
void StopR730Searches(IUiDispatcher& ui);
// Waits, on the UI thread, until every receive thread has ended by itself.
void WaitR730SearchesDone(IUiDispatcher& ui);
// Receive threads that have not ended yet.
int RunningR730Searches();
// The local port of the search when the last search could not bind it although none of its own
// receive threads held it (another program has it; the series R search is off), else 0.
std::uint16_t R730SearchBlockedPort();

class TRecvThread {
 public:
  // How many empty waits end the thread.
  static constexpr int kEmptyWaits = 10;
  // Datagrams read before what they held is handed over.
  static constexpr std::size_t kMaxDatagramsAtOnce = 256;

  // Starts a detached thread that owns socket and handler and frees itself when it ends. When
  // the thread cannot be started, the socket is closed and nothing runs.
  static void Start(TSocketHandle socket, TR730SearchHandler handler);

  TRecvThread(TSocketHandle socket, TR730SearchHandler handler, unsigned generation);
  void Run();

 private:
  TSocketHandle socket_;
  TR730SearchHandler handler_;
  unsigned generation_;
};

}  // namespace camlift
