#include "dialogs/dialog_parts.h"

#include <wx/listbox.h>
#include <wx/stattext.h>

#include "controls/check_list_ctrl.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const kestrelon::PixelRect& rect, bool check_images) {
  model.set_check_images(check_images);
  model.set_single_selection(true);
  if (model.columns().empty()) model.insert_client_columns();
  auto* list = new CCheckListCtrl(parent, id, model, At(rect), SizeOf(rect));
  list->SetMinimumColumnText(1, "000.000.000.000");
  return list;
}

wxListBox* CreateGroupList(wxWindow* parent, const kestrelon::PixelRect& label, const kestrelon::PixelRect& list,
                           const std::vector<std::string>& names) {
  new wxStaticText(parent, wxID_ANY, kestrelon::text::kGroupsLabel, At(label));
  auto* box = new wxListBox(parent, kestrelon::ids::kGroupList, At(list), SizeOf(list), 0, nullptr, wxLB_SINGLE);
  FillGroupList(box, names);
  return box;
}

void FillGroupList(wxListBox* list, const std::vector<std::string>& names) {
  list->Clear();
  for (const std::string& name : names) list->Append(wxString::FromUTF8(name));
}
