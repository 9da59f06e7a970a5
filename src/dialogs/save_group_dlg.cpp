#include "dialogs/save_group_dlg.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "dialogs/dialog_parts.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;
using kestrelon::dialog_rect;

CSaveGroupDlg::CSaveGroupDlg(wxWindow* parent, kestrelon::ControllerCore& core)
    : wxDialog(parent, ids::kSaveGroupDialog, text::kSaveGroupTitle), port_(this), rules_(core, port_) {
  const auto client = dialog_rect(0, 0, 460, 228);
  SetClientSize(client.width, client.height);

  groups_ = CreateGroupList(this, dialog_rect(7, 7, 100, 8), dialog_rect(7, 18, 100, 150), rules_.group_names());

  new wxStaticText(this, wxID_ANY, text::kNameToSaveLabel, At(dialog_rect(7, 174, 100, 8)));
  const auto edit = dialog_rect(7, 184, 100, 14);
  name_ = new wxTextCtrl(this, ids::kGroupName, wxEmptyString, At(edit), SizeOf(edit));

  new wxStaticText(this, wxID_ANY, text::kPreviewGroupLabel, At(dialog_rect(115, 7, 338, 8)));
  CreateClientRowsList(this, ids::kGroupPreview, preview_rows_, dialog_rect(115, 18, 338, 80), false);
  new wxStaticText(this, wxID_ANY, text::kContentsToSaveLabel, At(dialog_rect(115, 104, 338, 8)));
  CreateClientRowsList(this, ids::kGroupContents, contents_rows_, dialog_rect(115, 115, 338, 83), false);
  rules_.fill_contents(contents_rows_);

  const auto save = dialog_rect(327, 207, 60, 14);
  const auto cancel = dialog_rect(393, 207, 60, 14);
  save_ = new wxButton(this, wxID_OK, text::kSaveGroupButton, At(save), SizeOf(save));
  new wxButton(this, wxID_CANCEL, "Cancel", At(cancel), SizeOf(cancel));
  save_->Disable();

  groups_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { OnGroupSelected(); });
  name_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { UpdateSaveButton(); });
  save_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSave(); });
  name_->SetFocus();
  CentreOnParent();
}

// The lists read their rows until they are gone, so they go before them.
CSaveGroupDlg::~CSaveGroupDlg() { DestroyChildren(); }

void CSaveGroupDlg::OnGroupSelected() {
  const int selected = groups_->GetSelection();
  if (selected == wxNOT_FOUND) return;
  const wxString name = groups_->GetString(static_cast<unsigned>(selected));
  rules_.select_group(name.utf8_string(), preview_rows_);
  name_->ChangeValue(name);
  UpdateSaveButton();
}

void CSaveGroupDlg::OnSave() {
  if (rules_.save(name_->GetValue().utf8_string())) {
    EndModal(wxID_OK);
    return;
  }
  UpdateSaveButton();
}

void CSaveGroupDlg::UpdateSaveButton() {
  save_->Enable(kestrelon::SaveGroupDialog::save_enabled(name_->GetValue().utf8_string()));
}
