// SPDX-License-Identifier: Apache-2.0
#include "repository/catalogue_signature.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <filesystem>
#include <memory>

#include "repository/repository_trust.h"
#include "support/temp_folder.h"
#include "util/base64.h"
#include "util/option_file.h"
#include "util/sha256.h"

namespace camlift {
namespace {

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEd25519Key KeyOf(const std::string& hex) {
  const std::string raw = FromHex(hex);
  TEd25519Key key{};
  std::copy(raw.begin(), raw.end(), key.begin());
  return key;
}

// Test vectors 1 and 2 of RFC 8032, section 7.1.
const std::string kKey1 = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
const std::string kSig1 =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b4"
    "6bd25bf5f0595bbe24655141438e7a100b";
const std::string kKey2 = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
const std::string kSig2 =
    "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d"
    "8c387b2eaeb4302aeeb00d291612bb0c00";

TEST(Base64Decode, StrictForm) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  };
  const Case cases[] = {
      {"", std::string()},
      {"YQ==", std::string("a")},
      {"YWI=", std::string("ab")},
      {"YWJj", std::string("abc")},
      {"YWJjZA==", std::string("abcd")},
      {"YQ=", std::nullopt},  // length not a multiple of four
      {"YQ===", std::nullopt},
      {"Y===", std::nullopt},      // too much padding
      {"YQ==YQ==", std::nullopt},  // padding inside
      {"YW J", std::nullopt},
      {"YWJj\r\n", std::nullopt},
      {"YW-j", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(c.bytes, Base64Decode(c.text)) << c.text;
}

TEST(RepositoryKeys, RawAndPublicKeyInfoFormsAndTheirList) {
  const std::string raw = FromHex(kKey1);
  const std::string raw_b64 = Base64EncodeOneLine(raw);
  // What "openssl pkey -pubout" prints between the PEM lines for the same key.
  const std::string spki_b64 = Base64EncodeOneLine(FromHex("302a300506032b6570032100") + raw);
  EXPECT_EQ(KeyOf(kKey1), ParseRepositoryKey(raw_b64));
  EXPECT_EQ(KeyOf(kKey1), ParseRepositoryKey(spki_b64));
  EXPECT_FALSE(ParseRepositoryKey(Base64EncodeOneLine(raw.substr(1))));  // 31 bytes
  EXPECT_FALSE(ParseRepositoryKey(Base64EncodeOneLine(FromHex("302a300506032b6571032100") + raw)));
  EXPECT_FALSE(ParseRepositoryKey("not-a-key"));

  const TRepositoryKeys keys =
      ParseRepositoryKeys(" " + raw_b64 + ",bad;" + Base64EncodeOneLine(FromHex(kKey2)) + "\t");
  ASSERT_EQ(2u, keys.keys.size());
  EXPECT_EQ(KeyOf(kKey2), keys.keys[1]);
  EXPECT_EQ(std::vector<std::string>{"bad"}, keys.bad);

  EXPECT_FALSE(MakeRepositoryTrust("", "").signed_only);
  EXPECT_FALSE(MakeRepositoryTrust("  ", "").signed_only);
  const TRepositoryTrust typo = MakeRepositoryTrust("bad", " /etc/ca.pem ");
  EXPECT_TRUE(typo.signed_only);
  EXPECT_TRUE(typo.keys.empty());
  EXPECT_EQ("/etc/ca.pem", typo.ca_file);
}

// The system-wide options name the site's key; whatever the user's file says about
// repository_keys, signatures stay required; a user file that names keys of its own uses those.
TEST(RepositoryKeys, TheUserFileCannotEmptyTheSystemKeys) {
  const std::string key1 = Base64EncodeOneLine(FromHex(kKey1));
  const std::string key2 = Base64EncodeOneLine(FromHex(kKey2));
  struct Case {
    std::string user_file;
    std::vector<TEd25519Key> keys;
  };
  const Case cases[] = {
      {"", {KeyOf(kKey1)}},
      {"[Global]\r\nrepository_keys=\r\n", {KeyOf(kKey1)}},
      {"[Global]\r\nrepository_keys= \t \r\n", {KeyOf(kKey1)}},
      {"[Global]\r\nrepository_keys=" + key2 + "\r\n", {KeyOf(kKey2)}},
  };
  for (const Case& c : cases) {
    test::TTempFolder temp;
    std::filesystem::create_directories(temp.path() + "program");
    std::filesystem::create_directories(temp.path() + "user");
    test::WriteFile(temp.path() + "program/option.ini",
                    "[Global]\r\nrepository_keys=" + key1 + "\r\nrepository_ca=/site/ca.pem\r\n");
    if (!c.user_file.empty()) test::WriteFile(temp.path() + "user/option.ini", c.user_file);
    const TOptionFile options("option.ini", temp.path() + "program/", temp.path() + "user/");
    const TRepositoryTrust trust = RepositoryTrustFrom(options.Values(), "");
    EXPECT_TRUE(trust.signed_only) << c.user_file;
    EXPECT_EQ(c.keys, trust.keys) << c.user_file;
    EXPECT_EQ("/site/ca.pem", trust.ca_file);
    EXPECT_EQ("/given/ca.pem", RepositoryTrustFrom(options.Values(), "/given/ca.pem").ca_file);
  }
}

// The RFC vectors check the Ed25519 verification itself.
TEST(CatalogueSignature, Ed25519VectorsOfRfc8032) {
  const std::string sig2 = FromHex(kSig2);
  std::string flipped = sig2;
  flipped[10] = static_cast<char>(flipped[10] ^ 1);
  EXPECT_TRUE(VerifyEd25519(KeyOf(kKey1), Bytes(""), Bytes(FromHex(kSig1))));
  EXPECT_TRUE(VerifyEd25519(KeyOf(kKey2), Bytes(FromHex("72")), Bytes(sig2)));
  EXPECT_FALSE(VerifyEd25519(KeyOf(kKey2), Bytes(FromHex("73")), Bytes(sig2)));
  EXPECT_FALSE(VerifyEd25519(KeyOf(kKey1), Bytes(FromHex("72")), Bytes(sig2)));
  EXPECT_FALSE(VerifyEd25519(KeyOf(kKey2), Bytes(FromHex("72")), Bytes(flipped)));
  EXPECT_FALSE(VerifyEd25519(KeyOf(kKey2), Bytes(FromHex("72")), Bytes(sig2.substr(0, 63))));
}

// The private key of test vector 1 of RFC 8032 (its public key is kKey1), for signing the
// messages of the cases below.
std::string SignWithKey1(const std::string& message) {
  const std::string seed =
      FromHex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                   reinterpret_cast<const unsigned char*>(seed.data()),
                                   seed.size()),
      EVP_PKEY_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::string signature(64, '\0');
  std::size_t length = signature.size();
  EXPECT_EQ(1, EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()));
  EXPECT_EQ(1,
            EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                           reinterpret_cast<const unsigned char*>(message.data()), message.size()));
  return signature;
}

