#include "dialogs/low_disk_space_dlg.h"

#include "dialogs/client_rows_list.h"

namespace {

constexpr const char* kExplanation =
    "Following clients have insuficient disk space for the image being sent.\n"
    "By pressing the Uncheck button you will uncheck them.\n"
    "Only clients with sufficient disk space will remain checked.";

}  // namespace

CLowDiskSpaceDlg::CLowDiskSpaceDlg(wxWindow* parent, const std::vector<kestrelon::ClientRowFields>& rows)
    : wxDialog(parent, kTemplateId, "List Of Clients With Insufficient Disk Space") {
  // The rows are unchecked already: "Uncheck" only closes the list.
  BuildClientRowsBody(this, {kList, kExplanation, kUncheck, "Uncheck"}, rows_, rows);
}
