#include "window/builder_frame.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "controls/dib.h"
#include "core/child_runner.h"
#include "core/dhcp_range.h"
#include "platform/program_data.h"
#include "platform/program_exec.h"
#include "window/builder_log_list.h"

namespace bw = kestrelon::builder_window;

namespace {

constexpr const char* kTitle = "Kestrelon Client Builder";
constexpr const char* kHelpPage = "builder_window.html";

// The choices of "After a Copy, the Client", in the order of bw::AfterCopy.
const wxString kAfterCopyChoices[] = {"waits for the next job", "restarts", "powers off"};
// The boot menu's default entry, in the order of bw::MenuDefault.
const wxString kMenuDefaultChoices[] = {"the Kestrelon Client", "the local disk"};

wxString Utf8(const std::string& text) { return wxString::FromUTF8(text); }
std::string Utf8(const wxString& text) { return text.utf8_string(); }

wxButton* AddButton(wxWindow* parent, wxSizer* sizer, const wxString& label, const char* name) {
  auto* button = new wxButton(parent, wxID_ANY, label);
  button->SetName(name);
  sizer->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
  return button;
}

wxStaticText* AddLabel(wxWindow* parent, wxSizer* sizer, const wxString& label) {
  auto* text = new wxStaticText(parent, wxID_ANY, label);
  sizer->Add(text, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  return text;
}

// The words of a box that prepares boot media, and the controls it makes: where
// the media go, what the Client does after a Copy, and the button that starts it.
struct PrepareWords {
  const char* title;
  const char* path_label;
  const char* path_name;
  const char* browse_name;
  const char* prepare_label;
  const char* prepare_name;
};
struct PrepareControls {
  wxTextCtrl*& path;
  wxButton*& browse;
  wxChoice*& after;
  wxButton*& prepare;
};

wxSizer* CreatePrepareBox(wxWindow* parent, const PrepareWords& words, PrepareControls made) {
  auto* sizer = new wxStaticBoxSizer(wxVERTICAL, parent, words.title);
  wxStaticBox* box = sizer->GetStaticBox();
  auto* path_row = new wxBoxSizer(wxHORIZONTAL);
  AddLabel(box, path_row, words.path_label);
  made.path = new wxTextCtrl(box, wxID_ANY, "");
  made.path->SetName(words.path_name);
  path_row->Add(made.path, 1, wxALIGN_CENTER_VERTICAL);
  made.browse = AddButton(box, path_row, "Browse...", words.browse_name);
  sizer->Add(path_row, 0, wxEXPAND | wxALL, 4);

  auto* action_row = new wxBoxSizer(wxHORIZONTAL);
  AddLabel(box, action_row, "After a Copy, the Client");
  made.after = new wxChoice(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, 3, kAfterCopyChoices);
  made.after->SetSelection(0);
  action_row->Add(made.after, 0, wxALIGN_CENTER_VERTICAL);
  action_row->AddStretchSpacer();
  made.prepare = AddButton(box, action_row, words.prepare_label, words.prepare_name);
  sizer->Add(action_row, 0, wxEXPAND | wxALL, 4);
  return sizer;
}

}  // namespace

BuilderFrame::BuilderFrame(bw::BuilderEnvironment environment, std::chrono::milliseconds stop_grace)
    : wxFrame(nullptr, wxID_ANY, kTitle, wxDefaultPosition, wxSize(760, 820)) {
  if (const wxBitmap icon = LoadResourceBitmap("KESTRELON"); icon.IsOk()) {
    wxIcon frame_icon;
    frame_icon.CopyFromBitmap(icon);
    SetIcon(frame_icon);
  }
  // The reader thread reports here; the window's thread takes it from the queue.
  bw::ChildRunner::Callbacks callbacks;
  callbacks.output = [this](std::vector<bw::OutputLine> lines) {
    CallAfter([this, lines = std::move(lines)] { OnOutput(lines); });
  };
  callbacks.ended = [this](bw::ChildExit exit) { CallAfter([this, exit] { OnEnded(exit); }); };
  runner_ = std::make_unique<bw::ChildRunner>(std::move(callbacks), stop_grace);
  session_ = std::make_unique<bw::BuilderSession>(*runner_, std::move(environment));

  CreateControls();
  BindEvents();
  ListInterfaces();
  session_->open();
  Render();
}

BuilderFrame::~BuilderFrame() {
  // Ends a run that still goes on before the session it reports to goes.
  runner_.reset();
}

pid_t BuilderFrame::ChildPid() const { return runner_->pid(); }

void BuilderFrame::CreateControls() {
  auto* panel = new wxPanel(this);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(CreateKernelBox(panel), 0, wxEXPAND | wxALL, 8);
  column->Add(CreateNetbootBox(panel), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  column->Add(CreateUsbBox(panel), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  column->Add(CreateServeBox(panel), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);

  column->Add(new wxStaticText(panel, wxID_ANY, "Log"), 0, wxLEFT | wxRIGHT, 8);
  controls_.log = new BuilderLogList(panel, session_->log());
  column->Add(controls_.log, 1, wxEXPAND | wxALL, 8);

  controls_.result = new wxStaticText(panel, wxID_ANY, "");
  controls_.result->SetName("result");
  column->Add(controls_.result, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

  auto* bottom = new wxBoxSizer(wxHORIZONTAL);
  controls_.help = AddButton(panel, bottom, "&Help", "help");
  bottom->AddStretchSpacer();
  controls_.close = AddButton(panel, bottom, "&Close", "close");
  column->Add(bottom, 0, wxEXPAND | wxALL, 8);
  panel->SetSizer(column);
}

wxSizer* BuilderFrame::CreateKernelBox(wxWindow* parent) {
  auto* sizer = new wxStaticBoxSizer(wxVERTICAL, parent, "Linux kernel of the boot files and the USB image");
  wxStaticBox* box = sizer->GetStaticBox();
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  AddLabel(box, row, "Kernel package:");
  controls_.kernel = new wxTextCtrl(box, wxID_ANY, "");
  controls_.kernel->SetName("kernel");
  controls_.kernel->SetHint("empty: this computer's own kernel");
  row->Add(controls_.kernel, 1, wxALIGN_CENTER_VERTICAL);
  controls_.browse_kernel = AddButton(box, row, "Browse...", "browse_kernel");
  sizer->Add(row, 0, wxEXPAND | wxALL, 4);
  return sizer;
}

wxSizer* BuilderFrame::CreateNetbootBox(wxWindow* parent) {
  return CreatePrepareBox(parent, {"Network boot files", "Folder:", "folder", "browse_folder",
                                   "Prepare network boot files", "netboot"},
                          {controls_.folder, controls_.browse_folder, controls_.netboot_after, controls_.netboot});
}

wxSizer* BuilderFrame::CreateUsbBox(wxWindow* parent) {
  return CreatePrepareBox(parent, {"USB image", "File:", "usb_file", "browse_file", "Prepare USB image", "usb"},
                          {controls_.usb_file, controls_.browse_file, controls_.usb_after, controls_.usb});
}

wxSizer* BuilderFrame::CreateServeBox(wxWindow* parent) {
  auto* sizer = new wxStaticBoxSizer(wxVERTICAL, parent, "Serve the network boot files (the folder above)");
  wxStaticBox* box = sizer->GetStaticBox();
  auto* interface_row = new wxBoxSizer(wxHORIZONTAL);
  AddLabel(box, interface_row, "Interface:");
  controls_.interface = new wxChoice(box, wxID_ANY);
  controls_.interface->SetName("interface");
  interface_row->Add(controls_.interface, 1, wxALIGN_CENTER_VERTICAL);
  controls_.refresh = AddButton(box, interface_row, "Refresh", "refresh");
  sizer->Add(interface_row, 0, wxEXPAND | wxALL, 4);

  controls_.proxy = new wxRadioButton(box, wxID_ANY, "Beside the network's DHCP server (proxy DHCP)",
                                      wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
  controls_.proxy->SetName("proxy");
  controls_.proxy->SetValue(true);
  sizer->Add(controls_.proxy, 0, wxALL, 4);
  auto* range_row = new wxBoxSizer(wxHORIZONTAL);
  controls_.isolated = new wxRadioButton(box, wxID_ANY, "Isolated network: hand out the addresses from");
  controls_.isolated->SetName("isolated");
  range_row->Add(controls_.isolated, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  controls_.range_first = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxSize(130, -1));
  controls_.range_first->SetName("range_first");
  range_row->Add(controls_.range_first, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  AddLabel(box, range_row, "to");
  controls_.range_last = new wxTextCtrl(box, wxID_ANY, "", wxDefaultPosition, wxSize(130, -1));
  controls_.range_last->SetName("range_last");
  range_row->Add(controls_.range_last, 0, wxALIGN_CENTER_VERTICAL);
  sizer->Add(range_row, 0, wxALL, 4);

  auto* menu_row = new wxBoxSizer(wxHORIZONTAL);
  AddLabel(box, menu_row, "The boot menu starts");
  controls_.menu_default = new wxChoice(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, kMenuDefaultChoices);
  controls_.menu_default->SetSelection(0);
  menu_row->Add(controls_.menu_default, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  AddLabel(box, menu_row, "after");
  controls_.menu_timeout = new wxSpinCtrl(box, wxID_ANY, "5", wxDefaultPosition, wxSize(140, -1),
                                          wxSP_ARROW_KEYS, 0, bw::kMaxMenuTimeout, 5);
  controls_.menu_timeout->SetName("menu_timeout");
  menu_row->Add(controls_.menu_timeout, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  AddLabel(box, menu_row, "seconds");
  sizer->Add(menu_row, 0, wxALL, 4);

  auto* action_row = new wxBoxSizer(wxHORIZONTAL);
  controls_.root_note = new wxStaticText(box, wxID_ANY, Utf8(session_->serve_note()));
  controls_.root_note->SetForegroundColour(*wxRED);
  action_row->Add(controls_.root_note, 1, wxALIGN_CENTER_VERTICAL);
  controls_.serve = AddButton(box, action_row, "Serve", "serve");
  controls_.stop = AddButton(box, action_row, "Stop", "stop");
  sizer->Add(action_row, 0, wxEXPAND | wxALL, 4);
  return sizer;
}

void BuilderFrame::BindEvents() {
  controls_.netboot->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    session_->prepare_netboot(ReadNetbootForm());
    Render();
  });
  controls_.usb->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    // The file as it is written, ".img" added: the field shows it too.
    const bw::UsbForm form = ReadUsbForm();
    session_->prepare_usb(form);
    if (session_->running()) controls_.usb_file->ChangeValue(Utf8(bw::usb_image_path(form.file)));
    Render();
  });
  controls_.serve->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    session_->serve(ReadServeForm(), interfaces_);
    Render();
  });
  controls_.stop->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    session_->stop();
    Render();
  });
  controls_.refresh->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ListInterfaces(); });
  controls_.interface->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ProposeRange(); });
  controls_.proxy->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { Render(); });
  controls_.isolated->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { ProposeRange(); });
  controls_.browse_folder->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowseFolder(); });
  controls_.browse_file->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowseFile(); });
  controls_.browse_kernel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowseKernel(); });
  controls_.help->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnHelp(); });
  controls_.close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
  Bind(wxEVT_CLOSE_WINDOW, &BuilderFrame::OnClose, this);
}

