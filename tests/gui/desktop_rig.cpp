#include "desktop_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include <wx/filedlg.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include "app/program_settings.h"
#include "controls/check_list_ctrl.h"
#include "dialogs/file_info_dlg.h"
#include "gui_steps.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/idle_time_work.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/wx_user_messages.h"
#include "window_setup.h"

namespace kestrelon::test {

namespace fs = std::filesystem;

namespace {

void Collect(wxWindow* window, std::map<int, wxString>& texts) {
  for (wxWindow* child : window->GetChildren()) {
    const int id = child->GetId();
    if (auto* label = dynamic_cast<wxStaticText*>(child))
      texts[id] = label->GetLabelText();
    else if (auto* edit = dynamic_cast<wxTextCtrl*>(child))
      texts[id] = edit->GetValue();
    else if (auto* slider = dynamic_cast<wxSlider*>(child))
      texts[id] = wxString::Format("%d", slider->GetValue());
    else if (auto* gauge = dynamic_cast<wxGauge*>(child))
      texts[id] = wxString::Format("%d", gauge->GetValue());
    Collect(child, texts);
  }
}

}  // namespace

std::vector<std::string> DialogLog::Messages() const {
  std::vector<std::string> out;
  for (const auto& r : records_)
    if (r.opened && !r.message.empty()) out.push_back(r.message.utf8_string());
  return out;
}

void DialogLog::Note(wxDialog* dialog, bool opened) {
  DialogRecord r;
  r.opened = opened;
  r.type = typeid(*dialog);
  r.title = dialog->GetTitle();
  if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) r.message = box->GetMessage();
  Collect(dialog, r.texts);
  r.at = std::chrono::steady_clock::now();
  records_.push_back(std::move(r));
}

int DialogLog::Enter(wxDialog* dialog) {
  Note(dialog, true);
  const int answer = answer_ ? answer_(dialog) : wxID_NONE;
  if (answer != wxID_NONE) Note(dialog, false);
  return answer;
}

void DialogLog::Exit(wxDialog* dialog) { Note(dialog, false); }

DesktopRig::DesktopRig(std::vector<ReferenceMachine> clients, TuningValues tuning, std::vector<AnnounceSpec> scripted) {
  fs::create_directories(Images());
  for (ReferenceMachine& c : clients) {
    fs::create_directories(Store(c.name));
    c.options.push_back("--store " + Store(c.name).string());
  }
  std::string error;
  if (!clients_.Start(folder_.path(), clients, error)) {
    ADD_FAILURE() << error;
    return;
  }

  messages_ = std::make_unique<WxUserMessages>();
  CoreOptions options = LoopbackCoreOptions(folder_.path());
  options.tuning = tuning;
  core_ = std::make_unique<ControllerCore>(*messages_, options);
  write_image_folder(core_->settings(), Images().string());
  services_ = std::make_unique<DesktopServices>(*core_);
  frame_ = ShowMainWindow(*services_);
  wire_ = std::make_unique<ScriptedAnnouncer>(Ipv4Address(127, 0, 0, 1), std::move(scripted));
  if (!core_->start()) return;
  idle_ = std::make_unique<IdleTimeWork>([this] { core_->idle_pass(); });
  // Registered after the idle work's own hook, so it is asked first.
  dialogs_ = std::make_unique<DialogLog>();
  ok_ = true;
}

DesktopRig::~DesktopRig() {
  dialogs_.reset();
  idle_.reset();
  if (frame_) frame_->Destroy();
  RunSteps({Settle()});
  if (core_) core_->shutdown();
  std::error_code ignored;
  fs::current_path(initial_folder_, ignored);
}

CShadowView* DesktopRig::View() const { return frame_->View(); }
CheckListModel& DesktopRig::Rows() { return core_->main_client_list().rows(); }
wxListBox* DesktopRig::ImageList() const {
  return static_cast<wxListBox*>(View()->FindWindow(ids::kImageFileList));
}

void DesktopRig::ClickWindow(wxWindow* window) const {
  ClickAt(window, wxPoint(window->GetSize().x / 2, window->GetSize().y / 2));
}

void DesktopRig::ClickButton(int id) const { ClickWindow(View()->FindWindow(id)); }

void DesktopRig::ClickRow(int row) const {
  CCheckListCtrl* list = View()->ClientList();
  const wxRect r = list->RowRect(row);
  ClickAt(list, wxPoint(r.x + 40, r.y + r.height / 2));
}

void DesktopRig::ClickImage(int index) const {
  // Rows of the list box are about one line of the 8-point font high.
  const int row_height = ImageList()->GetCharHeight() + 4;
  ClickAt(ImageList(), wxPoint(20, row_height * index + row_height / 2));
}

void DesktopRig::ExpectNoDiscoveryWhileOpen(std::type_index type) const {
  // A request sent just before a dialog opened may be heard a moment later.
  constexpr auto kInFlight = std::chrono::milliseconds(100);
  std::vector<std::pair<SteadyTime, SteadyTime>> open;
  SteadyTime opened{};
  for (const auto& r : dialogs_->Records()) {
    if (r.type != type) continue;
    if (r.opened)
      opened = r.at;
    else
      open.emplace_back(opened + kInFlight, r.at);
  }
  ASSERT_FALSE(open.empty()) << "no such dialog was open";
  const auto heard = wire_->discover_times();
  int outside = 0;
  for (const SteadyTime t : heard) {
    bool inside = false;
    for (const auto& [from, to] : open) inside = inside || (t > from && t < to);
    EXPECT_FALSE(inside) << "a discovery request was sent while the dialog was open";
    outside += inside ? 0 : 1;
  }
  EXPECT_GE(outside, 2) << "discovery requests were heard before and after";
}

Step Placed() { return Pause(500); }

Step PressKey(int key) {
  return {"press key " + std::to_string(key), [key] {
            wxUIActionSimulator().Char(key);
            return true;
          }};
}

std::vector<Step> SaveAs(const DialogLog& log, const fs::path& path) {
  return {{"save-file dialog open", [&log] { return log.IsOpen<wxFileDialog>(); }},
          Pause(800),
          {"type " + path.string(), [path] {
             wxUIActionSimulator sim;
             sim.Char('a', wxMOD_CONTROL);
             sim.Text(path.string().c_str());
             return true;
           }},
          Pause(400),
          PressKey(WXK_RETURN)};
}

std::vector<Step> Join(std::vector<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

int AnswerInformationAndMessages(wxDialog* dialog) {
  if (dynamic_cast<CFileInfoDlg*>(dialog) || dynamic_cast<wxMessageDialogBase*>(dialog)) return wxID_OK;
  return wxID_NONE;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  if (!fa || !fb) return false;
  using It = std::istreambuf_iterator<char>;
  return std::equal(It(fa), It(), It(fb), It());
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrelon::test
