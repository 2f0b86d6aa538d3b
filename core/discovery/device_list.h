// SPDX-License-Identifier: Apache-2.0
// The camera list of the selection dialog without any window: one entry per DevID, lifetimes in
// search ticks, sorting by column and the selection that OK hands to the main window. The window
// shows Rows() and calls back on header clicks, row clicks, OK and Find.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/dev_types.h"

namespace camlift {

// Columns of the list, in display order.
enum TListColumn : int {
  kColumnType = 0,
  kColumnName = 1,
  kColumnIP = 2,
  kColumnPort = 3,
  kColumnVersion = 4,
  // The two columns of "Check for updates": the catalogue's version and the camera's state.
  kColumnLatest = 5,
  kColumnState = 6,
};
// The columns of a search reply (RowTexts), and all of them.
inline constexpr int kListColumns = 5;
inline constexpr int kAllListColumns = 7;

// What an update check found for a camera: the version it read, the catalogue's version and the
// state, a code of the upgrade layer whose values sort in their order (-1: none).
struct TCheckMark {
  std::string current;
  std::string latest;
  int state = -1;
  std::string note;  // said after the state's words (why the account was not sent)
};

// What the dialog hands back: result 1 (OK) with the chosen camera, or 2 (Cancel).
struct TSelectionResult {
  int ModalResult = 2;
  std::string szIP;
  std::int32_t nPort = 0;
  std::int32_t nTYpe = -1;
};

inline constexpr int kModalOk = 1;
inline constexpr int kModalCancel = 2;

class TDeviceList {
 public:
  // Search ticks an entry survives without a reply: the lifetime of its type (LifetimeOf,
  // dev_types.h), the long one for type 1 and for new entries of the 1010 dialect.
  static constexpr std::int32_t kLifetime = kLifetimeTicks;
  static constexpr std::int32_t kLongLifetime = kLongLifetimeTicks;
  // The most rows the list holds. A site has far fewer cameras; a host that answers every search
  // with a new MAC each time must not grow the list (and the window's time) without end. A new
  // row beyond the bound is refused and counted; known rows are still refreshed.
  static constexpr std::size_t kMaxRows = 2048;

  // True only when a new row was added. A record of DevType -1 is ignored.
  bool AddOrUpdate(const TDevInfo& record);
  // New rows refused because the list was full, since the list was last emptied.
  std::uint64_t RefusedRows() const { return refused_; }
  // A parsed reply or a record of the closed library: AddOrUpdate, then the default selection
  // and the count. A reply that changes nothing the window shows only refreshes the lifetime
  // and calls nobody back.
  void OnRecord(const TDevInfo& record);
  // The first entry whose DevID equals dev_id (exact), or none.
  TDevInfo* FindByID(const std::string& dev_id);
  // Removes every row, then UpdateCount.
  void ClearList();
  // Selects the first row when the list is not empty and nothing is selected.
  void UpdateCount();
  // The expiry of one timer tick: every entry whose type expires (not the closed library's, type
  // 4, nor one typed in by the user, kTypeManual: no broadcast ever refreshes them) loses one tick
  // of its lifetime and goes when none is left. Then UpdateCount.
  void Tick();

  // A click on a column header: the same column toggles the direction, another one becomes the
  // sort column, ascending. Then the list is sorted.
  void ClickColumn(int column);
  void Sort();
  // -1, 0 or 1: the order of two rows by the sort column and direction.
  int CompareRows(const TDevInfo& a, const TDevInfo& b) const { return Compare(a, b); }
  int SortColumn() const { return sort_column_; }
  bool SortAscending() const { return sort_ascending_; }

  const std::vector<TDevInfo>& Rows() const {
    Settle();
    return rows_;
  }
  std::size_t Count() const { return rows_.size(); }
  bool Empty() const { return rows_.empty(); }

  // Row index of the selection, -1 for none.
  int Selected() const {
    Settle();
    return selected_;
  }
  void Select(int row);
  const TDevInfo* SelectedEntry() const;
  void RemoveRow(int row);

  // The OK button: the selected camera with result OK, or Cancel with empty values.
  TSelectionResult Accept() const;

