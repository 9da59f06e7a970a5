#pragma once
// How the GUI tests build the program's window over a real core: a Controller
// that listens on 127.0.0.1 only (its Clients are on loopback in the test's
// private network), keeping its settings and groups file in the test's folder,
// and the main window placed at the top left.
#include <filesystem>
#include <memory>

#include "app/controller_core.h"
#include "gui_steps.h"
#include "ui/idle_time_work.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/wx_user_messages.h"

namespace kestrelon::test {

inline CoreOptions LoopbackCoreOptions(const std::filesystem::path& folder) {
  CoreOptions options;
  options.addresses = [] { return AddressList{0, {Ipv4Address(127, 0, 0, 1)}}; };
  options.settings_folder = folder;
  options.profile_file = folder / "kestreln.ini";
  // The marks for a boot service stay in the test's folder.
  options.pending_folder = folder / "pending";
  std::filesystem::create_directories(options.pending_folder);
  return options;
}

inline CMainFrame* ShowMainWindow(ViewServices& services) {
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->SetPosition(wxPoint(10, 10));
  frame->Show();
  return frame;
}

// The window over a started core, built as the program builds it and taken down
// in the same order when this goes. `Services` is the DesktopServices the window
// talks to (a test's own may record what it is asked). A test that ends the
// window or the core itself resets `idle`, clears `frame` or shuts `core` down.
template <class Services>
struct WindowOverCore {
  WxUserMessages messages;
  std::unique_ptr<ControllerCore> core;
  std::unique_ptr<Services> services;
  CMainFrame* frame = nullptr;
  std::unique_ptr<IdleTimeWork> idle;

  // False when the network could not start.
  bool Start(CoreOptions options) {
    core = std::make_unique<ControllerCore>(messages, std::move(options));
    services = std::make_unique<Services>(*core);
    frame = ShowMainWindow(*services);
    if (!core->start()) return false;
    idle = std::make_unique<IdleTimeWork>([this] { core->idle_pass(); });
    return true;
  }

  ~WindowOverCore() {
    idle.reset();
    if (frame) frame->Destroy();
    RunSteps({Settle()});
    if (core) core->shutdown();
  }
};

}  // namespace kestrelon::test
