// View > History...: the History window over the main window. "Check the failed
// Clients" in it checks them in the client list; the form then chooses that
// Copy's image, so that Copy tries them again.
#include <wx/app.h>

#include "dialogs/history_dlg.h"
#include "ui/desktop_services.h"

std::optional<std::string> DesktopServices::ShowHistory() {
  CHistoryDlg dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, core_);
  if (dialog.ShowModal() != wxID_OK || dialog.retry_image().empty()) return std::nullopt;
  return dialog.retry_image();
}
