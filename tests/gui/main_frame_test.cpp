// The main window: title, menu, status bar, timers and the help book.
#include <gtest/gtest.h>

#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statusbr.h>
#include <wx/testing.h>

#include "fake_view_services.h"
#include "gui_steps.h"
#include "support/temp_folder.h"
#include "window_setup.h"
#include "ui/command_ids.h"
#include "ui/room_ids.h"
#include "ui/help_book.h"
#include "ui/main_frame.h"
#include "ui/network_start.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wxSetEnv("KESTRELON_HELP_DIR", KESTRELON_TEST_HELP_DIR);
    frame_ = new CMainFrame(services_);
    frame_->View()->InitialUpdate();
    frame_->Show();
  }
  void TearDown() override {
    frame_->Destroy();
    RunSteps({Settle()});
  }
  void Command(int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    frame_->GetEventHandler()->ProcessEvent(event);
  }
  FakeViewServices services_;
  CMainFrame* frame_ = nullptr;
};

TEST_F(MainFrameTest, TitleMenuAndStatusBar) {
  EXPECT_EQ(frame_->GetTitle(), "Kestrelon");
  wxMenuBar* bar = frame_->GetMenuBar();
  ASSERT_EQ(bar->GetMenuCount(), 4u);
  EXPECT_EQ(bar->GetMenuLabel(0), "&File");
  EXPECT_EQ(bar->GetMenuLabel(1), "&View");
  EXPECT_EQ(bar->GetMenuLabel(2), "&Options");
  EXPECT_EQ(bar->GetMenuLabel(3), "&Help");
  const std::pair<int, const char*> items[] = {
      {ids::kFileDiscover, "&Discover"},       {ids::kFileClientBuilder, "Client&Builder"},
      {ids::kAppExit, "E&xit"},                {ids::kViewStatusBar, "&Status Bar"},
      {ids::kViewHistory, "&History..."},
      {ids::kOptionsPreferences, "&Preferences..."}, {ids::kHelpFinder, "&Help Topics"},
      {ids::kHelpWebSite, "Kestrelon on the Web..."}, {ids::kAppAbout, "&About Kestrelon..."}};
  for (const auto& [id, label] : items) {
    wxMenuItem* item = bar->FindItem(id);
    ASSERT_NE(item, nullptr) << id;
    EXPECT_EQ(item->GetItemLabel(), label);
  }
  EXPECT_EQ(bar->FindItem(ids::kFileDiscover)->GetHelp(), "Discover all the Clients.");
  EXPECT_EQ(bar->FindItem(ids::kOptionsPreferences)->GetHelp(), "Open the Application Preferences.");
  EXPECT_EQ(bar->FindItem(ids::kFileClientBuilder)->GetHelp(), "Builds the Clients.");
  EXPECT_EQ(bar->FindItem(ids::kHelpWebSite)->GetHelp(), "Opens Kestrelon's Web Site");

  wxStatusBar* status = frame_->GetStatusBar();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->GetFieldsCount(), 2);
  EXPECT_EQ(status->GetStatusText(0), "For Help, press F1");

  Command(ids::kViewStatusBar);
  EXPECT_FALSE(status->IsShown());
  EXPECT_FALSE(bar->IsChecked(ids::kViewStatusBar));
  Command(ids::kViewStatusBar);
  EXPECT_TRUE(status->IsShown());
}

TEST_F(MainFrameTest, DiscoveryEverySecondOnlyWithoutTransferDialogAndWatchEveryHalfSecond) {
  EXPECT_EQ(frame_->DiscoveryTimer().GetInterval(), 1000);
  EXPECT_EQ(frame_->TransferWatchTimer().GetInterval(), 500);
  ASSERT_TRUE(RunSteps({Pause(2300)}));
  EXPECT_GE(services_.discoveries, 2);
  EXPECT_LE(services_.discoveries, 3);
  EXPECT_GE(services_.transfer_watches, 4);

  services_.transfer_dialog_open = true;
  const int before = services_.discoveries;
  const int watches = services_.transfer_watches;
  ASSERT_TRUE(RunSteps({Pause(1300)}));
  EXPECT_EQ(services_.discoveries, before);
  EXPECT_GT(services_.transfer_watches, watches);
}

TEST_F(MainFrameTest, FileDiscoverRediscoversWithoutTouchingTheButtons) {
  Command(ids::kFileDiscover);
  EXPECT_EQ(services_.rediscoveries, 1);
}

TEST_F(MainFrameTest, HelpTopicsOpenTheBook) {
  Command(ids::kHelpFinder);
  wxHtmlHelpController* help = frame_->Help().Controller();
  ASSERT_NE(help, nullptr);
  ASSERT_NE(help->GetFrame(), nullptr);
  EXPECT_TRUE(help->GetFrame()->IsShown());
  const auto& books = help->GetHelpWindow()->GetData()->GetBookRecArray();
  ASSERT_EQ(books.size(), 1u);
  EXPECT_EQ(books[0].GetTitle(), "Kestrelon Help");
  help->GetFrame()->Close();
}

// A start without any usable network: the message keeps its own text and says
// below it what is missing and what to do.
class ReadMessage : public wxExpectModalBase<wxMessageDialog, ReadMessage> {
 public:
  explicit ReadMessage(wxString& text) : text_(text) {}

 protected:
  int OnInvoked(wxMessageDialog* dialog) const override {
    text_ = dialog->GetMessage();
    return wxID_OK;
  }

 private:
  wxString& text_;
};

TEST(NetworkStartTest, WithoutAnAddressTheMessageSaysWhatIsMissingAndWhatToDo) {
  TempFolder folder;
  WxUserMessages messages;
  CoreOptions options = LoopbackCoreOptions(folder.path());
  options.addresses = [] { return AddressList{0, {}}; };
  ControllerCore core(messages, options);
  wxString shown;
  NetworkStart start;
  wxTEST_DIALOG(start = StartNetwork(core, messages, false), ReadMessage(shown));
  EXPECT_FALSE(start.started);
  EXPECT_TRUE(shown.StartsWith("Invalid or missing TCP/IP configuration (0)\n\nNo network interface")) << shown;
  EXPECT_NE(shown.Find("Connect this computer"), wxNOT_FOUND) << shown;
  EXPECT_NE(shown.Find("--loopback"), wxNOT_FOUND) << shown;
}

}  // namespace
}  // namespace kestrelon::test
