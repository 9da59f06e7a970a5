#include "ui/main_frame.h"

#include <wx/menu.h>
#include <wx/statusbr.h>

#include "controls/dib.h"
#include "controls/static_link.h"
#include "model/shown_text.h"
#include "ui/command_ids.h"
#include "ui/help_book.h"
#include "ui/room_ids.h"
#include "ui/shadow_view.h"
#include "ui/strings.h"
#include "ui/view_services.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;

namespace {

// The status-bar part of a prompt: the text before its line break.
wxString Prompt(const char* prompt) { return wxString(prompt).BeforeFirst('\n'); }

}  // namespace

CMainFrame::CMainFrame(ViewServices& services)
    : wxFrame(nullptr, wxID_ANY, text::kAppTitle, wxDefaultPosition, wxSize(960, 660)),
      services_(services),
      help_(std::make_unique<HelpBook>()),
      discovery_timer_(this, ids::kDiscoveryTimer),
      transfer_watch_timer_(this, ids::kTransferWatchTimer) {
  if (const wxBitmap icon = LoadResourceBitmap("KESTRELON"); icon.IsOk()) {
    wxIcon frame_icon;
    frame_icon.CopyFromBitmap(icon);
    SetIcon(frame_icon);
  }
  CreateMenu();
  CreateStatusBar(2);
  // The first pane has the menu prompts; the wider second one says how the last
  // Copy or Create ended.
  const int widths[] = {-2, -3};
  SetStatusWidths(2, widths);
  SetStatusBarPane(0);
  SetStatusText(text::kIdleStatus, 0);
  // The line names Clients and images: shown escaped, as every name is.
  services_.SetTransferOutcomeSink([this](const std::string& line) {
    SetStatusText(wxString::FromUTF8(kestrelon::shown_text(line)), kOutcomePane);
  });

  view_ = new CShadowView(this, services_);

  Bind(wxEVT_TIMER, &CMainFrame::OnTimer, this);
  discovery_timer_.Start(kDiscoveryPeriodMs);
  transfer_watch_timer_.Start(kTransferWatchPeriodMs);
}

CMainFrame::~CMainFrame() {
  services_.SetTransferOutcomeSink(nullptr);
  discovery_timer_.Stop();
  transfer_watch_timer_.Stop();
}

void CMainFrame::CreateMenu() {
  auto* file = new wxMenu;
  file->Append(ids::kFileDiscover, "&Discover", Prompt(text::kPromptDiscover));
  file->Append(ids::kFileClientBuilder, "Client&Builder", Prompt(text::kPromptClientBuilder));
  file->AppendSeparator();
  file->Append(ids::kAppExit, "E&xit", Prompt(text::kPromptExit));

  auto* view = new wxMenu;
  view->AppendCheckItem(ids::kViewStatusBar, "&Status Bar", Prompt(text::kPromptStatusBar));
  view->Check(ids::kViewStatusBar, true);
  view->AppendSeparator();
  view->Append(ids::kViewHistory, "&History...", Prompt(text::kPromptHistory));

  auto* options = new wxMenu;
  options->Append(ids::kOptionsPreferences, "&Preferences...", Prompt(text::kPromptPreferences));

  auto* help = new wxMenu;
  help->Append(ids::kHelpFinder, "&Help Topics", Prompt(text::kPromptHelpTopics));
  help->Append(ids::kHelpWebSite, "Kestrelon on the Web...", Prompt(text::kPromptWebSite));
  help->AppendSeparator();
  help->Append(ids::kAppAbout, "&About Kestrelon...", Prompt(text::kPromptAbout));

  auto* bar = new wxMenuBar;
  bar->Append(file, "&File");
  bar->Append(view, "&View");
  bar->Append(options, "&Options");
  bar->Append(help, "&Help");
  SetMenuBar(bar);

  // F1 opens the help book's start page; Shift+F1 (context help) does nothing.
  wxAcceleratorEntry keys[] = {{wxACCEL_NORMAL, WXK_F1, ids::kHelp}, {wxACCEL_SHIFT, WXK_F1, ids::kContextHelp}};
  SetAcceleratorTable(wxAcceleratorTable(2, keys));

  Bind(wxEVT_MENU, [this](wxCommandEvent&) { services_.Rediscover(); }, ids::kFileDiscover);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, ids::kAppExit);
  Bind(wxEVT_MENU, &CMainFrame::OnToggleStatusBar, this, ids::kViewStatusBar);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { view_->ShowHistory(); }, ids::kViewHistory);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { help_->ShowTopics(); }, ids::kHelpFinder);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { help_->ShowTopics(); }, ids::kDefaultHelp);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { help_->ShowStartPage(); }, ids::kHelpIndex);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { help_->ShowStartPage(); }, ids::kHelp);
  Bind(wxEVT_MENU, [](wxCommandEvent&) {}, ids::kContextHelp);
  Bind(wxEVT_MENU, [](wxCommandEvent&) {
    if (!OpenWithDesktop(text::kWebAddress)) wxBell();
  }, ids::kHelpWebSite);
}

void CMainFrame::OnToggleStatusBar(wxCommandEvent&) {
  wxStatusBar* bar = GetStatusBar();
  bar->Show(!bar->IsShown());
  GetMenuBar()->Check(ids::kViewStatusBar, bar->IsShown());
  SendSizeEvent();
  view_->KeepWindowMinimum();
}

void CMainFrame::OnTimer(wxTimerEvent& event) {
  if (event.GetId() == ids::kDiscoveryTimer) {
    if (!services_.TransferDialogOpen()) services_.PeriodicDiscovery();
  } else if (event.GetId() == ids::kTransferWatchTimer) {
    services_.TransferWatch();
    if (services_.FollowRoom()) view_->UpdateClientButtons();
  }
}
