// SPDX-License-Identifier: Apache-2.0
#include "discovery/search_datagrams.h"

#include <thread>

#include "discovery/record_8600.h"
#include "platform/timing.h"

namespace camlift {
namespace {

TBytes FromText(std::string_view text) { return TBytes(text.begin(), text.end()); }

void PutU16LE(TBytes& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32LE(TBytes& bytes, std::size_t offset, std::uint32_t value) {
  PutU16LE(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  PutU16LE(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace

TBytes BuildSQ610Query() {
  TBytes bytes(256, 0);
  bytes[0] = 'S', bytes[1] = 'Q', bytes[2] = '6', bytes[3] = '1', bytes[4] = '0';
  std::size_t offset = 5;
  for (const TSQ610Item& item : kSQ610Items) {
    bytes[offset] = item.tag;
    bytes[offset + 1] = item.length;
    offset += 2 + item.length;
  }
  return bytes;
}

TBytes BuildMOIQuery() {
  TBytes bytes(27, 0);
  bytes[0] = 'M', bytes[1] = 'O', bytes[2] = '_', bytes[3] = 'I';
  PutU16LE(bytes, 4, 0);   // operation code: query
  PutU32LE(bytes, 15, 4);  // body length
  bytes[26] = 0x01;
  return bytes;
}

TBytes BuildUicamQuery() { return FromText(kUicamQuery); }

TBytes BuildCTPSearch() { return FromText(kCTPSearch); }

TBytes Build1010Query() { return {0x10, 0x10, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00}; }

TBytes BuildImagiaQuery() { return FromText(kImagiaQuery); }

TBytes BuildImagiaCommand(std::string_view dev_id) {
  std::string text(kImagiaCommandPrefix);
  text.append(dev_id);
  return FromText(text);
}

TBytes Build8600Query() {
  return {static_cast<std::uint8_t>(k8600Magic & 0xFF), static_cast<std::uint8_t>(k8600Magic >> 8),
          static_cast<std::uint8_t>(k8600QueryKind & 0xFF),
          static_cast<std::uint8_t>(k8600QueryKind >> 8)};
}

bool SendImagiaCommand(IDatagramSender& endpoint, std::string_view dev_id) {
  std::this_thread::sleep_for(Duration(Wait::ImagiaCommandPause));
  try {
    endpoint.Broadcast(kImagiaPort, BuildImagiaCommand(dev_id));
  } catch (...) {
  }
  return true;
}

}  // namespace camlift
