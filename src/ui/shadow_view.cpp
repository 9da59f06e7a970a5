#include "ui/shadow_view.h"

#include <algorithm>
#include <filesystem>

#include <wx/button.h>
#include <wx/dirdlg.h>
#include <wx/filefn.h>
#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>

#include "commands/group_port.h"
#include "commands/image_information.h"
#include "controls/bitmap_button_256colors.h"
#include "controls/check_list_ctrl.h"
#include "controls/dib_static.h"
#include "controls/label_button.h"
#include "dialogs/file_info_dlg.h"
#include "model/check_list_model.h"
#include "model/dialog_units.h"
#include "model/image_file_list.h"
#include "model/main_form_enabling.h"
#include "ui/command_ids.h"
#include "ui/strings.h"
#include "ui/view_services.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;

namespace {

wxRect ToWx(const kestrelon::LayoutRect& r) { return {r.left, r.top, r.width(), r.height()}; }

kestrelon::LayoutSize SizeOf(const wxWindow* w) {
  const wxSize s = w->GetSize();
  return {s.GetWidth(), s.GetHeight()};
}

// Places a window from its template rectangle in dialog units.
wxPoint TemplatePos(int x, int y) { return {kestrelon::dialog_units_to_x(x), kestrelon::dialog_units_to_y(y)}; }
wxSize TemplateSize(int w, int h) { return {kestrelon::dialog_units_to_x(w), kestrelon::dialog_units_to_y(h)}; }

std::optional<wxString> ChooseWithDirDialog(wxWindow* parent, const wxString& start) {
  wxDirDialog dialog(parent, text::kBrowseTitle, start, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return dialog.GetPath();
}

// Makes `folder` the current directory; a folder that cannot be entered is not an
// error worth a message here, the caller keeps the old one.
bool EnterFolder(const wxString& folder) {
  wxLogNull quiet;
  return wxSetWorkingDirectory(folder);
}

void MoveTo(wxWindow* w, const kestrelon::LayoutRect& r) { w->Move(r.left, r.top); }

}  // namespace

CShadowView::CShadowView(wxWindow* parent, ViewServices& services)
    : wxScrolledWindow(parent, 101, wxDefaultPosition, wxDefaultSize, wxHSCROLL | wxVSCROLL | wxTAB_TRAVERSAL),
      services_(services),
      choose_folder_(ChooseWithDirDialog),
      folder_watch_(this) {
  // The form's geometry is in pixels of the classic 8-point dialog font; a font of
  // that size keeps the captions inside their controls.
  SetFont(wxFont(wxFontInfo(8)));
  CreateControls();
  Bind(wxEVT_SIZE, &CShadowView::OnSize, this);

  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseFolder(); }, ids::kBrowse);
  Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { UpdateFileButtons(); }, ids::kImageFileList);
  Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent&) { ShowFileInformation(); }, ids::kImageFileList);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ShowFileInformation(); }, ids::kFileInfo);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RediscoverFromButton(); }, ids::kRediscover);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SelectAll(); }, ids::kSelectAll);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { DeselectAll(); }, ids::kDeselectAll);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SaveGroup(); }, ids::kSaveGroup);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { LoadGroup(); }, ids::kLoadGroup);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { DriveSelection(); }, ids::kClientInfo);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { services_.Copy(SelectedImagePath()); }, ids::kCopy);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { services_.Schedule(SelectedImagePath()); }, ids::kSchedule);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CreateImage(); }, ids::kCreate);
  Bind(EVT_CHECKLIST_CLICK, [this](wxCommandEvent&) { UpdateClientButtons(); }, ids::kClientList);
  Bind(EVT_CHECKLIST_DCLICK, [this](wxCommandEvent&) { DriveSelection(); }, ids::kClientList);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { FollowImageFolder(); });
}

