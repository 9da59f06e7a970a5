#include "dialogs/client_rows_list.h"

#include "controls/check_list_ctrl.h"
#include "model/check_list_model.h"

CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const std::vector<kestrelon::ClientRowFields>& rows, const wxPoint& position,
                                     const wxSize& size) {
  model.set_check_images(false);
  model.set_single_selection(true);
  model.insert_client_columns();
  for (const auto& row : rows) model.append_client_row(row);
  auto* list = new CCheckListCtrl(parent, id, model, position, size);
  list->SetMinimumColumnText(1, "000.000.000.000");
  return list;
}
