#pragma once
// Controls that the group dialogs and the lists of Clients share, placed by
// their dialog-unit rectangles: a list of Client rows ("Name", "IP Address",
// "Disk(s)", "Target") and the "Groups" list of saved group names.
#include <string>
#include <vector>

#include <wx/gdicmn.h>

#include "model/check_list_model.h"
#include "model/dialog_units.h"

class CCheckListCtrl;
class wxListBox;
class wxWindow;

inline wxPoint At(const kestrelon::PixelRect& r) { return {r.x, r.y}; }
inline wxSize SizeOf(const kestrelon::PixelRect& r) { return {r.width, r.height}; }

// Gives `model` the four Client columns and check pictures as asked, and returns
// the list that shows it. The address column always shows a whole address.
CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const kestrelon::PixelRect& rect, bool check_images);

// The label "Groups" at `label` and, below it, the list of group names (control
// 1068) at `list`, holding `names` in their order.
wxListBox* CreateGroupList(wxWindow* parent, const kestrelon::PixelRect& label, const kestrelon::PixelRect& list,
                           const std::vector<std::string>& names);
// Replaces the entries of a group list.
void FillGroupList(wxListBox* list, const std::vector<std::string>& names);
