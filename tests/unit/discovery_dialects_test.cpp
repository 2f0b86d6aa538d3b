// SPDX-License-Identifier: Apache-2.0
// The dialect table (discovery/search_dialects.cpp) against what it promises: every dialect with a
// reply has seeds for its fuzz target and a simulated camera that answers it, its parser takes its
// own seeds and no other's, types and names are told apart, and the dialects the selection dialog
// has always sent keep their order, ports and endpoints. A new row that lacks one of these is
// named here.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "discovery/reply_intake.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_dialects.h"
#include "search_responder_ext.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;

struct TSeed {
  std::string path;
  TBytes bytes;
};

fs::path SeedFolder(std::string_view dialect) {
  return fs::path(CAMLIFT_SOURCE_DIR) / "fuzz" / "corpus" / "udp_reply" / std::string(dialect);
}

std::vector<TSeed> SeedsOf(std::string_view dialect) {
  std::vector<TSeed> seeds;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(SeedFolder(dialect), ec)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    seeds.push_back({entry.path().string(), TBytes((std::istreambuf_iterator<char>(in)),
                                                   std::istreambuf_iterator<char>())});
  }
  return seeds;
}

std::string Name(const TDialect& dialect) { return std::string(dialect.name); }

TEST(DiscoveryDialects, NamesTypeCodesAndCaptionsAreTheirsAlone) {
  std::set<std::string> names;
  std::set<std::int32_t> codes;
  std::set<std::string> captions;
  for (const TDeviceType& type : TypesWithoutDialect()) codes.insert(type.code);
  for (const TDialect& dialect : DialectTable()) {
    EXPECT_TRUE(names.insert(Name(dialect)).second) << "two rows named " << dialect.name;
    EXPECT_NE(nullptr, dialect.query) << dialect.name << ": no query";
    EXPECT_GE(dialect.every, 1) << dialect.name;
    // A reply format and a type go together: what a parser accepts is listed with that type.
    EXPECT_EQ(dialect.parse != nullptr, dialect.type.code != kTypeNone) << dialect.name;
    EXPECT_TRUE(!dialect.recognises || dialect.parse) << dialect.name << ": recognised, not parsed";
    if (dialect.type.code == kTypeNone) continue;
    EXPECT_TRUE(codes.insert(dialect.type.code).second)
        << dialect.name << ": type code " << dialect.type.code << " is taken";
    EXPECT_FALSE(dialect.type.caption.empty()) << dialect.name;
    EXPECT_TRUE(captions.insert(std::string(dialect.type.caption)).second)
        << dialect.name << ": caption " << dialect.type.caption << " is another dialect's";
    EXPECT_EQ(&dialect.type, FindDeviceType(dialect.type.code)) << dialect.name;
  }
}

TEST(DiscoveryDialects, EveryRowSendsThroughAnEndpointOfTheEngine) {
  std::set<int> numbers;
  for (const TSearchEndpoint& endpoint : SearchEndpoints()) numbers.insert(endpoint.number);
  ASSERT_EQ(SearchEndpoints().size(), numbers.size()) << "an endpoint number twice";
  EXPECT_EQ(1, *numbers.begin());
  EXPECT_EQ(static_cast<int>(numbers.size()), *numbers.rbegin()) << "numbers 1 to N";
  std::set<int> used;
  int own_threads = 0;
  for (const TDialect& dialect : DialectTable()) {
    if (dialect.endpoint == kOwnThread) {
      ++own_threads;
      // Its replies arrive at its own socket, never at the endpoints that TakeReply serves.
      EXPECT_EQ(nullptr, dialect.recognises) << dialect.name;
      EXPECT_EQ(nullptr, dialect.follow_up) << dialect.name;
      continue;
    }
    EXPECT_TRUE(numbers.count(dialect.endpoint))
        << dialect.name << ": no endpoint " << dialect.endpoint << " in SearchEndpoints()";
    used.insert(dialect.endpoint);
  }
  // The engine has one seam for a search of its own (IOwnThreadSearch, the series R search).
  EXPECT_LE(own_threads, 1);
  EXPECT_EQ(numbers, used) << "an endpoint that no dialect sends through";
}

TBytes Bytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

// Each row sends its own query: a builder that moved to another row shows up here.
TEST(DiscoveryDialects, EveryRowSendsItsOwnQuery) {
  TBytes moi(27, 0);
  moi[0] = 'M', moi[1] = 'O', moi[2] = '_', moi[3] = 'I', moi[15] = 4, moi[26] = 1;
  const std::pair<const char*, TBytes> queries[] = {
      {"imagia", Bytes("IMAGIAQUERY,0")},
      {"8600", {0x44, 0x48, 0x01, 0x01}},
      {"moi", moi},
      {"uicam", Bytes("uicam query")},
      {"ctp", Bytes("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n")},
      {"1010", {0x10, 0x10, 0x01, 0x0F, 0, 0, 0, 0}},
  };
  for (const auto& [name, bytes] : queries) {
    const TDialect* dialect = FindDialect(name);
    ASSERT_NE(nullptr, dialect) << name;
    EXPECT_EQ(bytes, dialect->query()) << name;
  }
  // SQ610: 256 bytes after its name (the items' layout has a test of its own).
  const TBytes sq610 = FindDialect("sq610")->query();
  ASSERT_EQ(256u, sq610.size());
  EXPECT_EQ(Bytes("SQ610"), TBytes(sq610.begin(), sq610.begin() + 5));
}

