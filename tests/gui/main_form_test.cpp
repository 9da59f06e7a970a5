// The main form on a real display: its placement at several window sizes, the
// image pane (listing, file information, Browse) and the path label.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include <wx/uiaction.h>

#include "controls/check_list_ctrl.h"
#include "controls/label_button.h"
#include "controls/wx_text_measure.h"
#include "dialogs/file_info_dlg.h"
#include "fake_view_services.h"
#include "gui_steps.h"
#include "model/form_layout.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

class MainForm : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kestrelon-gui-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    start_dir_ = fs::current_path();
  }
  void TearDown() override {
    if (frame_) frame_->Destroy();
    RunSteps({Settle()});
    fs::current_path(start_dir_);
    fs::remove_all(folder_);
  }
  void Open() {
    services_.settings["Path"] = folder_.string();
    frame_ = new CMainFrame(services_);
    view_ = frame_->View();
    view_->InitialUpdate();
    frame_->SetPosition(wxPoint(20, 20));
    frame_->Show();
  }
  template <class T>
  T* Control(int id) {
    return dynamic_cast<T*>(view_->FindWindow(id));
  }
  wxListBox* ImageList() { return Control<wxListBox>(ids::kImageFileList); }
  bool Enabled(int id) { return view_->FindWindow(id)->IsThisEnabled(); }

  FakeViewServices services_;
  CMainFrame* frame_ = nullptr;
  CShadowView* view_ = nullptr;
  fs::path folder_;
  fs::path start_dir_;
};

// Every control sits where the layout function puts it for the current size.
void ExpectLaidOut(CShadowView* view) {
  const wxSize client = view->GetClientSize();
  const wxPoint origin = view->FindWindow(ids::kOriginMarker)->GetPosition();
  const FormLayout f =
      lay_out_form(view->Metrics(), view->ControlSizes(), origin.x, origin.y, client.x, client.y);
  const std::pair<int, LayoutRect> expected[] = {
      {ids::kImageFilesFrame, f.image_files}, {ids::kTargetClientsFrame, f.target_clients},
      {ids::kMiddleButtons, f.middle_buttons}, {ids::kUpperStuff, f.upper_stuff},
      {ids::kLowerButtons, f.lower_buttons},   {ids::kBottomStuff, f.bottom_stuff},
      {ids::kPathLabel, f.path_label},         {ids::kBrowse, f.browse},
      {ids::kPathButton, f.path_button},       {ids::kImageFileList, f.image_list},
      {ids::kFileInfo, f.file_info},           {ids::kCopy, f.copy},
      {ids::kSchedule, f.schedule},            {ids::kCreate, f.create},
      {ids::kClientInfo, f.client_info},       {ids::kSelectAll, f.select_all},
      {ids::kDeselectAll, f.deselect_all},     {ids::kLoadGroup, f.load_group},
      {ids::kSaveGroup, f.save_group},         {ids::kRediscover, f.rediscover},
      {ids::kEmptyStatic, f.empty_static},     {ids::kLogo, f.logo}};
  for (const auto& [id, r] : expected) {
    const wxRect actual = view->FindWindow(id)->GetRect();
    EXPECT_EQ(actual, wxRect(r.left, r.top, r.width(), r.height()))
        << "control " << id << " at client size " << client.x << " x " << client.y;
  }
  if (wxWindow* list = view->FindWindow(ids::kClientList)) {
    EXPECT_EQ(list->GetRect(), wxRect(f.client_list.left, f.client_list.top, f.client_list.width(),
                                      f.client_list.height()));
  }
}

TEST_F(MainForm, RecordsTheReferenceSizesAndTheMinimum578By336) {
  Open();
  const FormMetrics& m = view_->Metrics();
  EXPECT_TRUE(view_->MetricsReady());
  EXPECT_EQ(m.gap, 11);
  EXPECT_EQ(m.button.width, 80);
  EXPECT_EQ(m.button.height, 32);
  EXPECT_EQ(m.label.width, 26);
  EXPECT_EQ(m.label.height, 13);
  EXPECT_EQ(m.logo_height, 75);
  EXPECT_EQ(view_->MinimumSize(), wxSize(578, 336));
}

TEST_F(MainForm, ResizingPlacesEveryControlAsTheLayoutSays) {
  Open();
  for (const wxSize size : {wxSize(1024, 700), wxSize(800, 600), wxSize(586, 400), wxSize(640, 480)}) {
    ASSERT_TRUE(RunSteps({{"resize", [&] {
                             view_->Scroll(0, 0);
                             frame_->SetClientSize(size.x, size.y + frame_->GetStatusBar()->GetSize().y);
                             return true;
                           }},
                          Settle(),
                          {"view took the size", [&] { return view_->GetClientSize().x == size.x; }}}));
    ExpectLaidOut(view_);
    // The left pane at 1024 is three eighths of what the middle column leaves.
    if (size.x == 1024) {
      EXPECT_EQ(view_->FindWindow(ids::kImageFilesFrame)->GetSize().x, 337);
    }
  }
}