void BuilderFrame::ListInterfaces() {
  const wxString chosen = controls_.interface->GetStringSelection().BeforeFirst(' ');
  interfaces_ = bw::serving_interfaces();
  controls_.interface->Clear();
  for (const auto& entry : interfaces_) {
    controls_.interface->Append(Utf8(entry.label()));
    if (Utf8(entry.name) == chosen) controls_.interface->SetSelection(controls_.interface->GetCount() - 1);
  }
  if (controls_.interface->GetSelection() == wxNOT_FOUND && interfaces_.size() == 1) {
    controls_.interface->SetSelection(0);
    ProposeRange();
  }
  Render();
}

void BuilderFrame::ProposeRange() {
  const int chosen = controls_.interface->GetSelection();
  // A range typed by hand is kept; an empty one gets a proposal to start from.
  if (chosen != wxNOT_FOUND && controls_.range_first->IsEmpty() && controls_.range_last->IsEmpty()) {
    if (const auto range = bw::suggest_dhcp_range(interfaces_[static_cast<std::size_t>(chosen)])) {
      controls_.range_first->ChangeValue(range->first.text());
      controls_.range_last->ChangeValue(range->last.text());
    }
  }
  Render();
}

bw::NetbootForm BuilderFrame::ReadNetbootForm() const {
  return {Utf8(controls_.folder->GetValue()), static_cast<bw::AfterCopy>(controls_.netboot_after->GetSelection()),
          Utf8(controls_.kernel->GetValue())};
}

