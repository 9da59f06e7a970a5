#pragma once
// The builder window's log: a virtual list that draws the rows the core's log
// holds (commands and results in bold, standard error in red) and copies the
// selected rows with Ctrl+C.
#include <wx/listctrl.h>

namespace kestrelon::builder_window {
class BuilderLog;
}

class BuilderLogList : public wxListCtrl {
 public:
  BuilderLogList(wxWindow* parent, const kestrelon::builder_window::BuilderLog& log);

  // Shows the log as it is now, scrolled to its newest row.
  void Render();
  wxString RowText(long row) const;

 private:
  wxString OnGetItemText(long item, long column) const override;
  wxItemAttr* OnGetItemAttr(long item) const override;
  void OnKey(wxKeyEvent& event);

  const kestrelon::builder_window::BuilderLog& log_;
  mutable wxItemAttr attr_;
};
