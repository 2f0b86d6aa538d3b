// SPDX-License-Identifier: Apache-2.0
// The entry of the desktop window, for the camlift program to call when it runs without a
// subcommand.
#pragma once

// Runs the window until it closes; the program's exit status.
int RunCamliftGui(int argc, char** argv);
