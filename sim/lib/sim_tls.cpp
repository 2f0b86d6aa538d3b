// SPDX-License-Identifier: Apache-2.0
#include "sim_tls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace camlift::sim {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;
using File = std::unique_ptr<std::FILE, FileClose>;

[[noreturn]] void Fail(const std::string& what) {
  char reason[256] = {};
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  throw std::runtime_error("test TLS: " + what + " (" + reason + ")");
}

Pkey NewKey() {
  Pkey key(EVP_EC_gen("P-256"));
  if (!key) Fail("cannot make a key");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) Fail("cannot make extension " + value);
  const int added = X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
  if (added != 1) Fail("cannot add extension " + value);
}

// A certificate for key, named cn, signed by issuer_key (self-signed when issuer is null).
Cert NewCert(EVP_PKEY* key, const std::string& cn, X509* issuer, EVP_PKEY* issuer_key, bool ca,
             const std::string& san) {
  Cert cert(X509_new());
  if (!cert) Fail("cannot make a certificate");
  X509_set_version(cert.get(), 2);
  unsigned char serial[8];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7f;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 365 * 5);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
  X509* signer = issuer ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  AddExtension(cert.get(), signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
  AddExtension(cert.get(), signer, NID_key_usage,
               ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
  AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  if (issuer) AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  if (!san.empty()) {
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), signer, NID_subject_alt_name, san);
  }
  if (X509_sign(cert.get(), issuer_key ? issuer_key : key, EVP_sha256()) <= 0) Fail("cannot sign");
  return cert;
}

// Created anew, never over a file that is there (nor through a link); a key is readable by its
// owner alone from its first byte on.
void WritePem(const std::string& path, EVP_PKEY* key, X509* cert) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, key ? 0600 : 0644);
  if (fd < 0) throw std::runtime_error("test TLS: cannot create " + path);
  File file(::fdopen(fd, "wb"));
  if (!file) {
    ::close(fd);
    throw std::runtime_error("test TLS: cannot write " + path);
  }
  const bool ok =
      key ? PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1
          : PEM_write_X509(file.get(), cert) == 1;
  if (!ok) Fail("cannot write " + path);
}

}  // namespace

void TSslCtxFree::operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }

std::string TestCaFile(const std::string& dir) { return (fs::path(dir) / "ca.pem").string(); }

TSslContext MakeTestTlsContext(const std::string& dir, const std::string& host_name) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string ca_pem = TestCaFile(dir);
  const std::string ca_key_path = (fs::path(dir) / "ca.key").string();
  Pkey ca_key;
  Cert ca;
  if (fs::exists(ca_pem, ec) && fs::exists(ca_key_path, ec)) {
    File key_file(std::fopen(ca_key_path.c_str(), "rb"));
    File cert_file(std::fopen(ca_pem.c_str(), "rb"));
    if (key_file) ca_key.reset(PEM_read_PrivateKey(key_file.get(), nullptr, nullptr, nullptr));
    if (cert_file) ca.reset(PEM_read_X509(cert_file.get(), nullptr, nullptr, nullptr));
    if (!ca_key || !ca) Fail("cannot read the test CA in " + dir);
  } else if (fs::exists(ca_pem, ec) || fs::exists(ca_key_path, ec)) {
    // Half a CA (a key without its certificate or the other way round) is left for its owner.
    Fail("the test CA in " + dir + " is incomplete; remove ca.pem and ca.key to make a new one");
  } else {
    ca_key = NewKey();
    ca = NewCert(ca_key.get(), "camlift-sim test CA", nullptr, nullptr, true, "");
    WritePem(ca_key_path, ca_key.get(), nullptr);
    WritePem(ca_pem, nullptr, ca.get());
  }
  in6_addr v6;
  in_addr v4;
  const bool is_ip = inet_pton(AF_INET, host_name.c_str(), &v4) == 1 ||
                     inet_pton(AF_INET6, host_name.c_str(), &v6) == 1;
  Pkey server_key = NewKey();
  Cert server = NewCert(server_key.get(), host_name, ca.get(), ca_key.get(), false,
                        (is_ip ? "IP:" : "DNS:") + host_name);

  TSslContext ctx(SSL_CTX_new(TLS_server_method()), TSslCtxFree{});
  if (!ctx) Fail("cannot make a TLS context");
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  if (SSL_CTX_use_certificate(ctx.get(), server.get()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx.get(), server_key.get()) != 1) {
    Fail("cannot load the server certificate");
  }
  return ctx;
}

}  // namespace camlift::sim
