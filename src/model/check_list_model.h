#pragma once
// The rows of a check list: cell texts, a check state per row and the selection.
// This is the single source of truth for every list of the program; a window only
// draws it and forwards clicks, and tells it the selection the keyboard makes.
// Used on the user-interface thread only.
//
// A row's check state is its state-image index: 0 no picture, 1 unchecked,
// 2 checked.
#include <functional>
#include <string>
#include <vector>

#include "net/client_list_view.h"

namespace kestrelon {

inline constexpr int kNoCheckPicture = 0;
inline constexpr int kUnchecked = 1;
inline constexpr int kChecked = 2;

enum class ColumnAlign { left, right, centre };

struct ListColumn {
  std::string header;
  int width_units = 0;  // pixel width = header text width + 15 x units (0 counts as 3)
  ColumnAlign align = ColumnAlign::left;

  int extra_width() const { return 15 * (width_units == 0 ? 3 : width_units); }
};

// What changed, so a view can refresh only that. `reset` means rows were added,
// removed or reordered in bulk: read everything again.
struct ListChange {
  enum class Kind { reset, inserted, deleted, updated, columns };
  Kind kind = Kind::reset;
  int row = -1;
};

class CheckListModel {
 public:
  using ChangeHandler = std::function<void(const ListChange&)>;

  CheckListModel() = default;
  // A copy is a list of its own: the view told about the original's changes is
  // not told about the copy's (it may be gone before the copy is).
  CheckListModel(const CheckListModel& other);
  CheckListModel& operator=(const CheckListModel& other);

  // A view installs this to be told about every change. It runs inside the model
  // call that made the change, possibly with the client table lock held by the
  // caller: it must not take that lock.
  void set_change_handler(ChangeHandler handler) { on_change_ = std::move(handler); }

  // Check images on: margins 2 and 6 pixels; off: no pictures and margins 0.
  void set_check_images(bool on) { check_images_ = on; }
  bool check_images() const { return check_images_; }
  int first_column_margin() const { return check_images_ ? 2 : 0; }
  int other_column_margin() const { return check_images_ ? 6 : 0; }
  // Checking a row first unchecks every other row.
  void set_single_check(bool on) { single_check_ = on; }
  bool single_check() const { return single_check_; }
  // A single-selection list reports its selected row; a multiple-selection list
  // (the platform's default) does not.
  void set_single_selection(bool on) { single_selection_ = on; }

  // Inserts a column before `column` (at the end when beyond).
  void insert_column(std::string header, int column, int width_units = 0, ColumnAlign align = ColumnAlign::left);
  const std::vector<ListColumn>& columns() const { return columns_; }
  // "Name", "IP Address", "Disk(s)", "Target": header width + 90, 45, 45, 75 pixels.
  void insert_client_columns();

  int row_count() const { return static_cast<int>(rows_.size()); }
  // Empty for a row or column that does not exist.
  std::string cell(int row, int column) const;
  // Column 0 inserts a new unchecked row at `row` (appended when beyond the end)
  // and sets its first text; other columns set the text of an existing row.
  void set_cell(int row, int column, std::string text);
  void delete_row(int row);
  void delete_all_rows();
  // Deletes every row. The row store of the sorted insertion is scratch space that
  // lives only during one insertion, so this equals delete_all_rows.
  void clear();

  // A Client row at the end: name, address, disk marks, target text; unchecked,
  // then checked when `checked` (in single-check mode that unchecks the others).
  void append_client_row(const ClientRowFields& fields, bool checked = false);
  // Adds an unchecked Client row at its place in row-string order; every other row
  // keeps its check mark. The rows are rebuilt from their fields, so selection and
  // focus are lost, as with the platform list the rows live in.
  void insert_client_row_sorted(const ClientRowFields& fields);
  // Every row whose address cell equals `fields.address` gets new disk marks and a
  // new target text; names, order and check marks stay.
  void update_client_rows(const ClientRowFields& fields);
  // The fields a Client row's cells show.
  ClientRowFields client_row(int row) const;

  // 0, 1 or 2; 0 for a row that does not exist.
  int check_state(int row) const;
  // From state 1 sets 2, from 2 sets 1; any other state changes nothing.
  // `from_state` -1 means the row's current state.
  void toggle(int row, int from_state = -1);
  void check(int row);
  void uncheck(int row);
  void check_all();
  void uncheck_all();
  // A click on `row` (-1 when the click hit no row).
  void click_toggle(int row);
  // Space on the list: the highlighted row's check mark changes as a click on the
  // row would change it. Returns that row; -1 (nothing changed) when no row is
  // highlighted or the list shows no check marks.
  int space_toggle();
  bool exactly_one_checked() const;
  // The last checked row in list order, or -1; `count` receives the number of
  // checked rows.
  int last_checked(int* count = nullptr) const;

  // The first selected row of a single-selection list; -1 for a multiple-selection
  // list or when no row is selected.
  int selected_row() const;
  // Selects and focuses the row (a single-selection list drops the old selection).
  void select_row(int row);
  bool is_selected(int row) const;
  int focused_row() const;

 private:
  struct Row {
    std::vector<std::string> cells;
    int state = kUnchecked;
    bool selected = false;
    bool focused = false;
  };

  bool valid(int row) const { return row >= 0 && row < row_count(); }
  void set_state(int row, int state);
  void notify(ListChange::Kind kind, int row = -1);

  std::vector<ListColumn> columns_;
  std::vector<Row> rows_;
  bool check_images_ = true;
  bool single_check_ = false;
  bool single_selection_ = false;
  int quiet_ = 0;  // > 0 while a bulk operation reports one reset at its end
  ChangeHandler on_change_;
};

}  // namespace kestrelon