void CShadowView::CreateControls() {
  // Created back to front: frames first so the controls inside them draw on top.
  origin_marker_ = new wxWindow(this, ids::kOriginMarker, wxPoint(0, 0), TemplateSize(7, 7));
  origin_marker_->Hide();
  image_files_frame_ = new wxStaticBox(this, ids::kImageFilesFrame, "Image Files", TemplatePos(7, 7),
                                       TemplateSize(143, 260));
  middle_buttons_ = new wxWindow(this, ids::kMiddleButtons, TemplatePos(150, 7), TemplateSize(53, 262));
  middle_buttons_->Hide();
  target_clients_frame_ = new wxStaticBox(this, ids::kTargetClientsFrame, "Target Clients", TemplatePos(207, 7),
                                          TemplateSize(252, 262));
  upper_stuff_ = new wxWindow(this, ids::kUpperStuff, TemplatePos(14, 7), TemplateSize(438, 20));
  upper_stuff_->Hide();
  lower_buttons_ = new wxWindow(this, ids::kLowerButtons, TemplatePos(214, 218), TemplateSize(238, 44));
  lower_buttons_->Hide();
  bottom_stuff_ = new wxWindow(this, ids::kBottomStuff, TemplatePos(7, 272), TemplateSize(452, 54));
  bottom_stuff_->Hide();

  path_label_ = new wxStaticText(this, ids::kPathLabel, "Path:", TemplatePos(18, 20), TemplateSize(17, 8));
  path_ = new CLabelButton(this, ids::kPathButton, wxEmptyString, TemplatePos(38, 20), TemplateSize(60, 8));
  browse_ = new wxButton(this, ids::kBrowse, "Browse...", TemplatePos(100, 17), TemplateSize(45, 14));
  image_list_ = new wxListBox(this, ids::kImageFileList, TemplatePos(14, 35), TemplateSize(129, 180), 0, nullptr,
                              wxLB_SINGLE | wxLB_NEEDED_SB);
  file_info_ = new wxButton(this, ids::kFileInfo, "Info...", TemplatePos(50, 225), TemplateSize(50, 14));

  copy_ = new CBitmapButton256colors(this, ids::kCopy, "Copy", TemplatePos(150, 30));
  schedule_ = new CBitmapButton256colors(this, ids::kSchedule, "Schedule", TemplatePos(150, 60));
  create_ = new CBitmapButton256colors(this, ids::kCreate, "Create", TemplatePos(150, 90));

  client_info_ = new wxButton(this, ids::kClientInfo, "Info...", TemplatePos(400, 17), TemplateSize(50, 14));
  select_all_ = new CBitmapButton256colors(this, ids::kSelectAll, "SelectAll", TemplatePos(215, 218));
  deselect_all_ = new CBitmapButton256colors(this, ids::kDeselectAll, "DeselectAll", TemplatePos(215, 242));
  load_group_ = new CBitmapButton256colors(this, ids::kLoadGroup, "LoadGroup", TemplatePos(305, 218));
  save_group_ = new CBitmapButton256colors(this, ids::kSaveGroup, "SaveGroup", TemplatePos(305, 242));
  rediscover_ = new CBitmapButton256colors(this, ids::kRediscover, "Rediscover", TemplatePos(395, 218));
  // In the form but never shown: rediscovery is reached through File > Discover.
  rediscover_->Hide();

  empty_static_ = new wxStaticText(this, ids::kEmptyStatic, wxEmptyString, TemplatePos(7, 318),
                                   TemplateSize(203, 8));
  logo_ = new CDibStatic(this, ids::kLogo, "LOGO", TemplatePos(290, 280));
}

void CShadowView::InitialUpdate() {
  for (CBitmapButton256colors* b :
       {create_, copy_, schedule_, select_all_, deselect_all_, load_group_, save_group_, rediscover_})
    b->AttachCaption();
  copy_->Disable();
  schedule_->Disable();
  create_->Disable();
  file_info_->Disable();
  client_info_->Disable();

  RecordMetrics();

  // The stored folder when it can still be entered, else the current one; the
  // folder actually used is written back.
  if (const auto stored = services_.ReadSetting("Path"); stored && !stored->empty())
    EnterFolder(wxString::FromUTF8(*stored));
  SetImageFolder(wxGetCwd());

  FillImageList(text::kImagePattern);
  RegisterToolTips();
  AttachClientList();
  LayOut(GetClientSize().GetWidth(), GetClientSize().GetHeight());
  KeepWindowMinimum();
  folder_watch_.Start(kFolderWatchMs);
}

void CShadowView::RecordMetrics() {
  ready_ = image_files_frame_ && empty_static_ && logo_ && middle_buttons_ && copy_ && schedule_ && create_;
  metrics_.gap = image_files_frame_->GetPosition().x;
  const wxSize label = path_label_->GetSize();
  metrics_.label = {label.GetWidth(), label.GetHeight()};
  metrics_.logo_height = logo_->GetSize().GetHeight();
  metrics_.button = SizeOf(select_all_);
  if (!ready_) return;
  min_width_ = kestrelon::form_minimum_width(metrics_);
  min_height_ = kestrelon::form_minimum_height(metrics_);
  SetScrollRate(1, 1);
  SetVirtualSize(min_width_, min_height_);
}

void CShadowView::KeepWindowMinimum() {
  auto* frame = dynamic_cast<wxFrame*>(GetParent());
  if (frame == nullptr || !ready_) return;
  // The frame's minimum client size counts its menu bar but not its status bar.
  wxSize minimum = MinimumSize();
  if (const wxStatusBar* bar = frame->GetStatusBar(); bar != nullptr && bar->IsShown())
    minimum.y += bar->GetSize().y;
  frame->SetMinClientSize(minimum);
  minimum_corrected_ = false;
}

