// SPDX-License-Identifier: Apache-2.0
// The Options dialog's test of a repository address: the system catalogue
// (<base>system/firmware.txt) is fetched and its sections are counted, so that the user knows
// before the first upgrade whether the address works.
#pragma once

#include <atomic>
#include <string>

namespace camlift {

// What the user typed as a repository address: empty text is allowed (no repository), anything
// else must be an http or https URL with a host, short enough for the options file (2047 bytes). A
// user name or password in it ("user:pw@host") is refused: it would be stored and shown in plain
// text, and "http://vendor.example@other/" reads like a host it does not go to.
enum class TRepositoryInput { Empty, Valid, Invalid, Credentials };
TRepositoryInput CheckRepositoryInput(const std::string& text);

struct TRepositoryCheck {
  bool ok = false;
  int sections = 0;   // catalogue sections (camera models) when the catalogue arrived
  std::string url;    // the catalogue address that was fetched
  std::string error;  // why the catalogue failed (libcurl's text or "HTTP <status>")
  // The firmware of the catalogue's first model that names one, fetched as an upgrade fetches
  // it: empty when no model names a file. firmware_problem says why it failed (a log line).
  std::string firmware;
  std::string firmware_problem;
};

// Fetches the system catalogue below base_url (normalised like the repository address), counts
// its sections, and then fetches the firmware archive of its first model that names one and
// checks its MD5, the way an upgrade would: a repository that answers for its catalogue but
// stalls or breaks on its firmware is not "working". ok only when both arrived whole. Blocks
// for up to the repository connect and stall time-outs of both fetches; cancel (may be null)
// ends it early. Run it off the UI thread.
// trust: the keys and CA an upgrade would use; the overload without it reads them from the
// options (ResolveRepositoryTrust).
struct TRepositoryTrust;
TRepositoryCheck CheckRepository(const std::string& base_url, const std::atomic<bool>* cancel,
                                 const TRepositoryTrust& trust);
TRepositoryCheck CheckRepository(const std::string& base_url,
                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace camlift
