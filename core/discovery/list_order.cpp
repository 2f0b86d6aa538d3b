// SPDX-License-Identifier: Apache-2.0
#include "discovery/list_order.h"

#include <algorithm>

namespace camlift {
namespace {

std::string_view NextPiece(std::string_view text, std::size_t& at) {
  const std::size_t dot = text.find('.', at);
  const std::size_t end = dot == std::string_view::npos ? text.size() : dot;
  const std::string_view piece = text.substr(at, end - at);
  at = end + 1;
  return piece;
}

// A piece as a number without its leading zeros ("" for 0 and for a piece that is no number), so
// that numbers of any length compare by length, then digit by digit.
std::string_view Digits(std::string_view piece) {
  if (piece.empty() ||
      !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  const std::size_t first = piece.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view{} : piece.substr(first);
}

int ComparePieces(std::string_view a, std::string_view b) {
  const std::string_view da = Digits(a);
  const std::string_view db = Digits(b);
  if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
  const int c = da.compare(db);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int CompareDottedOrder(std::string_view a, std::string_view b) {
  std::size_t at_a = 0, at_b = 0;
  // A text of n dots has n + 1 pieces, the empty text one.
  while (at_a <= a.size() && at_b <= b.size()) {
    const int c = ComparePieces(NextPiece(a, at_a), NextPiece(b, at_b));
    if (c != 0) return c;
  }
  const bool a_done = at_a > a.size();
  const bool b_done = at_b > b.size();
  if (a_done == b_done) return 0;
  return a_done ? -1 : 1;
}

int CompareOptionalDotted(std::string_view a, std::string_view b) {
  if (a.empty() != b.empty()) return a.empty() ? -1 : 1;
  return CompareDottedOrder(a, b);
}

}  // namespace camlift
