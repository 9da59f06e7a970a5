#pragma once
// The program's help book (HTML pages in a folder "help" beside the program in
// the build tree, or in the installed data folder), opened on its contents or on
// its start page.
#include <memory>

#include <wx/string.h>

class wxHtmlHelpController;

class HelpBook {
 public:
  // `folder` holds kestrelon.hhp; empty picks $KESTRELON_HELP_DIR, else the
  // program's "help" data folder (beside it, or installed under share/kestrelon).
  explicit HelpBook(const wxString& folder = {});
  ~HelpBook();

  bool ShowTopics();     // the contents tree with the start page
  bool ShowStartPage();  // the start page
  wxHtmlHelpController* Controller() const { return controller_.get(); }
  wxString BookFile() const;

 private:
  bool Load();
  wxString folder_;
  std::unique_ptr<wxHtmlHelpController> controller_;
  bool loaded_ = false;
};
