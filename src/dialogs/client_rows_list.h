#pragma once
// A list of Client rows in a dialog ("Name", "IP Address", "Disk(s)", "Target"),
// placed by its dialog-unit rectangle: the group dialogs' lists and the list of
// Clients missing from a loaded group.
#include "model/check_list_model.h"
#include "model/dialog_units.h"

class CCheckListCtrl;
class wxWindow;

// Gives `model` the four Client columns and check pictures as asked, and returns
// the list that shows it. The address column always shows a whole address.
CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const kestrelon::PixelRect& rect, bool check_images);
