#pragma once
// Controls that the group dialogs and the lists of Clients share, placed by
// their dialog-unit rectangles: a list of Client rows ("Name", "IP Address",
// "Disk(s)", "Target") and the "Groups" list of saved group names.
#include <string>
#include <vector>

#include <wx/gdicmn.h>
#include <wx/listbox.h>

#include "model/check_list_model.h"
#include "model/dialog_units.h"

class CCheckListCtrl;
class wxWindow;

inline wxPoint At(const kestrelon::PixelRect& r) { return {r.x, r.y}; }
inline wxSize SizeOf(const kestrelon::PixelRect& r) { return {r.width, r.height}; }

// Gives `model` the four Client columns and check pictures as asked, and returns
// the list that shows it. The address column always shows a whole address.
CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const kestrelon::PixelRect& rect, bool check_images);

// The list of group names (control 1068). A group is chosen by a click or a key
// in the list only: the toolkit's list selects its first entry by itself when it
// first takes the keyboard focus (as the dialog opens, or on Tab), and that is
// nobody's choice, so it is undone before the dialog hears of it.
class CGroupList : public wxListBox {
 public:
  CGroupList(wxWindow* parent, const kestrelon::PixelRect& rect);
  // Replaces the entries; the next selection that is no click or key is undone again.
  void Fill(const std::vector<std::string>& names);

 protected:
  bool TryBefore(wxEvent& event) override;

 private:
  bool user_input_ = false;
};

// The label "Groups" at `label` and, below it, the list of group names at `list`,
// holding `names` in their order.
CGroupList* CreateGroupList(wxWindow* parent, const kestrelon::PixelRect& label, const kestrelon::PixelRect& list,
                            const std::vector<std::string>& names);
