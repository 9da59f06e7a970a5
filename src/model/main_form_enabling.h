#pragma once
// Which command buttons of the main form are enabled. The view recomputes the two
// groups only at fixed moments (after a file selection change or Browse for the
// file group; after a click in the client list, Select All, Deselect All, the
// group dialogs, Rediscover or a drive choice for the client group), never
// continuously, so a list that changes underneath keeps the old state until then.
namespace kestrelon {

struct FileButtonsEnabling {
  bool copy = false;
  bool schedule = false;
  bool file_info = false;
};

// Copy needs a selected image file; Schedule and file Info follow Copy.
constexpr FileButtonsEnabling file_buttons_enabling(bool file_selected) {
  return {file_selected, file_selected, file_selected};
}

struct ClientButtonsEnabling {
  bool create = false;
  bool client_info = false;
};

// Create reads exactly one Client's disk; client Info needs a selected row.
constexpr ClientButtonsEnabling client_buttons_enabling(int checked_rows, bool row_selected) {
  return {checked_rows == 1, row_selected};
}

}  // namespace kestrelon
