#include "dialogs/client_rows_list.h"

#include "controls/check_list_ctrl.h"

CCheckListCtrl* CreateClientRowsList(wxWindow* parent, int id, kestrelon::CheckListModel& model,
                                     const kestrelon::PixelRect& rect, bool check_images) {
  model.set_check_images(check_images);
  model.set_single_selection(true);
  if (model.columns().empty()) model.insert_client_columns();
  auto* list = new CCheckListCtrl(parent, id, model, wxPoint(rect.x, rect.y), wxSize(rect.width, rect.height));
  list->SetMinimumColumnText(1, "000.000.000.000");
  return list;
}
