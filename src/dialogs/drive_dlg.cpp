#include "dialogs/drive_dlg.h"

#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/statbox.h>

#include "controls/check_list_ctrl.h"
#include "dialogs/dialog_parts.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;
using kestrelon::dialog_rect;

CDriveDlg::CDriveDlg(wxWindow* parent, const kestrelon::ClientRecord& client, kestrelon::ClientRegistry& registry)
    : wxDialog(parent, ids::kDriveDialog, wxEmptyString), choice_(client, registry) {
  SetTitle(wxString::FromUTF8(choice_.title()));
  const auto size = dialog_rect(0, 0, 340, 190);
  SetClientSize(size.width, size.height);

  const auto drives_frame = dialog_rect(7, 4, 326, 66);
  new wxStaticBox(this, wxID_ANY, text::kDrivesFrame, At(drives_frame), SizeOf(drives_frame));
  const auto drives = dialog_rect(14, 16, 312, 47);
  drives_ = new CCheckListCtrl(this, ids::kDriveList, choice_.drives(), At(drives), SizeOf(drives));

  const auto partitions_frame = dialog_rect(7, 74, 326, 88);
  new wxStaticBox(this, wxID_ANY, text::kPartitionsFrame, At(partitions_frame), SizeOf(partitions_frame));
  const auto partitions = dialog_rect(14, 86, 312, 69);
  partitions_ = new CCheckListCtrl(this, ids::kPartitionList, choice_.partitions(), At(partitions), SizeOf(partitions));

  const auto ok = dialog_rect(106, 169, 50, 14);
  const auto cancel = dialog_rect(184, 169, 50, 14);
  auto* ok_button = new wxButton(this, wxID_OK, "OK", At(ok), SizeOf(ok));
  new wxButton(this, wxID_CANCEL, "Cancel", At(cancel), SizeOf(cancel));
  ok_button->SetDefault();

  choice_.start();
  drives_->SetFocus();
  Bind(EVT_CHECKLIST_CLICK, [this](wxCommandEvent&) { choice_.drive_clicked(); }, ids::kDriveList);
  Bind(wxEVT_BUTTON, &CDriveDlg::OnOk, this, wxID_OK);
  CentreOnParent();
}

// The lists read their rows until they are gone, so they go first.
CDriveDlg::~CDriveDlg() { DestroyChildren(); }

void CDriveDlg::OnOk(wxCommandEvent&) {
  if (const auto refusal = choice_.refusal()) {
    wxMessageBox(wxString::FromUTF8(*refusal), text::kAppTitle, wxOK | wxCENTRE, this);
    return;
  }
  result_ = choice_.result();
  EndModal(wxID_OK);
}