bw::UsbForm BuilderFrame::ReadUsbForm() const {
  return {Utf8(controls_.usb_file->GetValue()), static_cast<bw::AfterCopy>(controls_.usb_after->GetSelection()),
          Utf8(controls_.kernel->GetValue())};
}

bw::ServeForm BuilderFrame::ReadServeForm() const {
  bw::ServeForm form;
  form.folder = Utf8(controls_.folder->GetValue());
  const int chosen = controls_.interface->GetSelection();
  if (chosen != wxNOT_FOUND) form.interface_name = interfaces_[static_cast<std::size_t>(chosen)].name;
  form.isolated = controls_.isolated->GetValue();
  form.range_first = Utf8(controls_.range_first->GetValue());
  form.range_last = Utf8(controls_.range_last->GetValue());
  form.menu_default = static_cast<bw::MenuDefault>(controls_.menu_default->GetSelection());
  form.menu_timeout = controls_.menu_timeout->GetValue();
  return form;
}

void BuilderFrame::OnOutput(const std::vector<bw::OutputLine>& lines) {
  session_->output(lines);
  controls_.log->Render();
}

void BuilderFrame::OnEnded(const bw::ChildExit& exit) {
  const bool close_now = session_->ended(exit);
  Render();
  if (close_now) Destroy();
}

