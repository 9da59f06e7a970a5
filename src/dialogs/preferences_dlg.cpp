#include "dialogs/preferences_dlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/valgen.h>

#include "controls/check_list_ctrl.h"
#include "dialogs/dialog_parts.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;
using kestrelon::dialog_rect;
using kestrelon::PixelRect;

CPreferencesDlg::CPreferencesDlg(wxWindow* parent, kestrelon::ControllerCore& core)
    : wxDialog(parent, ids::kPreferencesDialog, text::kPreferencesTitle), rules_(core) {
  const auto size = dialog_rect(0, 0, 158, 159);
  SetClientSize(size.width, size.height);

  new wxStaticText(this, wxID_ANY, text::kInterfacesLabel, At(dialog_rect(21, 9, 69, 8)));
  const auto list = dialog_rect(21, 19, 115, 62);
  interfaces_ = new CCheckListCtrl(this, ids::kInterfaceList, rules_.interfaces(), At(list), SizeOf(list));
  interfaces_->ShowHeader(false);

  struct Box {
    int id;
    const char* label;
    bool* value;
    PixelRect place;
  };
  kestrelon::ProgramOptions& options = rules_.options;
  const Box boxes[] = {
      {ids::kKeepPartitionSize, text::kKeepPartitionSizeBox, &options.keep_partition_size, dialog_rect(21, 89, 110, 10)},
      {ids::kUniqueSid, text::kUniqueSidBox, &options.unique_sid, dialog_rect(21, 103, 99, 10)},
      {ids::kSectorBySector, text::kSectorBySectorBox, &options.sector_by_sector, dialog_rect(21, 117, 115, 10)}};
  int right = size.width;
  for (const Box& b : boxes) {
    // The template's boxes were measured for a smaller font than desktops use now:
    // each box takes the size its label needs, centred on its row, and the dialog
    // widens to keep the template's right margin.
    auto* box = new wxCheckBox(this, b.id, b.label, At(b.place), wxDefaultSize, 0, wxGenericValidator(b.value));
    const wxSize best = box->GetBestSize();
    const int width = std::max(b.place.width, best.GetWidth());
    box->SetSize(b.place.x, b.place.y + (b.place.height - best.GetHeight()) / 2, width, best.GetHeight());
    right = std::max(right, b.place.x + width + kestrelon::dialog_units_to_x(21));
  }
  SetClientSize(right, size.height);

  const auto ok = dialog_rect(21, 138, 50, 14);
  const auto cancel = dialog_rect(86, 138, 50, 14);
  auto* ok_button = new wxButton(this, wxID_OK, "OK", At(ok), SizeOf(ok));
  new wxButton(this, wxID_CANCEL, "Cancel", At(cancel), SizeOf(cancel));
  ok_button->SetDefault();
  Bind(wxEVT_BUTTON, &CPreferencesDlg::OnOk, this, wxID_OK);
  CentreOnParent();
}

// The list reads its rows until it is gone, so it goes first.
CPreferencesDlg::~CPreferencesDlg() { DestroyChildren(); }

void CPreferencesDlg::OnOk(wxCommandEvent&) {
  TransferDataFromWindow();
  if (const auto message = rules_.ok()) {
    wxMessageBox(wxString::FromUTF8(*message), text::kAppTitle, wxOK | wxCENTRE, this);
    return;
  }
  EndModal(wxID_OK);
}
