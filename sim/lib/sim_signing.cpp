// SPDX-License-Identifier: Apache-2.0
#include "sim_signing.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "util/base64.h"

namespace fs = std::filesystem;

namespace camlift::sim {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

Pkey LoadKey(const std::string& path, std::string& error) {
  std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot read the key " + path;
    return nullptr;
  }
  Pkey key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
    error = path + " holds no Ed25519 private key";
    return nullptr;
  }
  return key;
}

bool PublicOf(EVP_PKEY* key, std::string& public_base64, std::string& error) {
  unsigned char raw[32];
  std::size_t length = sizeof raw;
  if (EVP_PKEY_get_raw_public_key(key, raw, &length) != 1 || length != sizeof raw) {
    error = "cannot read the public key";
    return false;
  }
  public_base64 = Base64EncodeOneLine(std::string_view(reinterpret_cast<char*>(raw), length));
  return true;
}

std::string ReadAll(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

bool RepoKeygen(const std::string& key_path, std::string& public_base64, std::string& error) {
  Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  if (!key) {
    error = "cannot make an Ed25519 key";
    return false;
  }
  // Created exclusively and for the owner only: a key never replaces another one.
  const int fd = ::open(key_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + key_path + " (it must not exist yet)";
    return false;
  }
  std::unique_ptr<std::FILE, FileClose> file(::fdopen(fd, "wb"));
  if (!file) {
    ::close(fd);
    error = "cannot write " + key_path;
    return false;
  }
  if (PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      std::fflush(file.get()) != 0) {
    error = "cannot write " + key_path;
    return false;
  }
  return PublicOf(key.get(), public_base64, error);
}

bool SignBytes(const std::string& key_path, const std::string& data, std::string& signature,
               std::string& error) {
  Pkey key = LoadKey(key_path, error);
  if (!key) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  signature.assign(64, '\0');
  std::size_t length = signature.size();
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1 ||
      length != 64) {
    error = "cannot sign with " + key_path;
    return false;
  }
  return true;
}

std::string CatalogueMessage(const std::string& place, const std::string& bytes) {
  return "camlift catalogue\n" + place + "\n" + bytes;
}

std::string CataloguePlace(const std::string& file) {
  const fs::path path = fs::absolute(fs::path(file)).lexically_normal();
  return path.parent_path().filename().string() + "/" + path.filename().string();
}

bool RepoSign(const std::string& key_path, const std::vector<std::string>& files,
              std::string& error) {
  for (const std::string& file : files) {
    bool ok = false;
    const std::string data = ReadAll(file, ok);
    if (!ok) {
      error = "cannot read " + file;
      return false;
    }
    std::string signature;
    if (!SignBytes(key_path, CatalogueMessage(CataloguePlace(file), data), signature, error)) {
      return false;
    }
    std::ofstream out(file + ".sig", std::ios::binary | std::ios::trunc);
    out.write(signature.data(), static_cast<std::streamsize>(signature.size()));
    if (!out.flush()) {
      error = "cannot write " + file + ".sig";
      return false;
    }
  }
  return true;
}

std::vector<std::string> CataloguesBelow(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    const fs::path catalogue = entry.path() / "firmware.txt";
    if (entry.is_directory(ec) && fs::is_regular_file(catalogue, ec)) {
      found.push_back(catalogue.string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace camlift::sim
