#pragma once
// The program's report list: draws the rows of a check-list model itself (full-row
// highlight to the right edge, check pictures, cell texts shortened with "...")
// and forwards clicks to the model. A single click toggles the row's check mark;
// a double click toggles it once more (so it ends as it was) and tells the owner.
// Space toggles the highlighted row's mark as a click does; the other keys move
// the selection. The rows and their states live in the
// model; this window keeps nothing but column widths.
#include <string>
#include <vector>

#include <wx/event.h>
#include <wx/imaglist.h>
#include <wx/panel.h>

#include "model/check_list_model.h"

class wxHeaderCtrlSimple;
class wxScrollBar;

// Sent to the owner after a click on the list or Space (the check mark already
// toggled) and after a double click on a row; the event's int is the row, -1 for
// none.
wxDECLARE_EVENT(EVT_CHECKLIST_CLICK, wxCommandEvent);
wxDECLARE_EVENT(EVT_CHECKLIST_DCLICK, wxCommandEvent);

class CCheckListCtrl : public wxPanel {
 public:
  // Closing waits this long before the list lets go of its resources, as the
  // list always has; a window that owns two lists takes about four seconds. Its
  // dialog is off the screen by then, and no input gets through meanwhile.
  static constexpr int kCloseWaitMs = 2000;

  CCheckListCtrl(wxWindow* parent, wxWindowID id, kestrelon::CheckListModel& model,
                 const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxDefaultSize);
  ~CCheckListCtrl() override;

  kestrelon::CheckListModel& Model() { return model_; }

  // Takes the model's columns, each as wide as its header text plus its extra.
  void UpdateColumns();
  // Keeps `column` at least wide enough for `sample` with its margins. Header
  // widths plus a fixed extra were chosen for a narrower font than desktops use
  // now; an address column must still show a whole address.
  void SetMinimumColumnText(int column, const std::string& sample);
  int ColumnWidth(int column) const;
  // A list without a column header (the Preferences' interface list).
  void ShowHeader(bool show);
  int RowHeight() const;

  // Where a row is drawn, in this control's client coordinates; empty when it is
  // scrolled out of view or does not exist.
  wxRect RowRect(int row) const;
  // A cell's text as drawn at the current column width.
  wxString DrawnCellText(int row, int column) const;

  bool HasFocus() const override;

  // Columns wider than the list scroll sideways: the offset and the range.
  int HorizontalOffset() const { return x_offset_; }
  int TotalColumnWidth() const;
  bool HorizontalScrollShown() const;
  void ScrollHorizontally(int offset);

 private:
  class Rows;
  friend class Rows;

  void OnModelChange(const kestrelon::ListChange& change);
  void LayOutChildren();

  kestrelon::CheckListModel& model_;
  wxHeaderCtrlSimple* header_ = nullptr;
  Rows* rows_ = nullptr;
  wxScrollBar* sideways_ = nullptr;
  int x_offset_ = 0;
  std::vector<int> widths_;
  std::vector<std::string> minimum_texts_;
  wxImageList state_images_;
};
