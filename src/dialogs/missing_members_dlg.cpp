#include "dialogs/missing_members_dlg.h"

#include <wx/button.h>
#include <wx/statbox.h>

#include "dialogs/dialog_parts.h"
#include "model/group_rows.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;
using kestrelon::dialog_rect;

CMissingMembersDlg::CMissingMembersDlg(wxWindow* parent, const kestrelon::CheckListModel& members)
    : wxDialog(parent, ids::kFailedClientsDialog, text::kFailedClientsTitle) {
  const auto client = dialog_rect(0, 0, 360, 150);
  const auto frame = dialog_rect(7, 4, 346, 119);
  const auto list = dialog_rect(14, 16, 332, 100);
  const auto ok = dialog_rect(155, 129, 50, 14);
  SetClientSize(client.width, client.height);
  new wxStaticBox(this, wxID_ANY, text::kClientsLabel, At(frame), SizeOf(frame));
  CreateClientRowsList(this, ids::kFailedClientsList, rows_, list, false);
  kestrelon::append_unchecked_rows(members, rows_);
  auto* button = new wxButton(this, wxID_OK, "OK", At(ok), SizeOf(ok));
  button->SetDefault();
  CentreOnParent();
}

// The list reads its rows until it is gone, so it goes before them.
CMissingMembersDlg::~CMissingMembersDlg() { DestroyChildren(); }
