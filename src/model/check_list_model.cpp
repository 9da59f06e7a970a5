#include "model/check_list_model.h"

#include <algorithm>

#include "model/client_row_text.h"

namespace kestrelon {

CheckListModel::CheckListModel(const CheckListModel& other)
    : columns_(other.columns_),
      rows_(other.rows_),
      check_images_(other.check_images_),
      single_check_(other.single_check_),
      single_selection_(other.single_selection_) {}

CheckListModel& CheckListModel::operator=(const CheckListModel& other) {
  if (this == &other) return *this;
  columns_ = other.columns_;
  rows_ = other.rows_;
  check_images_ = other.check_images_;
  single_check_ = other.single_check_;
  single_selection_ = other.single_selection_;
  notify(ListChange::Kind::reset);
  return *this;
}

void CheckListModel::notify(ListChange::Kind kind, int row) {
  if (quiet_ == 0 && on_change_) on_change_(ListChange{kind, row});
}

void CheckListModel::insert_column(std::string header, int column, int width_units, ColumnAlign align) {
  const auto at = static_cast<std::size_t>(std::clamp(column, 0, static_cast<int>(columns_.size())));
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(at), ListColumn{std::move(header), width_units, align});
  notify(ListChange::Kind::columns);
}

void CheckListModel::insert_client_columns() {
  insert_column("Name", 0, 6);
  insert_column("IP Address", 1, 3);
  insert_column("Disk(s)", 2, 3);
  insert_column("Target", 3, 5);
}

std::string CheckListModel::cell(int row, int column) const {
  if (!valid(row) || column < 0) return {};
  const auto& cells = rows_[static_cast<std::size_t>(row)].cells;
  return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)] : std::string();
}

void CheckListModel::set_cell(int row, int column, std::string text) {
  if (row < 0 || column < 0) return;
  if (column == 0) {
    const int at = std::min(row, row_count());
    Row r;
    r.cells.push_back(std::move(text));
    rows_.insert(rows_.begin() + at, std::move(r));
    notify(ListChange::Kind::inserted, at);
    return;
  }
  if (!valid(row)) return;
  auto& cells = rows_[static_cast<std::size_t>(row)].cells;
  if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(static_cast<std::size_t>(column) + 1);
  cells[static_cast<std::size_t>(column)] = std::move(text);
  notify(ListChange::Kind::updated, row);
}

void CheckListModel::delete_row(int row) {
  if (!valid(row)) return;
  rows_.erase(rows_.begin() + row);
  notify(ListChange::Kind::deleted, row);
}

void CheckListModel::delete_all_rows() {
  rows_.clear();
  notify(ListChange::Kind::reset);
}

void CheckListModel::clear() { delete_all_rows(); }

void CheckListModel::append_client_row(const ClientRowFields& f, bool checked) {
  const int row = row_count();
  ++quiet_;
  set_cell(row, 0, f.name);
  set_cell(row, 1, f.address);
  set_cell(row, 2, disk_marks(f.disk_count));
  set_cell(row, 3, target_text(f.disk_index, f.size_mb));
  --quiet_;
  notify(ListChange::Kind::inserted, row);
  if (checked) check(row);
}

void CheckListModel::insert_client_row_sorted(const ClientRowFields& fields) {
  // The row store: every row as its row string, kept in ascending order. The
  // fields travel beside the string instead of being decoded from it, so a name
  // that contains a separator such as "|<1>|" cannot shift the other fields.
  struct Entry {
    std::string key;
    ClientRowFields fields;
    bool checked = false;
  };
  std::vector<Entry> store;
  store.reserve(rows_.size() + 1);
  const auto insert_sorted = [&store](Entry e) {
    // std::string compares through char_traits<char>, which orders bytes as
    // unsigned characters. Equal strings go after the existing ones.
    const auto at = std::upper_bound(store.begin(), store.end(), e.key,
                                     [](const std::string& key, const Entry& x) { return key < x.key; });
    store.insert(at, std::move(e));
  };
  for (int r = 0; r < row_count(); ++r) {
    Entry e{{}, client_row(r), check_state(r) == kChecked};
    e.key = row_string(e.fields, e.checked);
    insert_sorted(std::move(e));
  }
  insert_sorted(Entry{row_string(fields, false), fields, false});

  ++quiet_;
  rows_.clear();
  for (const Entry& e : store) append_client_row(e.fields, e.checked);
  --quiet_;
  notify(ListChange::Kind::reset);
}

