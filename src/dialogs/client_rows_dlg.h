#pragma once
// The smaller dialogs that list Clients ("List of failed Clients", "List Of
// Clients With Insufficient Disk Space"): a "Clients" frame around an optional
// text and a list of the four Client columns without check boxes, and one button
// under it that closes the dialog. The dialog owns the rows its list shows; a
// derived dialog fills them.
#include <wx/dialog.h>

#include "model/check_list_model.h"

class CClientRowsDlg : public wxDialog {
 public:
  const kestrelon::CheckListModel& Rows() const { return rows_; }

 protected:
  struct Body {
    int list_id = 0;
    wxString text;  // above the list; none when empty
    int button_id = 0;
    wxString button_label;
    int extra_width = 0;  // dialog units beyond the four columns' width, for a fifth
  };

  CClientRowsDlg(wxWindow* parent, int id, const wxString& title, const Body& body);
  ~CClientRowsDlg() override;

  kestrelon::CheckListModel rows_;
};
