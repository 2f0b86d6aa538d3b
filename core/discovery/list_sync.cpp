// SPDX-License-Identifier: Apache-2.0
#include "discovery/list_sync.h"

#include <algorithm>
#include <unordered_map>

namespace camlift {
namespace {

// Indexes into seq of one longest strictly increasing subsequence (O(n log n)).
std::vector<bool> LongestIncreasing(const std::vector<std::size_t>& seq) {
  std::vector<std::size_t> tails;  // index into seq of the smallest tail of each length
  std::vector<std::size_t> before(seq.size(), SIZE_MAX);
  for (std::size_t i = 0; i < seq.size(); ++i) {
    const auto at =
        std::lower_bound(tails.begin(), tails.end(), seq[i],
                         [&](std::size_t t, std::size_t value) { return seq[t] < value; });
    if (at != tails.begin()) before[i] = *(at - 1);
    if (at == tails.end()) {
      tails.push_back(i);
    } else {
      *at = i;
    }
  }
  std::vector<bool> in(seq.size(), false);
  for (std::size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = before[i]) {
    in[i] = true;
  }
  return in;
}

void AddToRanges(std::vector<TListSyncPlan::TRange>& ranges, std::size_t index) {
  if (!ranges.empty() && ranges.back().last + 1 == index) {
    ranges.back().last = index;
  } else {
    ranges.push_back({index, index});
  }
}

}  // namespace

TListSyncPlan PlanListSync(const std::vector<TShownRow>& shown, const std::vector<TDevInfo>& rows,
                           std::size_t max_moves) {
  TListSyncPlan plan;
  std::unordered_map<std::string_view, std::size_t> row_of;
  row_of.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) row_of.emplace(rows[i].DevID, i);

  // What stays, with its place in the list; what goes, as ranges from the back.
  std::vector<std::size_t> kept;  // list row of each staying shown row, in shown order
  std::vector<bool> in_view(rows.size(), false);
  std::vector<std::uint64_t> drawn(rows.size(), 0);
  for (std::size_t i = shown.size(); i-- > 0;) {
    const auto found = row_of.find(shown[i].id);
    if (found == row_of.end() || in_view[found->second]) {
      if (!plan.removals.empty() && plan.removals.back().first == i + 1) {
        plan.removals.back().first = i;
      } else {
        plan.removals.push_back({i, i});
      }
      continue;
    }
    in_view[found->second] = true;
    drawn[found->second] = shown[i].revision;
    kept.push_back(found->second);
  }
  std::reverse(kept.begin(), kept.end());

  // Rows outside one longest run in list order move; the rest stand still.
  const std::vector<bool> stays = LongestIncreasing(kept);
  std::vector<std::size_t> movers;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (!stays[i]) movers.push_back(kept[i]);
  }
  if (movers.size() > max_moves) {
    plan.reorder = true;
  } else if (!movers.empty()) {
    // Each mover goes right behind the row before it in the list among those shown; taken in
    // list order, that row already stands where it belongs.
    std::sort(movers.begin(), movers.end());
    std::vector<std::size_t> order = kept;
    std::vector<std::size_t> previous(rows.size(), SIZE_MAX);
    std::size_t last = SIZE_MAX;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (!in_view[r]) continue;
      previous[r] = last;
      last = r;
    }
    for (const std::size_t mover : movers) {
      const auto from =
          static_cast<std::size_t>(std::find(order.begin(), order.end(), mover) - order.begin());
      order.erase(order.begin() + static_cast<std::ptrdiff_t>(from));
      std::size_t to = 0;
      if (previous[mover] != SIZE_MAX) {
        to = static_cast<std::size_t>(std::find(order.begin(), order.end(), previous[mover]) -
                                      order.begin()) +
             1;
      }
      order.insert(order.begin() + static_cast<std::ptrdiff_t>(to), mover);
      if (from != to) plan.moves.push_back({from, to});
    }
  }

  // The new rows, each run at its final place.
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (in_view[r]) continue;
    if (!plan.inserts.empty() && plan.inserts.back().at + plan.inserts.back().count == r) {
      ++plan.inserts.back().count;
    } else {
      plan.inserts.push_back({r, 1});
    }
  }
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (in_view[r] && drawn[r] != rows[r].Revision) AddToRanges(plan.changed, r);
  }
  return plan;
}

}  // namespace camlift
