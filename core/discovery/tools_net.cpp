// SPDX-License-Identifier: Apache-2.0
#include "discovery/tools_net.h"

#include <algorithm>
#include <charconv>

#include "discovery/udp_endpoint.h"
#include "platform/socket.h"
#include "util/curl_transfer.h"
#include "util/text.h"

namespace camlift {
namespace {

std::size_t CountPieces(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '.')) + 1;
}

// The piece of text that starts at start, up to the next dot; start moves past that dot.
std::string_view NextPiece(std::string_view text, std::size_t& start) {
  const std::size_t dot = text.find('.', start);
  const std::size_t end = dot == std::string_view::npos ? text.size() : dot;
  const std::string_view piece = text.substr(start, end - start);
  start = end + 1;
  return piece;
}

std::uint64_t PieceValue(std::string_view piece) {
  std::uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  if (ec != std::errc() || ptr != piece.data() + piece.size()) return 0;
  return value;
}

// The largest answer HttpGet keeps; the configuration pages it reads are a few hundred bytes.
constexpr std::size_t kMaxBody = 1 << 20;

struct TBodySink {
  std::string* body;
  bool overflow = false;
};

std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<TBodySink*>(user);
  const std::size_t n = size * count;
  if (sink->body->size() + n > kMaxBody) {
    sink->overflow = true;
    return 0;
  }
  sink->body->append(data, n);
  return n;
}

}  // namespace

int CompareTextNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(LowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(LowerAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool TTools_Net::BindFreePort(TUdpEndpoint& endpoint, std::uint16_t start_port) {
  std::vector<std::uint16_t> busy;
  return BindFreePort(endpoint, start_port, busy);
}

bool TTools_Net::BindFreePort(TUdpEndpoint& endpoint, std::uint16_t start_port,
                              std::vector<std::uint16_t>& busy) {
  const auto last_of = [](int from) { return std::min(from + kPortRange - 1, 65535); };
  int found = -1;
  {
    TSocketHandle scratch = MakeUdpSocket(false);
    if (!scratch.valid()) return false;
    for (int port = start_port; port <= last_of(start_port); ++port) {
      if (BindUdp(scratch.get(), static_cast<std::uint16_t>(port))) {
        found = port;
        break;
      }
      busy.push_back(static_cast<std::uint16_t>(port));
    }
  }
  if (found < 0) return false;
  for (int port = found; port <= last_of(found); ++port) {
    if (endpoint.Activate(static_cast<std::uint16_t>(port))) return true;
    busy.push_back(static_cast<std::uint16_t>(port));
  }
  return false;
}

std::string TTools_Net::IPToStr(std::span<const std::uint8_t, 4> bytes) {
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += '.';
    out += std::to_string(b);
  }
  return out;
}

int TTools_Net::CompareDotted(std::string_view a, std::string_view b) {
  // The list sorts by this on every change, so it works in place without allocating.
  const std::size_t pieces = CountPieces(a);
  if (pieces != CountPieces(b)) return CompareTextNoCase(a, b);
  std::size_t at_a = 0, at_b = 0;
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::uint64_t va = PieceValue(NextPiece(a, at_a));
    const std::uint64_t vb = PieceValue(NextPiece(b, at_b));
    if (va != vb) return va > vb ? 1 : -1;
  }
  return 0;
}

bool TTools_Net::HttpGet(const std::string& url, std::string& text, int timeout_ms,
                         const std::string& user, const std::string& password) {
  text.clear();
  CurlEasy easy = MakeCurlEasy();
  if (!easy) return false;
  CURL* h = easy.get();
  std::string body;
  TBodySink sink{&body};
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_ms));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  if (!user.empty()) {
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, password.c_str());
  }
  TransferControl control;
  control.idle_timeout_ms = timeout_ms;
  const TransferResult result = PerformTransfer(h, control);
  if (!result.ok() || sink.overflow || result.status < 200 || result.status >= 300) return false;
  text = std::move(body);
  return true;
}

}  // namespace camlift
