// SPDX-License-Identifier: Apache-2.0
// The fault switches of series K's command service (ctp_camera.h), each declared once with the
// rule that acts it out: where it takes over, on which data block, and what it does there. The
// rows join the camera's faults (sim_faults.h: one enum, one table of names for scenario files
// and --fault); TCtpCamera::kFaultRules (ctp_camera.cpp) is made of them. A new fault whose
// action is one of TCtpFaultAction is one row here; a new kind of action is a value there and
// its case in ctp_camera.cpp.
#pragma once

namespace camlift::sim {

// Where a rule takes over: a handler asks once its request is well formed, before the request
// takes effect; EveryAnswer rules act on the answers themselves (TCtpCamera::Answer/Reply).
enum class TCtpFaultPoint { Login, Exit, Probe, Data, EveryAnswer };

// What a rule does there.
enum class TCtpFaultAction {
  StatusLine,     // the config request is answered with the rule's answer
  Refuse,         // the file being received is given up; "REPLY <answer>"
  Ignore,         // no answer at all
  Close,          // the connection is closed without an answer
  Silent,         // no answer to anything, status line or REPLY
  ContinueFirst,  // "REPLY Continue 1", a pause, then the answer (where a client may wait)
  Slow,           // every REPLY answer comes after SimWait::CtpSlowAnswer
  ContinueFlood,  // an endless stream of "REPLY Continue 1" instead of the answer
};

// The data block a Data rule acts on: the n-th of the connection, or any.
inline constexpr int kCtpAnyBlock = 0;

}  // namespace camlift::sim

// X(fault, name, what, point, data block, action, answer). The enum value is
// TCameraFault::<fault>; point and action name TCtpFaultPoint and TCtpFaultAction values.
#define CAMLIFT_SIM_CTP_FAULTS(X)                                                               \
  X(CtpLoginRefused, "ctp-login-refused", "every login is answered 401", Login, kCtpAnyBlock,   \
    StatusLine, "CTP/1.0 401 Unauthorized")                                                     \
  X(CtpExitRefused, "ctp-exit-refused", "the leave-mode request is answered 500", Exit,         \
    kCtpAnyBlock, StatusLine, "CTP/1.0 500 Refused")                                            \
  X(CtpProbeUnanswered, "ctp-probe-unanswered", "the probe gets no answer at all", Probe,       \
    kCtpAnyBlock, Ignore, nullptr)                                                              \
  X(CtpDataRefused, "ctp-data-refused", "the first data block is answered \"REPLY ERR busy\"",  \
    Data, 1, Refuse, "ERR busy")                                                                \
  X(CtpSilent, "ctp-silent", "nothing on a CTP connection is ever answered", EveryAnswer,       \
    kCtpAnyBlock, Silent, nullptr)                                                              \
  X(CtpContinue, "ctp-continue", "answers come as \"REPLY Continue 1\", a pause, \"REPLY OK\"", \
    EveryAnswer, kCtpAnyBlock, ContinueFirst, nullptr)                                          \
  X(CtpSlowAnswers, "ctp-slow-answers",                                                         \
    "every REPLY answer comes after 7 s (scaled), within the client's reply time-out",          \
    EveryAnswer, kCtpAnyBlock, Slow, nullptr)                                                   \
  X(CtpContinueFlood, "ctp-continue-flood",                                                     \
    "answers become an endless stream of \"REPLY Continue 1\", each padded to the 199 bytes a " \
    "client reads at once, sent as fast as the connection takes them",                          \
    EveryAnswer, kCtpAnyBlock, ContinueFlood, nullptr)

// Faults of the camera declared elsewhere that the command service acts out too. X(fault,
// point, data block, action, answer)
#define CAMLIFT_SIM_CTP_SHARED_FAULTS(X)                                               \
  /* close-mid-upload: the transfer connection is closed after its first data block */ \
  X(CloseMidUpload, Data, 2, Close, nullptr)
