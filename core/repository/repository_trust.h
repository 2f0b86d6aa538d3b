// SPDX-License-Identifier: Apache-2.0
// What a site trusts about its firmware repository: the keys its catalogues must be signed with
// (none: catalogues are taken as they come, as always) and the CA of an https repository (none:
// the system's). Both come from "[Global]" of the options file, so an administrator can set them
// once for every user; --ca-file on the command line wins over repository_ca.
#pragma once

#include <string>
#include <vector>

#include "platform/run_control.h"
#include "repository/catalogue_signature.h"

namespace camlift {

struct TRepositoryTrust {
  // "repository_keys" is set: every catalogue must carry a signature by one of keys. A value
  // that holds no usable key still asks for signatures, so that a typo never turns them off.
  bool signed_only = false;
  std::vector<TEd25519Key> keys;
  std::vector<std::string> bad_keys;  // entries of the value that are no key
  std::string ca_file;                // CA certificates (PEM) for https, instead of the system's
  // The system-wide options file, where an administrator names the keys, is there but could not
  // be read ("<path>: <reason>"): every catalogue is refused, since the keys it may name are
  // unknown.
  std::string defaults_problem;
};

TRepositoryTrust MakeRepositoryTrust(const std::string& keys_text, const std::string& ca_file);
class TOptionValues;
// From the options as read; ca_from_command_line, when given, replaces repository_ca. Keys that
// the system-wide options name stay in force when the user's file leaves repository_keys empty:
// an empty value never turns the signature check off.
TRepositoryTrust RepositoryTrustFrom(const TOptionValues& options,
                                     const std::string& ca_from_command_line);
TRepositoryTrust ResolveRepositoryTrust(const std::string& ca_from_command_line);
// The log line for each entry of repository_keys that is no key (empty when all are keys).
std::vector<std::string> BadRepositoryKeyLines(const TRepositoryTrust& trust);

// Why a repository download failed, when the reason deserves its own log line.
struct TRepositoryProblem {
  std::string key;     // IDS_ key of the line; empty: nothing beyond the usual failure line
  std::string detail;  // appended to the text (libcurl's reason, an address)
  std::vector<std::string> values = {};  // what "%1", "%2"... of the text stand for
  // What a failed transfer met, whatever key says: the HTTP status (0: none arrived) and a text
  // for a line ("HTTP 500", libcurl's reason, "too slow", "larger than 4096 bytes").
  long status = 0;
  std::string failure;
};

// The catalogue at path was fetched from url; signed_path is its place below the repository
// ("system/firmware.txt"). Without signed_only it is accepted as it is. Otherwise
// "firmware.txt.sig" is fetched from beside it and must verify that place and the file's exact
// bytes with one of the keys; a catalogue that fails is deleted, problem says why, and false.
bool AcceptFetchedCatalogue(const std::string& url, const std::string& signed_path,
                            const std::string& path, const TRepositoryTrust& trust,
                            const TRunControl& control, TRepositoryProblem& problem);

}  // namespace camlift