kestrelon::FormControlSizes CShadowView::ControlSizes() const {
  return {SizeOf(browse_), SizeOf(file_info_), SizeOf(client_info_), SizeOf(empty_static_), SizeOf(logo_)};
}

void CShadowView::OnSize(wxSizeEvent& event) {
  event.Skip();  // scroll bars first
  LayOut(event.GetSize().GetWidth(), event.GetSize().GetHeight());
  CorrectWindowMinimum(event.GetSize());
}

void CShadowView::CorrectWindowMinimum(wxSize form) {
  auto* top = dynamic_cast<wxTopLevelWindow*>(GetParent());
  if (top == nullptr || !ready_ || minimum_corrected_ || !top->IsShown() || top->GetMinSize() == wxDefaultSize)
    return;
  // Until the window manager has decorated the window, the toolkit converts
  // between window and client sizes with an estimate of the decorations: a
  // window held at its minimum may then give the form a few pixels too few. The
  // first time that shows, the minimum grows by them; once only, so a screen too
  // small for the form cannot make it grow without end. A larger shortfall is no
  // such error (a window manager that ignores the minimum): the form scrolls.
  constexpr int kDecorationError = 8;
  const wxSize short_by(std::max(0, min_width_ - form.x), std::max(0, min_height_ - form.y));
  if (short_by == wxSize(0, 0) || short_by.x > kDecorationError || short_by.y > kDecorationError) return;
  minimum_corrected_ = true;
  top->SetMinSize(top->GetMinSize() + short_by);
}

void CShadowView::LayOut(int cx, int cy) {
  if (!ready_) return;
  const wxPoint origin = origin_marker_->GetPosition();
  const kestrelon::FormLayout f = kestrelon::lay_out_form(metrics_, ControlSizes(), origin.x, origin.y, cx, cy);

  image_files_frame_->SetSize(ToWx(f.image_files));
  middle_buttons_->SetSize(ToWx(f.middle_buttons));
  target_clients_frame_->SetSize(ToWx(f.target_clients));
  upper_stuff_->SetSize(ToWx(f.upper_stuff));
  lower_buttons_->SetSize(ToWx(f.lower_buttons));
  bottom_stuff_->SetSize(ToWx(f.bottom_stuff));

  MoveTo(path_label_, f.path_label);
  MoveTo(browse_, f.browse);
  path_->SetSize(ToWx(f.path_button));
  image_list_->SetSize(ToWx(f.image_list));
  MoveTo(file_info_, f.file_info);

  MoveTo(copy_, f.copy);
  MoveTo(schedule_, f.schedule);
  MoveTo(create_, f.create);

  MoveTo(client_info_, f.client_info);
  if (client_list_ != nullptr) client_list_->SetSize(ToWx(f.client_list));
  MoveTo(select_all_, f.select_all);
  MoveTo(deselect_all_, f.deselect_all);
  MoveTo(load_group_, f.load_group);
  MoveTo(save_group_, f.save_group);
  MoveTo(rediscover_, f.rediscover);

  MoveTo(empty_static_, f.empty_static);
  MoveTo(logo_, f.logo);
}

void CShadowView::AttachClientList() {
  kestrelon::CheckListModel& rows = services_.ClientRows();
  rows.set_single_selection(true);
  rows.set_check_images(true);
  if (rows.columns().empty()) rows.insert_client_columns();
  client_list_ = new CCheckListCtrl(this, ids::kClientList, rows, TemplatePos(215, 34), TemplateSize(220, 176));
  client_list_->SetMinimumColumnText(1, "000.000.000.000");
}

void CShadowView::RegisterToolTips() {
  path_->SetToolTip(ImageFolder());
  browse_->SetToolTip(text::kTipBrowse);
  client_info_->SetToolTip(text::kTipClientInfo);
  copy_->SetToolTip(text::kTipCopy);
  schedule_->SetToolTip(text::kTipSchedule);
  create_->SetToolTip(text::kTipCreate);
  select_all_->SetToolTip(text::kTipSelectAll);
  deselect_all_->SetToolTip(text::kTipDeselectAll);
  load_group_->SetToolTip(text::kTipLoadGroup);
  save_group_->SetToolTip(text::kTipSaveGroup);
  rediscover_->SetToolTip(text::kTipRediscover);
}

wxString CShadowView::ImageFolder() const { return path_->GetLabel(); }

void CShadowView::SetImageFolder(const wxString& folder) {
  path_->SetLabel(folder);
  path_->SetToolTip(folder);
  services_.WriteSetting("Path", folder.utf8_string());
}

bool CShadowView::FillImageList(const wxString& pattern) {
  image_list_->Clear();
  const auto listing = kestrelon::list_image_files(wxGetCwd().utf8_string(), pattern.utf8_string());
  for (const auto& name : listing.files) image_list_->Append(wxString::FromUTF8(name));
  return listing.matched;
}

