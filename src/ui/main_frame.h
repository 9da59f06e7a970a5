#pragma once
// The main window: menu, status bar, the main form, and two timers: discovery
// every second while no transfer runs, and the transfer watch twice a second.
#include <memory>

#include <wx/frame.h>
#include <wx/timer.h>

class CShadowView;
class HelpBook;
class ViewServices;

class CMainFrame : public wxFrame {
 public:
  static constexpr int kDiscoveryPeriodMs = 1000;
  static constexpr int kTransferWatchPeriodMs = 500;
  // The status-bar pane that says how the last Copy or Create ended.
  static constexpr int kOutcomePane = 1;

  explicit CMainFrame(ViewServices& services);
  ~CMainFrame() override;

  CShadowView* View() const { return view_; }
  HelpBook& Help() { return *help_; }
  const wxTimer& DiscoveryTimer() const { return discovery_timer_; }
  const wxTimer& TransferWatchTimer() const { return transfer_watch_timer_; }

 private:
  void CreateMenu();
  void OnTimer(wxTimerEvent& event);
  void OnToggleStatusBar(wxCommandEvent&);

  ViewServices& services_;
  CShadowView* view_ = nullptr;
  std::unique_ptr<HelpBook> help_;
  wxTimer discovery_timer_;
  wxTimer transfer_watch_timer_;
};
