// The camera list of a batch upgrade: a CSV file ("ip,port,series,user,password" with a header
// line, "#" comments) or the JSON lines that `camlift search --json` prints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "discovery/series.h"

namespace camlift {

struct TCameraEntry {
  std::string ip;
  int port = 81;
  TSeries series = TSeries::None;
  std::string user;
  std::string password;
  int line = 0;  // where it stood in the list
};

struct TCameraListResult {
  std::vector<TCameraEntry> cameras;
  std::vector<std::string> errors;  // one text per refused line, with its line number
};

// Accounts missing from a line (or from every JSON line) come from default_user/password.
// Two entries for the same address and port are an error: a camera is upgraded once.
TCameraListResult ParseCameraList(std::string_view text, const std::string& default_user,
                                  const std::string& default_password);

}  // namespace camlift