void CShadowView::FollowImageFolder() {
  std::vector<std::string> shown;
  for (const wxString& name : image_list_->GetStrings()) shown.push_back(name.utf8_string());
  const int selected = image_list_->GetSelection();
  const std::string selected_name = selected == wxNOT_FOUND ? "" : shown[static_cast<std::size_t>(selected)];
  const auto listing = kestrelon::list_image_files(ImageFolder().utf8_string(), text::kImagePattern);
  const auto follow = kestrelon::follow_image_folder(shown, selected_name, listing.files);
  if (!follow.changed) return;
  image_list_->Clear();
  for (const auto& name : follow.names) image_list_->Append(wxString::FromUTF8(name));
  if (follow.selected >= 0) image_list_->SetSelection(follow.selected);
  if (follow.selected < 0 && selected != wxNOT_FOUND) UpdateFileButtons();
}

void CShadowView::ChooseFolder() {
  if (const auto chosen = choose_folder_(this, ImageFolder())) {
    if (chosen->empty()) {
      wxMessageBox(text::kNotValidFolder, text::kAppTitle, wxOK, this);
    } else {
      if (EnterFolder(*chosen)) SetImageFolder(wxGetCwd());
      FillImageList(text::kImagePattern);
    }
  }
  UpdateFileButtons();
}

void CShadowView::ShowFileInformation() {
  const int selected = image_list_->GetSelection();
  if (selected == wxNOT_FOUND) return;
  const auto text = kestrelon::file_information_text(ImageFolder().utf8_string(),
                                                     image_list_->GetString(selected).utf8_string());
  if (!text) return;
  CFileInfoDlg dialog(this, wxString::FromUTF8(*text));
  dialog.ShowModal();
}

void CShadowView::ShowHistory() {
  if (const auto image = services_.ShowHistory()) ChooseImage(*image);
  UpdateClientButtons();
}

void CShadowView::ChooseImage(const std::string& path) {
  const std::filesystem::path file(path);
  if (EnterFolder(wxString::FromUTF8(file.parent_path().string()))) SetImageFolder(wxGetCwd());
  FillImageList(text::kImagePattern);
  const int at = image_list_->FindString(wxString::FromUTF8(file.filename().string()), true);
  if (at != wxNOT_FOUND) image_list_->SetSelection(at);
  UpdateFileButtons();
}

void CShadowView::UpdateFileButtons() {
  const auto e = kestrelon::file_buttons_enabling(image_list_->GetSelection() != wxNOT_FOUND);
  copy_->Enable(e.copy);
  schedule_->Enable(e.schedule);
  file_info_->Enable(e.file_info);
}

void CShadowView::UpdateClientButtons() {
  const kestrelon::CheckListModel& rows = services_.ClientRows();
  int checked = 0;
  rows.last_checked(&checked);
  const auto e = kestrelon::client_buttons_enabling(checked, rows.selected_row() >= 0);
  create_->Enable(e.create);
  client_info_->Enable(e.client_info);
}

void CShadowView::SelectAll() {
  services_.ClientRows().check_all();
  UpdateClientButtons();
}

void CShadowView::DeselectAll() {
  services_.ClientRows().uncheck_all();
  UpdateClientButtons();
}

void CShadowView::SaveGroup() {
  int checked = 0;
  services_.ClientRows().last_checked(&checked);
  if (checked == 0)
    wxMessageBox(kestrelon::kNoClientCheckedText, text::kAppTitle, wxOK, this);
  else
    services_.SaveGroup();
  UpdateClientButtons();
}

void CShadowView::LoadGroup() {
  services_.LoadGroup();
  UpdateClientButtons();
}

void CShadowView::DriveSelection() {
  const kestrelon::CheckListModel& rows = services_.ClientRows();
  if (!services_.SelectDrive(rows.cell(rows.selected_row(), 1))) {
    wxMessageBox(text::kClientNotFound, text::kAppTitle, wxOK, this);
    return;
  }
  UpdateClientButtons();
}

std::string CShadowView::SelectedImagePath() const {
  const int selected = image_list_->GetSelection();
  if (selected == wxNOT_FOUND) return {};
  return kestrelon::image_file_path(ImageFolder().utf8_string(), image_list_->GetString(selected).utf8_string());
}

void CShadowView::CreateImage() {
  const auto folder = services_.Create();
  if (!folder) return;
  // The folder of the new image becomes the image folder, also after a failed
  // upload: shown, stored, listed again, and the buttons follow.
  if (EnterFolder(wxString::FromUTF8(*folder))) SetImageFolder(wxGetCwd());
  FillImageList(text::kImagePattern);
  UpdateFileButtons();
  UpdateClientButtons();
}

void CShadowView::RediscoverFromButton() {
  services_.Rediscover();
  UpdateClientButtons();
}
