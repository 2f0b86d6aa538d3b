// SPDX-License-Identifier: Apache-2.0
// Where a command takes the camera password from, safest first: a file (--password-file, its
// first line), the environment (CAMLIFT_PASSWORD), or the terminal (--password -, read without
// echo; from stdin when stdin is not a terminal). A password written on the command line
// (--password TEXT) still works, but every local user can read it in the process list.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace camlift::cli {

struct TPasswordOption {
  std::string value;  // --password
  std::string file;   // --password-file
  CLI::Option* value_option = nullptr;
  CLI::Option* file_option = nullptr;
};

// Adds --password and --password-file (which exclude each other) to cmd.
void AddPasswordOptions(CLI::App* cmd, TPasswordOption& option);

// The password the options ask for; "" when none is given anywhere. Throws CLI::ValidationError
// (a usage error) when the file cannot be read or the terminal gives nothing.
std::string ResolvePassword(const TPasswordOption& option);

// The first line of text, without its line end.
std::string FirstLine(const std::string& text);

}  // namespace camlift::cli
