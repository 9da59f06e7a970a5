#include "dialogs/load_group_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/stattext.h>

#include "dialogs/dialog_parts.h"
#include "dialogs/missing_members_dlg.h"
#include "ui/command_ids.h"
#include "ui/room_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;
using kestrelon::dialog_rect;

CLoadGroupDlg::CLoadGroupDlg(wxWindow* parent, kestrelon::ControllerCore& core, kestrelon::WakeSeams seams)
    : wxDialog(parent, ids::kLoadGroupDialog, text::kLoadGroupTitle), port_(this), rules_(core, port_, std::move(seams)) {
  const auto client = dialog_rect(0, 0, 460, 193);
  SetClientSize(client.width, client.height);

  groups_ = CreateGroupList(this, dialog_rect(7, 7, 100, 8), dialog_rect(7, 18, 100, 130), rules_.group_names());

  new wxStaticText(this, wxID_ANY, text::kNameToLoadLabel, At(dialog_rect(7, 152, 100, 8)));
  const auto name = dialog_rect(7, 162, 100, 10);
  name_ = new wxStaticText(this, ids::kGroupName, wxEmptyString, At(name), SizeOf(name),
                           wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);

  new wxStaticText(this, wxID_ANY, text::kContentsToLoadLabel, At(dialog_rect(115, 7, 338, 8)));
  CreateClientRowsList(this, ids::kGroupPreview, preview_rows_, dialog_rect(115, 18, 338, 148), false);

  const auto load = dialog_rect(261, 172, 60, 14);
  const auto remove = dialog_rect(327, 172, 60, 14);
  const auto cancel = dialog_rect(393, 172, 60, 14);
  load_ = new wxButton(this, wxID_OK, text::kLoadGroupButton, At(load), SizeOf(load));
  delete_ = new wxButton(this, ids::kDeleteGroup, text::kDeleteGroupButton, At(remove), SizeOf(remove));
  cancel_ = new wxButton(this, wxID_CANCEL, "Cancel", At(cancel), SizeOf(cancel));
  load_->Disable();
  delete_->Disable();
  const auto wake = dialog_rect(115, 174, 140, 10);
  wake_ = new wxCheckBox(this, ids::kWakePcs, text::kWakePcsChoice, At(wake), SizeOf(wake));
  wake_->SetToolTip(text::kWakePcsTip);

  groups_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { OnGroupSelected(); });
  load_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnLoad(); });
  delete_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnDelete(); });
  CentreOnParent();
}

// The list reads its rows until it is gone, so it goes before them.
CLoadGroupDlg::~CLoadGroupDlg() { DestroyChildren(); }

void CLoadGroupDlg::OnGroupSelected() {
  const int selected = groups_->GetSelection();
  if (selected == wxNOT_FOUND) return;
  rules_.select_group(groups_->GetString(static_cast<unsigned>(selected)).utf8_string(), preview_rows_);
  name_->SetLabelText(wxString::FromUTF8(rules_.chosen()));
  UpdateButtons();
}

void CLoadGroupDlg::OnLoad() {
  using Result = kestrelon::LoadGroupDialog::LoadResult;
  rules_.set_wake(wake_->GetValue());
  const Result result = rules_.load(preview_rows_);
  if (result == Result::stay_open) {
    UpdateButtons();
    return;
  }
  if (result == Result::loaded_with_missing) {
    CMissingMembersDlg missing(this, preview_rows_);
    missing.ShowModal();
  }
  EndModal(wxID_OK);
}

void CLoadGroupDlg::OnDelete() {
  const int selected = groups_->GetSelection();
  if (selected == wxNOT_FOUND) {
    rules_.remove(std::nullopt, preview_rows_);
    return;
  }
  const std::string name = groups_->GetString(static_cast<unsigned>(selected)).utf8_string();
  if (rules_.remove(name, preview_rows_)) groups_->Fill(rules_.group_names());
  cancel_->SetLabel(rules_.cancel_caption());
  UpdateButtons();
  name_->SetLabelText(wxString::FromUTF8(rules_.chosen()));
}

void CLoadGroupDlg::UpdateButtons() {
  const bool enabled = rules_.buttons_enabled();
  load_->Enable(enabled);
  delete_->Enable(enabled);
}