// A pass goes on past a socket that fails: every row's send swallows the error, and so does the
// IMAGIA command, the one datagram sent outside a pass.
TEST(DiscoveryDialects, ASendThatFailsKeepsThePassGoing) {
  struct Sender : IDatagramSender {
    std::vector<std::pair<std::uint16_t, TBytes>> sent;
    bool fail = false;
    bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) override {
      if (fail) throw std::runtime_error("socket layer");
      sent.emplace_back(port, TBytes(bytes.begin(), bytes.end()));
      return true;
    }
  } sender;
  for (const TDialect& dialect : DialectTable()) {
    sender.fail = true;
    EXPECT_NO_THROW(SendDialectQuery(dialect, 4321, sender)) << dialect.name;
    sender.fail = false;
    SendDialectQuery(dialect, 4321, sender);
    ASSERT_FALSE(sender.sent.empty()) << dialect.name;
    EXPECT_EQ(4321, sender.sent.back().first) << dialect.name;
    EXPECT_EQ(dialect.query(), sender.sent.back().second) << dialect.name;
  }
  sender.fail = true;
  EXPECT_TRUE(SendImagiaCommand(sender, "ABC"));
  sender.fail = false;
  EXPECT_TRUE(SendImagiaCommand(sender, "ABC"));
  EXPECT_EQ(10000, sender.sent.back().first);
  EXPECT_EQ(Bytes("IMAGIAQUERY,3,ABC"), sender.sent.back().second);
}

// The search pass and the endpoints of the selection dialog: new rows may stand between these,
// but these keep their order, ports and endpoints, and the endpoints their order of binding.
TEST(DiscoveryDialects, TheSelectionDialogsPassKeepsItsOrder) {
  const struct {
    const char* name;
    std::uint16_t port;
    int endpoint;  // 0: a socket of its own (local port 3565)
    int every;
  } pass[] = {{"imagia", 10000, 1, 3}, {"8600", 8600, 0, 1},   {"sq610", 4000, 1, 1},
              {"moi", 10000, 2, 1},    {"uicam", 10139, 3, 1}, {"ctp", 7999, 4, 1},
              {"1010", 6801, 5, 1}};
  std::size_t next = 0;
  for (const TDialect& dialect : DialectTable()) {
    if (next < std::size(pass) && dialect.name == pass[next].name) {
      EXPECT_EQ(pass[next].port, dialect.port) << dialect.name;
      EXPECT_EQ(pass[next].endpoint, dialect.endpoint) << dialect.name;
      EXPECT_EQ(pass[next].every, dialect.every) << dialect.name;
      ++next;
    }
  }
  EXPECT_EQ(std::size(pass), next) << "out of order or missing: " << pass[next].name;

  const struct {
    int number;
    std::uint16_t first_port;
  } bind[] = {{2, 10000}, {1, 10001}, {3, 10002}, {4, 7999}, {5, 6800}};
  ASSERT_LE(std::size(bind), SearchEndpoints().size());
  for (std::size_t i = 0; i < std::size(bind); ++i) {
    EXPECT_EQ(bind[i].number, SearchEndpoints()[i].number) << i;
    EXPECT_EQ(bind[i].first_port, SearchEndpoints()[i].first_port) << i;
  }
}

// The seeds are the literal replies of each dialect, from the wire formats and not from our
// builders (fuzz/make_seeds.py wrote the first dialects'; a new one saves its test's reply).
TEST(DiscoveryDialects, EveryReplyHasASeedAndASimulatedResponder) {
  const std::vector<std::string> answered = sim::AnsweredSearchDialects();
  for (const TDialect& dialect : DialectTable()) {
    if (!dialect.parse) continue;
    EXPECT_TRUE(std::find(answered.begin(), answered.end(), Name(dialect)) != answered.end())
        << dialect.name << ": no simulated camera answers it (kSearchDialects, "
        << "sim/lib/search_responder_ext.cpp)";
    const std::vector<TSeed> seeds = SeedsOf(dialect.name);
    EXPECT_FALSE(seeds.empty()) << dialect.name << ": no seeds in " << SeedFolder(dialect.name)
                                << " (save its test's literal reply there)";
    int accepted = 0;
    for (const TSeed& seed : seeds) {
      if (dialect.recognises) {
        EXPECT_TRUE(dialect.recognises(seed.bytes)) << seed.path;
      }
      TDevInfo record;
      if (!dialect.parse(seed.bytes, record)) continue;
      ++accepted;
      EXPECT_EQ(dialect.type.code, record.DevType) << seed.path;
      EXPECT_FALSE(record.IPAddr.empty()) << seed.path;
      // Through the dispatch of the endpoints' datagrams it reaches this row, as a record.
      TDevInfo dispatched;
      const TReplyResult result = TakeReply(seed.bytes, dispatched, nullptr, nullptr);
      if (dialect.endpoint == kOwnThread) {
        EXPECT_EQ(TReplyResult::None, result) << seed.path;
      } else {
        EXPECT_EQ(TReplyResult::Record, result) << seed.path;
        EXPECT_EQ(dialect.type.code, dispatched.DevType) << seed.path;
      }
    }
    EXPECT_GE(accepted, 1) << dialect.name << ": its parser takes none of its seeds";
    // No other row takes this dialect's replies for its own.
    for (const TDialect& other : DialectTable()) {
      if (&other == &dialect) continue;
      for (const TSeed& seed : seeds) {
        TDevInfo record;
        if (other.parse) {
          EXPECT_FALSE(other.parse(seed.bytes, record)) << other.name << " " << seed.path;
        }
        if (other.recognises) {
          EXPECT_FALSE(other.recognises(seed.bytes)) << other.name << " " << seed.path;
        }
      }
    }
  }
}

}  // namespace
}  // namespace camlift
