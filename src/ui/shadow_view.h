#pragma once
// The main form: the "Image Files" pane with the image folder and its files, the
// column of command buttons, and the "Target Clients" pane with the client list
// and its buttons. It owns the user's commands and the enabling of the buttons.
#include <functional>
#include <optional>

#include <wx/scrolwin.h>
#include <wx/timer.h>

#include "model/form_layout.h"

class CBitmapButton256colors;
class CCheckListCtrl;
class CLabelButton;
class CDibStatic;
class ViewServices;
class wxButton;
class wxListBox;
class wxStaticBox;
class wxStaticText;

class CShadowView : public wxScrolledWindow {
 public:
  // Chooses a folder; nullopt when cancelled, an empty text when the choice has
  // no file-system path.
  using FolderChooser = std::function<std::optional<wxString>(wxWindow* parent, const wxString& start)>;

  static constexpr int kFolderWatchMs = 1000;

  CShadowView(wxWindow* parent, ViewServices& services);

  // The form's start-up: pictures for the buttons, layout metrics, image folder,
  // image file list, tool tips.
  void InitialUpdate();

  // Lays the form out for a client size; called on every size change.
  void LayOut(int cx, int cy);
  // The window that shows the form gets no smaller than the form needs: at its
  // minimum every control is whole, without scrolling. At the start, and again
  // when the status bar is shown or hidden.
  void KeepWindowMinimum();

  // Image pane.
  bool FillImageList(const wxString& pattern);
  // Brings the image list in line with the folder: files added or removed since
  // the last fill appear or go without Browse; the selected file stays selected
  // while it is there. Runs every kFolderWatchMs.
  void FollowImageFolder();
  void ChooseFolder();
  void ShowFileInformation();
  // View > History...; after "Check the failed Clients" the Copy's image is chosen.
  void ShowHistory();
  // Chooses the image file at `path`: its folder becomes the image folder.
  void ChooseImage(const std::string& path);
  void UpdateFileButtons();
  wxString ImageFolder() const;

  // Client pane.
  void UpdateClientButtons();
  void RediscoverFromButton();
  void SelectAll();
  void DeselectAll();
  void SaveGroup();
  void LoadGroup();
  // The Create command; afterwards the new image's folder is the image folder.
  void CreateImage();
  // Drive selection for the selected row (client Info button, double click).
  void DriveSelection();
  CCheckListCtrl* ClientList() const { return client_list_; }

  void SetFolderChooser(FolderChooser chooser) { choose_folder_ = std::move(chooser); }

  const kestrelon::FormMetrics& Metrics() const { return metrics_; }
  bool MetricsReady() const { return ready_; }
  wxSize MinimumSize() const { return {min_width_, min_height_}; }
  kestrelon::FormControlSizes ControlSizes() const;

 private:
  void CreateControls();
  void RecordMetrics();
  void RegisterToolTips();
  void AttachClientList();
  std::string SelectedImagePath() const;
  void SetImageFolder(const wxString& folder);
  void OnSize(wxSizeEvent& event);
  void CorrectWindowMinimum(wxSize form);

  ViewServices& services_;
  FolderChooser choose_folder_;
  wxTimer folder_watch_;

  kestrelon::FormMetrics metrics_;
  bool ready_ = false;
  bool minimum_corrected_ = false;
  int min_width_ = 0;
  int min_height_ = 0;

  // Members of the form, by their role.
  wxButton* file_info_ = nullptr;
  wxButton* client_info_ = nullptr;
  CLabelButton* path_ = nullptr;
  wxButton* browse_ = nullptr;
  wxListBox* image_list_ = nullptr;
  CBitmapButton256colors* create_ = nullptr;
  CBitmapButton256colors* copy_ = nullptr;
  CBitmapButton256colors* schedule_ = nullptr;
  CBitmapButton256colors* select_all_ = nullptr;
  CBitmapButton256colors* deselect_all_ = nullptr;
  CBitmapButton256colors* load_group_ = nullptr;
  CBitmapButton256colors* save_group_ = nullptr;
  CBitmapButton256colors* rediscover_ = nullptr;
  // Frames, statics and the picture.
  wxStaticBox* image_files_frame_ = nullptr;
  wxStaticBox* target_clients_frame_ = nullptr;
  wxWindow* middle_buttons_ = nullptr;
  wxWindow* lower_buttons_ = nullptr;
  wxWindow* bottom_stuff_ = nullptr;
  wxWindow* upper_stuff_ = nullptr;
  wxStaticText* path_label_ = nullptr;
  wxWindow* empty_static_ = nullptr;
  CDibStatic* logo_ = nullptr;
  wxWindow* origin_marker_ = nullptr;
  CCheckListCtrl* client_list_ = nullptr;
};
