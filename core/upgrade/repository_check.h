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
  int sections = 0;   // catalogue sections (camera models) when ok
  std::string url;    // the catalogue address that was fetched
  std::string error;  // why it failed (libcurl's text or "HTTP <status>"), when not ok
};

// Fetches the system catalogue below base_url (normalised like the repository address) and
// counts its sections. Blocks for up to the repository connect and stall time-outs; cancel (may
// be null) ends it early. Run it off the UI thread.
TRepositoryCheck CheckRepository(const std::string& base_url,
                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace camlift
