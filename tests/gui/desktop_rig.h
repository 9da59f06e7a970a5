#pragma once
// The desktop Controller wired as the program wires it (core, services, main
// frame and form, idle work) against reference Client processes on loopback in
// this test's private network, each keeping the copies it receives in a folder
// of its own, with a record of every modal dialog and of the discovery requests
// heard on the wire.
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include <wx/modalhook.h>
#include <wx/toplevel.h>
#include <wx/string.h>

#include "app/controller_core.h"
#include "gui_steps.h"
#include "reference_clients.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"

class CMainFrame;
class CShadowView;
class DesktopServices;
class IdleTimeWork;
class WxUserMessages;
class wxDialog;
class wxListBox;
class wxWindow;

namespace kestrelon::test {

using SteadyTime = std::chrono::steady_clock::time_point;

// What a modal dialog showed as it opened or as it closed: the texts of its
// labels and edits and the values of its sliders and bars, by control id.
struct DialogRecord {
  bool opened = true;  // false: the record of its close
  std::type_index type = typeid(void);
  wxString title;
  wxString message;  // message boxes
  std::map<int, wxString> texts;
  SteadyTime at;
};

class DialogLog : public wxModalDialogHook {
 public:
  // Decides for a dialog about to open: wxID_NONE shows it, any other result
  // ends it at once with that result, unseen.
  using Answer = std::function<int(wxDialog*)>;

  DialogLog() { Register(); }
  ~DialogLog() override { Unregister(); }

  void SetAnswer(Answer answer) { answer_ = std::move(answer); }
  const std::vector<DialogRecord>& Records() const { return records_; }
  // Records of dialogs of type D, in order.
  template <class D>
  std::vector<DialogRecord> Of(bool opened) const {
    std::vector<DialogRecord> out;
    for (const auto& r : records_)
      if (r.type == typeid(D) && r.opened == opened) out.push_back(r);
    return out;
  }
  // Whether a dialog of type D has opened and not closed yet.
  template <class D>
  bool IsOpen() const {
    return Of<D>(true).size() > Of<D>(false).size();
  }
  // The texts of every message box, in order.
  std::vector<std::string> Messages() const;

 protected:
  int Enter(wxDialog* dialog) override;
  void Exit(wxDialog* dialog) override;

 private:
  void Note(wxDialog* dialog, bool opened);

  Answer answer_;
  std::vector<DialogRecord> records_;
};

// The open modal dialog of type D, or null.
template <class D>
D* OpenDialog() {
  for (wxWindow* top : wxTopLevelWindows)
    if (auto* d = dynamic_cast<D*>(top); d != nullptr && d->IsModal() && d->IsShown()) return d;
  return nullptr;
}

class DesktopRig {
 public:
  // Starts the Clients, then the Controller with its image folder at Images();
  // the `scripted` Clients announce from the wire watcher.
  DesktopRig(std::vector<ReferenceMachine> clients, TuningValues tuning = {}, std::vector<AnnounceSpec> scripted = {});
  ~DesktopRig();

  bool ok() const { return ok_; }
  ControllerCore& Core() { return *core_; }
  DesktopServices& Services() { return *services_; }
  CMainFrame* Frame() const { return frame_; }
  CShadowView* View() const;
  CheckListModel& Rows();
  DialogLog& Dialogs() { return *dialogs_; }
  ScriptedAnnouncer& Wire() { return *wire_; }
  wxListBox* ImageList() const;

  const TempFolder& Folder() const { return folder_; }
  std::filesystem::path Images() const { return folder_ / "images"; }
  // Where the Client named `name` keeps the copies it receives.
  std::filesystem::path Store(const std::string& name) const { return folder_ / "store" / name; }

  // Simulated clicks, as a user makes them.
  void ClickButton(int id) const;
  void ClickWindow(wxWindow* window) const;
  void ClickRow(int row) const;
  void ClickImage(int index) const;

  // No discovery request was heard while a dialog of `type` was open (its
  // records), and some were heard outside, so the watch was listening.
  void ExpectNoDiscoveryWhileOpen(std::type_index type) const;

 private:
  TempFolder folder_;
  // The form makes its image folder the current one; it is given back at the end.
  std::filesystem::path initial_folder_ = std::filesystem::current_path();
  ReferenceClients clients_;
  std::unique_ptr<WxUserMessages> messages_;
  std::unique_ptr<ControllerCore> core_;
  std::unique_ptr<DesktopServices> services_;
  CMainFrame* frame_ = nullptr;
  std::unique_ptr<IdleTimeWork> idle_;
  std::unique_ptr<DialogLog> dialogs_;
  std::unique_ptr<ScriptedAnnouncer> wire_;
  bool ok_ = false;
};

// Steps through the window's dialogs, as a user takes them.
// A dialog that has just opened may still be moved by the window manager: the
// clicks into it wait for that.
Step Placed();
Step PressKey(int key);
// Types `path` into the save-file dialog, replacing the proposed name, and
// presses Enter.
std::vector<Step> SaveAs(const DialogLog& log, const std::filesystem::path& path);
std::vector<Step> Join(std::vector<std::vector<Step>> parts);
// An answer for the dialog log: the file information and message boxes are
// answered with OK unseen; every other dialog is shown.
int AnswerInformationAndMessages(wxDialog* dialog);

// Byte-for-byte equality of two files.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::filesystem::path& folder);

}  // namespace kestrelon::test
