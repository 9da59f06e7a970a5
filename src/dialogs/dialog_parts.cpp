#include "dialogs/dialog_parts.h"

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

CGroupList::CGroupList(wxWindow* parent, const kestrelon::PixelRect& rect)
    : wxListBox(parent, kestrelon::ids::kGroupList, At(rect), SizeOf(rect), 0, nullptr, wxLB_SINGLE) {}

void CGroupList::Fill(const std::vector<std::string>& names) {
  Clear();
  for (const std::string& name : names) Append(wxString::FromUTF8(name));
  user_input_ = false;
}

bool CGroupList::TryBefore(wxEvent& event) {
  const wxEventType type = event.GetEventType();
  if (type == wxEVT_LEFT_DOWN || type == wxEVT_KEY_DOWN) {
    user_input_ = true;
  } else if (type == wxEVT_LISTBOX && !user_input_) {
    SetSelection(wxNOT_FOUND);
    return true;
  }
  return wxListBox::TryBefore(event);
}

CGroupList* CreateGroupList(wxWindow* parent, const kestrelon::PixelRect& label, const kestrelon::PixelRect& list,
                            const std::vector<std::string>& names) {
  new wxStaticText(parent, wxID_ANY, kestrelon::text::kGroupsLabel, At(label));
  auto* box = new CGroupList(parent, list);
  box->Fill(names);
  return box;
}
