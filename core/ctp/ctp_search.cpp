// SPDX-License-Identifier: Apache-2.0
#include "ctp/ctp_search.h"

#include <algorithm>
#include <charconv>

namespace camlift {
namespace {

enum class Field { Name, Serial, Port, Ip, Netmask, Dns1, Dns2, Gateway, Dhcp, Version };

struct KeyRow {
  std::string_view key;
  Field field;
  std::size_t width;  // characters kept of a text field
};

// Order matters: a line goes to the first key that occurs anywhere in it ("-portctp" before
// "-ip", which it does not contain, but a value may).
constexpr KeyRow kKeys[] = {
    {"-name", Field::Name, 50},       {"-sn", Field::Serial, 40},
    {"-portctp", Field::Port, 0},     {"-ip", Field::Ip, 16},
    {"-netmask", Field::Netmask, 16}, {"-mdns", Field::Dns1, 16},
    {"-sdns", Field::Dns2, 16},       {"-gw", Field::Gateway, 16},
    {"-dhcpen", Field::Dhcp, 0},      {"-version", Field::Version, 48},
};

std::string Cut(std::string_view value, std::size_t width) {
  return std::string(value.substr(0, width));
}

std::int32_t PortValue(std::string_view value) {
  std::int32_t port = 0;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, port);
  return ec == std::errc() && ptr == end && !value.empty() ? port : 81;
}

void Apply(TCtpSearchRecord& record, const KeyRow& row, std::string_view value) {
  switch (row.field) {
    case Field::Name:
      record.name = Cut(value, row.width);
      break;
    case Field::Serial:
      record.serial = Cut(value, row.width);
      break;
    case Field::Port:
      record.port = PortValue(value);
      break;
    case Field::Ip:
      record.ip = Cut(value, row.width);
      break;
    case Field::Netmask:
      record.netmask = Cut(value, row.width);
      break;
    case Field::Dns1:
      record.dns1 = Cut(value, row.width);
      break;
    case Field::Dns2:
      record.dns2 = Cut(value, row.width);
      break;
    case Field::Gateway:
      record.gateway = Cut(value, row.width);
      break;
    case Field::Dhcp:
      record.dhcp = value != "0";
      break;
    case Field::Version:
      record.version = Cut(CtpVersionFromValue(value), row.width);
      break;
  }
}

}  // namespace

std::string CtpVersionFromValue(std::string_view value) {
  const std::size_t first_blank = value.find(' ');
  if (first_blank == std::string_view::npos) return {};
  const std::string_view rest = value.substr(first_blank + 1);
  const std::size_t next_blank = rest.find(' ');
  if (next_blank == std::string_view::npos) return {};
  return std::string(rest.substr(0, next_blank + 1));
}

std::optional<TCtpSearchRecord> ParseCtpSearchReply(std::span<const char> datagram) {
  std::string_view text(datagram.data(), std::min(datagram.size(), kCtpSearchReplyLimit));
  text = text.substr(0, text.find('\0'));
  if (text.empty() || !text.starts_with("REPLY")) return std::nullopt;

  TCtpSearchRecord record;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);

    const auto row = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyRow& r) {
      return line.find(r.key) != std::string_view::npos;
    });
    if (row == std::end(kKeys)) continue;
    const std::size_t blank = line.find(' ');
    Apply(record, *row, blank == std::string_view::npos ? line : line.substr(blank + 1));
  }
  return record;
}

}  // namespace camlift
