// SPDX-License-Identifier: Apache-2.0
// The entry of the desktop window, for the camlift program to call when it runs without a
// subcommand.
#pragma once

// The exit status when no display can be opened (the reason is on stderr).
inline constexpr int kExitNoDisplay = 2;

// Runs the window until it closes; the program's exit status. Without a display it says so,
// points to the command line, and returns kExitNoDisplay.
int RunCamliftGui(int argc, char** argv);