  // The check marks, by camera ("ip:port", port 0 counting as 80). Setting marks changes the
  // rows of those cameras (and their places while a check column sorts the list).
  static std::string CameraKey(const std::string& ip, int port);
  void SetCheckMarks(const std::vector<std::pair<std::string, TCheckMark>>& marks);
  void ClearCheckMarks();
  const TCheckMark* CheckMarkOf(const TDevInfo& entry) const;
  // A camera confirmed that it now runs version (an upgrade): its rows show it, and a check mark
  // read from another version goes. False when no row has that address and port.
  bool ConfirmVersion(const std::string& ip, int port, const std::string& version);
  // The row of DevID, or -1.
  int RowOf(const std::string& dev_id) const;
  // Selects the row of DevID; false (selection unchanged) when there is none.
  bool SelectEntry(const std::string& dev_id);
  // The row the next change of the list selects when its DevID comes (Find empties the list and
  // the selection returns to the camera it was on). Until then no row is chosen by default, so
  // OK never hands over another camera. Empty: none; a choice of the user ends the wait.
  void WantSelection(std::string dev_id) { wanted_ = std::move(dev_id); }
  const std::string& WantedSelection() const { return wanted_; }
  // The row of a camera found by a search (not typed in) at this address; with port 0, the
  // first at this address whatever its port. -1 when none.
  int RowAt(const std::string& ip, int port) const;
  // The answer of an address the user typed: a camera that is listed already is selected in
  // its own row, else the typed-in row is added and selected.
  void OnTypedCamera(const TDevInfo& record);

  // Called after every change of rows, order or selection (the window repaints).
  void SetOnChanged(std::function<void()> on_changed) { on_changed_ = std::move(on_changed); }

 private:
  int Compare(const TDevInfo& a, const TDevInfo& b) const;
  // Moves the row whose entry changed to its sorted place (the other rows are in order).
  void Reposition(std::size_t row);
  // Puts the rows that arrived since the last look in their sorted places, as if each had been
  // placed when it came; the selection stays on its entry.
  void Settle() const;
  void RebuildIndex() const;
  void Changed();
  void SelectRow(int row);
  void Touch(TDevInfo& entry) { entry.Revision = ++revision_; }
  void DropStaleMark(const TDevInfo& entry);

  // A search pass brings thousands of replies: a reply finds its entry through index_, and new
  // entries wait at the end of rows_ (from sorted_ on) until someone looks at the order, so that
  // a pass costs what its replies cost, not a scan or a shift of the list per reply. Looking
  // (Rows, Selected, SelectedEntry) moves rows although it is const, and a pointer from FindByID
  // holds only until then: the list belongs to the UI thread, which alone may call any of it
  // (the search threads hand their records over through the dispatcher).
  mutable std::vector<TDevInfo> rows_;
  mutable std::unordered_map<std::string, std::size_t> index_;  // DevID -> row
  mutable std::size_t sorted_ = 0;
  mutable int selected_ = -1;
  std::uint64_t changes_ = 0;
  std::uint64_t refused_ = 0;
  std::uint64_t revision_ = 0;
  std::unordered_map<std::string, TCheckMark> marks_;  // by CameraKey
  std::string wanted_;
  int sort_column_ = kColumnIP;
  bool sort_ascending_ = true;
  std::function<void()> on_changed_;
};

// The camera's name as UTF-8: as it came when it is valid UTF-8 (or from a dialect that states
// UTF-8), else decoded with the code page of the language (a camera set up in Chinese).
std::string DisplayName(const TDevInfo& entry, const std::string& language_code);
// The address as the list shows it: a reply that came from another address than the one it
// names is marked "127.0.0.9 (reply from 127.0.0.5)" (IDS_REPLYFROM).
std::string AddressColumnText(const TDevInfo& entry);
// The entry's columns as the list shows them (UTF-8, cleaned as ShownText): caption, name, IP
// address (AddressColumnText), port, version. The caption of a typed-in address is the
// language's IDS_TYPEMANUAL.
std::vector<std::string> RowTexts(const TDevInfo& entry);

}  // namespace camlift
