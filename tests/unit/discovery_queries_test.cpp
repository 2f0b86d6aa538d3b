// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/search_datagrams.h"
#include "discovery/search_engine.h"

namespace camlift {
namespace {

TBytes Text(const std::string& s) { return TBytes(s.begin(), s.end()); }

// Every item of the SQ610 query at its offset, tag and length, zero bytes in between.
TEST(DiscoveryQueries, SQ610LayoutByteForByte) {
  struct Item {
    std::size_t offset;
    std::uint8_t tag;
    std::uint8_t length;
  };
  const Item items[] = {{5, 0x10, 6},    {13, 0x20, 16}, {31, 0x21, 16}, {49, 0x11, 4},
                        {55, 0x12, 4},   {61, 0x13, 4},  {67, 0x14, 4},  {73, 0x1F, 4},
                        {79, 0x22, 16},  {97, 0x23, 16}, {115, 0x24, 4}, {121, 0x28, 4},
                        {127, 0x25, 30}, {159, 0x26, 1}};
  TBytes expected(256, 0);
  for (std::size_t i = 0; i < 5; ++i) expected[i] = static_cast<std::uint8_t>("SQ610"[i]);
  for (const Item& item : items) {
    expected[item.offset] = item.tag;
    expected[item.offset + 1] = item.length;
  }
  EXPECT_EQ(expected, BuildSQ610Query());
}

TEST(DiscoveryQueries, FixedQueriesByteForByte) {
  TBytes moi(27, 0);
  moi[0] = 'M', moi[1] = 'O', moi[2] = '_', moi[3] = 'I', moi[15] = 4, moi[26] = 1;
  const struct {
    const char* name;
    TBytes expected;
    TBytes actual;
  } cases[] = {
      {"MO_I", moi, BuildMOIQuery()},
      {"uicam", Text("uicam query"), BuildUicamQuery()},
      {"CTP", Text("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"), BuildCTPSearch()},
      {"1010", {0x10, 0x10, 0x01, 0x0F, 0, 0, 0, 0}, Build1010Query()},
      {"IMAGIA", Text("IMAGIAQUERY,0"), BuildImagiaQuery()},
      {"IMAGIA command", Text("IMAGIAQUERY,3,00112233AABB"), BuildImagiaCommand("00112233AABB")},
      {"8600", {0x44, 0x48, 0x01, 0x01}, Build8600Query()},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual) << c.name;
  EXPECT_EQ(34u, BuildCTPSearch().size());
}

// The simulator answers on core's port constants, so an end-to-end run cannot see a wrong one:
// here they are held to the cameras' ports.
TEST(DiscoveryQueries, DestinationPortsOfASearch) {
  const TSearchPorts ports;
  const struct {
    const char* name;
    std::uint16_t expected;
    std::uint16_t actual;
  } cases[] = {{"SQ610", 4000, ports.Of(*FindDialect("sq610"))},
               {"MO_I", 10000, ports.Of(*FindDialect("moi"))},
               {"uicam", 10139, ports.Of(*FindDialect("uicam"))},
               {"CTP", 7999, ports.Of(*FindDialect("ctp"))},
               {"1010", 6801, ports.Of(*FindDialect("1010"))},
               {"8600", 8600, ports.Of(*FindDialect("8600"))},
               {"IMAGIA", 10000, ports.Of(*FindDialect("imagia"))},
               {"8600 local", 3565, k8600LocalPort}};
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual) << c.name;
}

}  // namespace
}  // namespace camlift