void CheckListModel::update_client_rows(const ClientRowFields& f) {
  for (int r = 0; r < row_count(); ++r) {
    if (cell(r, 1) != f.address) continue;
    ++quiet_;
    set_cell(r, 2, disk_marks(f.disk_count));
    set_cell(r, 3, target_text(f.disk_index, f.size_mb));
    --quiet_;
    notify(ListChange::Kind::updated, r);
  }
}

ClientRowFields CheckListModel::client_row(int row) const {
  return fields_from_cells(cell(row, 0), cell(row, 1), cell(row, 2), cell(row, 3));
}

int CheckListModel::check_state(int row) const {
  return valid(row) ? rows_[static_cast<std::size_t>(row)].state : kNoCheckPicture;
}

void CheckListModel::set_state(int row, int state) {
  if (!valid(row) || rows_[static_cast<std::size_t>(row)].state == state) return;
  rows_[static_cast<std::size_t>(row)].state = state;
  notify(ListChange::Kind::updated, row);
}

void CheckListModel::toggle(int row, int from_state) {
  const int from = from_state == -1 ? check_state(row) : from_state;
  if (from == kUnchecked) set_state(row, kChecked);
  else if (from == kChecked) set_state(row, kUnchecked);
}

void CheckListModel::check(int row) {
  if (single_check_) uncheck_all();
  set_state(row, kChecked);
}

void CheckListModel::uncheck(int row) {
  if (check_state(row) == kChecked) set_state(row, kUnchecked);
}

void CheckListModel::check_all() {
  if (single_check_) return;
  for (int r = 0; r < row_count(); ++r) {
    if (check_state(r) == kUnchecked) set_state(r, kChecked);
  }
}

void CheckListModel::uncheck_all() {
  for (int r = 0; r < row_count(); ++r) uncheck(r);
}

void CheckListModel::click_toggle(int row) {
  const int before = check_state(row);
  if (single_check_) uncheck_all();
  toggle(row, before);
}

int CheckListModel::space_toggle() {
  const int row = focused_row();
  if (row < 0 || !check_images_) return -1;
  click_toggle(row);
  return row;
}

bool CheckListModel::exactly_one_checked() const {
  int count = 0;
  last_checked(&count);
  return count == 1;
}

int CheckListModel::last_checked(int* count) const {
  int last = -1;
  int n = 0;
  for (int r = 0; r < row_count(); ++r) {
    if (check_state(r) == kChecked) {
      last = r;
      ++n;
    }
  }
  if (count) *count = n;
  return last;
}

int CheckListModel::selected_row() const {
  if (!single_selection_) return -1;
  for (int r = 0; r < row_count(); ++r) {
    if (rows_[static_cast<std::size_t>(r)].selected) return r;
  }
  return -1;
}

void CheckListModel::select_row(int row) {
  if (!valid(row)) return;
  for (int r = 0; r < row_count(); ++r) {
    Row& x = rows_[static_cast<std::size_t>(r)];
    const bool was_selected = x.selected;
    const bool was_focused = x.focused;
    if (r == row) {
      x.selected = true;
      x.focused = true;
    } else {
      x.focused = false;
      if (single_selection_) x.selected = false;
    }
    if (x.selected != was_selected || x.focused != was_focused) notify(ListChange::Kind::updated, r);
  }
}

bool CheckListModel::is_selected(int row) const { return valid(row) && rows_[static_cast<std::size_t>(row)].selected; }

int CheckListModel::focused_row() const {
  for (int r = 0; r < row_count(); ++r) {
    if (rows_[static_cast<std::size_t>(r)].focused) return r;
  }
  return -1;
}

}  // namespace kestrelon
