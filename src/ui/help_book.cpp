#include "ui/help_book.h"

#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/utils.h>

#include "platform/program_data.h"
#include "platform/program_exec.h"

HelpBook::HelpBook(const wxString& folder) : folder_(folder) {
  if (!folder_.empty() || wxGetEnv("KESTRELON_HELP_DIR", &folder_)) return;
  if (const auto found = kestrelon::find_program_data("help", kestrelon::program_folder()))
    folder_ = wxString::FromUTF8(found->string());
}

HelpBook::~HelpBook() = default;

wxString HelpBook::BookFile() const { return folder_ + "/kestrelon.hhp"; }

bool HelpBook::Load() {
  if (loaded_) return true;
  if (!controller_) controller_ = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
  loaded_ = !folder_.empty() && wxFileName::FileExists(BookFile()) &&
            controller_->AddBook(wxFileName(BookFile()), false);
  return loaded_;
}

bool HelpBook::ShowTopics() { return Load() && controller_->DisplayContents(); }

bool HelpBook::ShowStartPage() { return Load() && controller_->Display("index.html"); }
