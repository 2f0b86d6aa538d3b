// SPDX-License-Identifier: Apache-2.0
// --detach: the simulator goes on in a process of its own session, and the command returns once
// it listens, so that the next command of a script (or a pasted example) finds it ready.
#pragma once

namespace camlift::sim {

// Forks before any thread starts. Returns in the child, whose stdout now goes to the parent. The
// parent copies that output to its own stdout until the child lets go of it, then exits: 0 when
// the child said "camlift-sim: ready", 1 when it ended before (its error is on stderr).
void DetachUntilReady();
// In the child, after the ready line: stdout and stderr go to /dev/null (stdin already does) and
// the parent returns; the simulator's later messages are not shown.
void ReleaseParent();

}  // namespace camlift::sim
