// SPDX-License-Identifier: Apache-2.0
// The repository's signing tool: an Ed25519 key pair for a site, and detached signatures of
// catalogues ("firmware.txt.sig": the 64 raw signature bytes over "camlift catalogue", a line
// end, the catalogue's path below the repository ("system/firmware.txt"), a line end and the
// file's exact bytes).
#pragma once

#include <string>
#include <vector>

namespace camlift::sim {

// Writes a new private key (PKCS#8 PEM, readable by the owner only) to key_path, which must not
// exist yet; public_base64 is the 32-byte public key as Base64, the form repository_keys takes.
bool RepoKeygen(const std::string& key_path, std::string& public_base64, std::string& error);
// What a catalogue's signature covers: place is its path below the repository.
std::string CatalogueMessage(const std::string& place, const std::string& bytes);
// The place of a catalogue file one folder below the repository root: "<folder>/<name>".
std::string CataloguePlace(const std::string& file);
// Signs each file (a catalogue one folder below the root) into file + ".sig".
bool RepoSign(const std::string& key_path, const std::vector<std::string>& files,
              std::string& error);
// Every "firmware.txt" one folder below root.
std::vector<std::string> CataloguesBelow(const std::string& root);
// The 64 signature bytes of data (for tests that sign other bytes than the catalogue's).
bool SignBytes(const std::string& key_path, const std::string& data, std::string& signature,
               std::string& error);

}  // namespace camlift::sim