void BuilderFrame::OnClose(wxCloseEvent& event) {
  // A serve that goes on after its window would hold the DHCP port unseen.
  if (session_->close() || !event.CanVeto()) {
    Destroy();
    return;
  }
  event.Veto();
  Render();
}

void BuilderFrame::OnBrowseFolder() {
  wxDirDialog dialog(this, "Folder for the network boot files", controls_.folder->GetValue());
  if (dialog.ShowModal() == wxID_OK) controls_.folder->ChangeValue(dialog.GetPath());
}

void BuilderFrame::OnBrowseFile() {
  wxFileDialog dialog(this, "File for the USB image", wxEmptyString, "kestrelon-usb.img",
                      "Disk images (*.img)|*.img|All files|*", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() == wxID_OK) controls_.usb_file->ChangeValue(dialog.GetPath());
}

void BuilderFrame::OnBrowseKernel() {
  wxFileDialog dialog(this, "Debian kernel package", wxEmptyString, wxEmptyString,
                      "Kernel packages (linux-image-*.deb)|linux-image-*.deb|All files|*", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dialog.ShowModal() == wxID_OK) controls_.kernel->ChangeValue(dialog.GetPath());
}

void BuilderFrame::OnHelp() {
  if (!help_) {
    help_ = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
    wxString folder;
    if (!wxGetEnv("KESTRELON_HELP_DIR", &folder)) {
      if (const auto found = kestrelon::find_program_data("help", kestrelon::program_folder()))
        folder = Utf8(found->string());
    }
    help_->AddBook(wxFileName(folder + "/kestrelon.hhp"), false);
  }
  help_->Display(kHelpPage);
}

void BuilderFrame::Render() {
  const bw::ButtonStates buttons = session_->buttons();
  controls_.netboot->Enable(buttons.netboot);
  controls_.usb->Enable(buttons.usb);
  controls_.serve->Enable(buttons.serve);
  controls_.stop->Enable(buttons.stop);
  controls_.stop->SetLabel(buttons.stopping ? "Stopping..." : "Stop");
  const bool isolated = controls_.isolated->GetValue();
  controls_.range_first->Enable(isolated);
  controls_.range_last->Enable(isolated);

  const wxString result = Utf8(session_->result());
  if (controls_.result->GetLabelText() != result) {
    controls_.result->SetForegroundColour(session_->result_is_problem() ? *wxRED : GetForegroundColour());
    controls_.result->SetLabelText(result);
    controls_.result->Wrap(controls_.result->GetParent()->GetClientSize().x - 16);
    controls_.result->GetParent()->Layout();
  }
  controls_.log->Render();
}