TEST_F(MainForm, SmallerThanTheMinimumScrollsInsteadOfShrinking) {
  Open();
  ASSERT_TRUE(RunSteps({{"shrink", [&] {
                           // As a window manager that ignores the window's minimum would.
                           frame_->SetMinClientSize(wxDefaultSize);
                           frame_->SetClientSize(400, 250);
                           return true;
                         }},
                        Settle()}));
  const wxSize list_size = ImageList()->GetSize();
  EXPECT_EQ(view_->GetVirtualSize(), wxSize(578, 336));
  ExpectLaidOut(view_);
  ASSERT_TRUE(RunSteps({{"scroll", [&] {
                           view_->Scroll(60, 40);
                           return true;
                         }},
                        Settle()}));
  // Everything moved with the origin marker and kept its size.
  EXPECT_EQ(view_->FindWindow(ids::kOriginMarker)->GetPosition(), wxPoint(-60, -40));
  ExpectLaidOut(view_);
  EXPECT_EQ(ImageList()->GetSize(), list_size);
}

void WriteImage(const fs::path& path, std::uint64_t length, const std::string& description) {
  std::ofstream out(path, std::ios::binary);
  std::string head(768, '\0');
  head.replace(256, description.size(), description);
  out << head;
  out.close();
  fs::resize_file(path, length);  // sparse: no 700 MB written
}

TEST_F(MainForm, ImageListSkipsFolderAndFileInfoShowsSizeAndDescription) {
  fs::create_directory(folder_ / "old.krn");
  WriteImage(folder_ / "b.krn", 4096, "other");
  WriteImage(folder_ / "A.krn", 734003200, "Lab image");
  Open();
  ASSERT_EQ(ImageList()->GetCount(), 2u);
  EXPECT_EQ(ImageList()->GetString(0), "A.krn");
  EXPECT_EQ(ImageList()->GetString(1), "b.krn");
  EXPECT_EQ(services_.settings["Path"], folder_.string());
  EXPECT_FALSE(Enabled(ids::kCopy));
  EXPECT_FALSE(Enabled(ids::kSchedule));
  EXPECT_FALSE(Enabled(ids::kFileInfo));

  wxString shown;
  ASSERT_TRUE(RunSteps({Settle(),
                        {"click A.krn", [&] {
                           const int row_height = ImageList()->GetClientSize().y > 0 ? 8 : 0;
                           ClickAt(ImageList(), wxPoint(20, row_height));
                           return true;
                         }},
                        {"A.krn selected", [&] { return ImageList()->GetSelection() == 0; }},
                        {"file buttons enabled", [&] {
                           return Enabled(ids::kCopy) && Enabled(ids::kSchedule) && Enabled(ids::kFileInfo);
                         }},
                        {"click Info...", [&] {
                           wxWindow* info = view_->FindWindow(ids::kFileInfo);
                           ClickAt(info, wxPoint(info->GetSize().x / 2, info->GetSize().y / 2));
                           return true;
                         }},
                        {"file info dialog shows the text", [&] {
                           auto* edit = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowById(ids::kFileInfoText));
                           if (edit == nullptr) return false;
                           shown = edit->GetValue();
                           auto* dialog = dynamic_cast<CFileInfoDlg*>(wxGetTopLevelParent(edit));
                           EXPECT_TRUE(dialog && dialog->IsModal());
                           EXPECT_EQ(dialog->GetTitle(), "File info");
                           dialog->EndModal(wxID_OK);
                           return true;
                         }},
                        Settle()}));
  EXPECT_EQ(shown, "File : A.krn\nFile size : 700Mb\n\nLab image");
}

TEST_F(MainForm, BrowseChangesFolderListAndSettingOrNothingWhenCancelled) {
  const fs::path other = folder_ / "other";
  fs::create_directories(other);
  WriteImage(other / "c.krn", 100, "");
  WriteImage(folder_ / "a.krn", 100, "");
  Open();
  ImageList()->SetSelection(0);
  view_->UpdateFileButtons();
  ASSERT_TRUE(Enabled(ids::kCopy));

  // Cancelled: same folder and list, but the buttons are recomputed.
  view_->SetFolderChooser([](wxWindow*, const wxString&) { return std::optional<wxString>(); });
  view_->ChooseFolder();
  EXPECT_EQ(view_->ImageFolder(), folder_.string());
  EXPECT_EQ(ImageList()->GetString(0), "a.krn");
  EXPECT_TRUE(Enabled(ids::kCopy));

  // A folder that cannot be entered leaves caption and setting; the list is refilled.
  view_->SetFolderChooser([&](wxWindow*, const wxString&) { return std::optional<wxString>("/nonexistent/x"); });
  view_->ChooseFolder();
  EXPECT_EQ(view_->ImageFolder(), folder_.string());
  EXPECT_EQ(services_.settings["Path"], folder_.string());
  EXPECT_FALSE(Enabled(ids::kCopy));

  // Another folder: caption, tip, setting and list follow; the selection is gone.
  view_->SetFolderChooser([&](wxWindow*, const wxString&) { return std::optional<wxString>(other.string()); });
  view_->ChooseFolder();
  EXPECT_EQ(view_->ImageFolder(), other.string());
  EXPECT_EQ(view_->FindWindow(ids::kPathButton)->GetToolTipText(), other.string());
  EXPECT_EQ(services_.settings["Path"], other.string());
  ASSERT_EQ(ImageList()->GetCount(), 1u);
  EXPECT_EQ(ImageList()->GetString(0), "c.krn");
  EXPECT_FALSE(Enabled(ids::kCopy));

  // An item without a file-system path.
  view_->SetFolderChooser([&](wxWindow*, const wxString&) { return std::optional<wxString>(wxString()); });
  wxTEST_DIALOG(view_->ChooseFolder(), wxExpectModal<wxMessageDialog>(wxID_OK).Describe("not a valid folder"));
  EXPECT_EQ(view_->ImageFolder(), other.string());
}

