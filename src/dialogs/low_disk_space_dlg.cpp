#include "dialogs/low_disk_space_dlg.h"

namespace {

constexpr const char* kExplanation =
    "Following clients have insuficient disk space for the image being sent.\n"
    "By pressing the Uncheck button you will uncheck them.\n"
    "Only clients with sufficient disk space will remain checked.";

}  // namespace

CLowDiskSpaceDlg::CLowDiskSpaceDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : CClientRowsDlg(parent, kTemplateId, "List Of Clients With Insufficient Disk Space",
                     {kList, kExplanation, kUncheck, "Uncheck"}) {
  for (const auto& row : rows) rows_.append_client_row(row);
}
