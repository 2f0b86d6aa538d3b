// SPDX-License-Identifier: Apache-2.0
// How a view that shows a copy of the camera list catches up with the list: the rows that went,
// the rows that moved, the rows that came and the rows whose texts changed. A view that follows
// the plan step by step touches only those rows, so a search pass that changes a few rows of
// thousands costs the view a few rows, not a redraw of all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/dev_info.h"

namespace camlift {

// A row as the view shows it: whose it is, and the revision of the entry it was drawn from.
struct TShownRow {
  std::string id;
  std::uint64_t revision = 0;
};

struct TListSyncPlan {
  // Rows first..last (inclusive) to remove, in the order given (from the back, so that each
  // range holds in the view as it is at that step).
  struct TRange {
    std::size_t first;
    std::size_t last;
  };
  std::vector<TRange> removals;
  // Then single rows to move, one after the other: the row at from goes to index to (its index
  // once it stands there).
  struct TMove {
    std::size_t from;
    std::size_t to;
  };
  std::vector<TMove> moves;
  // Or, instead of the moves, the remaining rows take the list's order at once (a new sort).
  bool reorder = false;
  // Then count new rows at index at, in the order given (each at its final index).
  struct TInsert {
    std::size_t at;
    std::size_t count;
  };
  std::vector<TInsert> inserts;
  // Finally the rows (final indexes) that stayed but whose entry changed since it was drawn.
  std::vector<TRange> changed;

  bool Empty() const {
    return removals.empty() && moves.empty() && !reorder && inserts.empty() && changed.empty();
  }
};

// The plan that turns shown into rows (each DevID once in rows). More than max_moves moved rows
// give reorder instead of moves.
TListSyncPlan PlanListSync(const std::vector<TShownRow>& shown, const std::vector<TDevInfo>& rows,
                           std::size_t max_moves);

}  // namespace camlift