// Space checks and unchecks the highlighted row as a click does; the image list
// follows files that come and go in its folder, the selection kept while its file
// is there; and the window gets no smaller than the form with every control whole.
TEST_F(MainForm, SpaceTogglesARowTheImageListFollowsItsFolderAndTheWindowKeepsItsMinimum) {
  WriteImage(folder_ / "a.krn", 100, "");
  WriteImage(folder_ / "b.krn", 100, "");
  Open();
  CheckListModel& rows = services_.ClientRows();
  for (const char* name : {"PC-1", "PC-2"})
    rows.append_client_row({.name = name, .address = std::string("010.000.000.00") + name[3], .disk_count = 1});
  CCheckListCtrl* list = view_->ClientList();
  const auto key = [](int code) { return [code] { wxUIActionSimulator().Char(code); }; };
  ASSERT_TRUE(RunSteps({Settle(),
                        Do("click PC-2", [&] {
                          const wxRect r = list->RowRect(1);
                          ClickAt(list, wxPoint(r.x + 40, r.y + r.height / 2));
                        }),
                        {"PC-2 checked", [&] { return rows.check_state(1) == kChecked && rows.selected_row() == 1; }},
                        Do("Space", key(WXK_SPACE)),
                        {"Space unchecks it", [&] { return rows.check_state(1) == kUnchecked; }},
                        Do("Up", key(WXK_UP)),
                        {"PC-1 highlighted", [&] { return rows.selected_row() == 0; }},
                        Do("Space", key(WXK_SPACE)),
                        {"PC-1 checked, Create enabled", [&] {
                           return rows.check_state(0) == kChecked && rows.check_state(1) == kUnchecked &&
                                  Enabled(ids::kCreate);
                         }},
                        Do("select b.krn, then c.krn arrives and a.krn goes", [&] {
                          ImageList()->SetSelection(1);
                          view_->UpdateFileButtons();
                          WriteImage(folder_ / "c.krn", 100, "");
                          fs::remove(folder_ / "a.krn");
                        }),
                        {"listed without Browse", [&] {
                           return ImageList()->GetCount() == 2 && ImageList()->GetString(1) == "c.krn";
                         }, 3000},
                        Do("check the selection, then b.krn goes", [&] {
                          EXPECT_EQ(ImageList()->GetStringSelection(), "b.krn");
                          EXPECT_TRUE(Enabled(ids::kCopy));
                          fs::remove(folder_ / "b.krn");
                        }),
                        {"gone, and Copy with it", [&] {
                           return ImageList()->GetCount() == 1 && !Enabled(ids::kCopy);
                         }, 3000},
                        Do("shrink the window", [&] { frame_->SetClientSize(300, 200); }),
                        Pause(500)}));
  const wxSize client = view_->GetClientSize();
  EXPECT_GE(client.x, view_->MinimumSize().x);
  EXPECT_GE(client.y, view_->MinimumSize().y);
  for (wxWindow* child : view_->GetChildren()) {
    if (!child->IsShown()) continue;
    EXPECT_TRUE(wxRect(client).Contains(child->GetRect())) << "control " << child->GetId() << " is cut off";
  }
}

TEST_F(MainForm, LongPathShowsItsLongestFittingPrefixWithDots) {
  fs::path deep = folder_;
  for (int i = 0; i < 12; ++i) deep /= "a-rather-long-folder-name-" + std::to_string(i);
  fs::create_directories(deep);
  services_.settings["Path"] = deep.string();
  frame_ = new CMainFrame(services_);
  view_ = frame_->View();
  view_->InitialUpdate();
  frame_->Show();
  ASSERT_TRUE(RunSteps({Settle()}));

  auto* path = Control<CLabelButton>(ids::kPathButton);
  EXPECT_EQ(path->GetLabel(), deep.string());
  const std::string full = deep.string();
  const std::string shown = path->DisplayedText().utf8_string();
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.substr(shown.size() - 3), "...");
  const std::string prefix = shown.substr(0, shown.size() - 3);
  EXPECT_EQ(full.substr(0, prefix.size()), prefix);
  wxClientDC dc(path);
  dc.SetFont(path->GetFont());
  const auto measure = dc_text_measure(dc);
  const int width = path->GetClientSize().x;
  EXPECT_LE(measure(shown), width);
  EXPECT_GT(measure(full.substr(0, prefix.size() + 1) + "..."), width);
}

}  // namespace
}  // namespace kestrelon::test