// What is signed: "camlift catalogue", the catalogue's path below the repository and its bytes,
// so that one folder's signed catalogue never passes in another folder's place.
TEST(CatalogueSignature, VerdictsBindTheBytesToTheirPlace) {
  const std::string catalogue = "[SIM100]\r\nSysVer=1.0.0.2\r\n";
  const std::string good =
      SignWithKey1("camlift catalogue\nsystem/firmware.txt\n[SIM100]\r\nSysVer=1.0.0.2\r\n");
  const std::string old_form = SignWithKey1(catalogue);
  std::string flipped = good;
  flipped[10] = static_cast<char>(flipped[10] ^ 1);
  struct Case {
    const char* name;
    std::string path;
    std::string catalogue;
    std::optional<std::string> signature;
    std::vector<TEd25519Key> keys;
    TCatalogueVerdict verdict;
  };
  const std::string path = "system/firmware.txt";
  const Case cases[] = {
      {"signed for its place", path, catalogue, good, {KeyOf(kKey1)}, TCatalogueVerdict::Valid},
      {"second key", path, catalogue, good, {KeyOf(kKey2), KeyOf(kKey1)}, TCatalogueVerdict::Valid},
      {"served in another folder",
       "acme/firmware.txt",
       catalogue,
       good,
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"path without its folder",
       "firmware.txt",
       catalogue,
       good,
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"signature of the bytes alone",
       path,
       catalogue,
       old_form,
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"a path with a line end",
       "system/firmware.txt\n[SIM100]",
       "\r\nSysVer=1.0.0.2\r\n",
       good,
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"no signature file",
       path,
       catalogue,
       std::nullopt,
       {KeyOf(kKey1)},
       TCatalogueVerdict::Unsigned},
      {"other bytes", path, catalogue + " ", good, {KeyOf(kKey1)}, TCatalogueVerdict::BadSignature},
      {"wrong key", path, catalogue, good, {KeyOf(kKey2)}, TCatalogueVerdict::BadSignature},
      {"damaged signature",
       path,
       catalogue,
       flipped,
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"signature cut short",
       path,
       catalogue,
       good.substr(0, 63),
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"signature with a line end",
       path,
       catalogue,
       good + "\n",
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"empty signature",
       path,
       catalogue,
       std::string(),
       {KeyOf(kKey1)},
       TCatalogueVerdict::BadSignature},
      {"no keys", path, catalogue, good, {}, TCatalogueVerdict::BadSignature},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.verdict, CheckCatalogueSignature(Bytes(c.catalogue), c.path, c.signature, c.keys))
        << c.name;
  }
  EXPECT_EQ("camlift catalogue\nsystem/firmware.txt\nab",
            SignedCatalogueMessage(path, Bytes("ab")).value_or("(none)"));
  EXPECT_FALSE(SignedCatalogueMessage("", Bytes("ab")));
  EXPECT_FALSE(SignedCatalogueMessage("a\tb/firmware.txt", Bytes("ab")));
}

TEST(Sha256, KnownDigestsAndFileCheck) {
  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", Sha256Hex(""));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Sha256Hex("abc"));
  test::TTempFolder temp;
  const std::string path = temp.path() + "a.zip";
  test::WriteFile(path, "abc");
  EXPECT_TRUE(FileMatchesSha256(
      path, " BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD\r\n"));
  EXPECT_FALSE(
      FileMatchesSha256(path, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae"));
  EXPECT_FALSE(FileMatchesSha256(path, "ba7816bf"));
  EXPECT_FALSE(FileMatchesSha256(path, ""));
  EXPECT_FALSE(FileMatchesSha256(temp.path() + "missing.zip", Sha256Hex("")));
}

}  // namespace
}  // namespace camlift
