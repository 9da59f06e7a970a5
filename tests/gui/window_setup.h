#pragma once
// How the GUI tests build the program's window over a real core: a Controller
// that listens on 127.0.0.1 only (its Clients are on loopback in the test's
// private network), keeping its settings and groups file in the test's folder,
// and the main window placed at the top left.
#include <filesystem>

#include "app/controller_core.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {

inline CoreOptions LoopbackCoreOptions(const std::filesystem::path& folder) {
  CoreOptions options;
  options.addresses = [] { return AddressList{0, {Ipv4Address(127, 0, 0, 1)}}; };
  options.settings_folder = folder;
  options.profile_file = folder / "kestreln.ini";
  return options;
}

inline CMainFrame* ShowMainWindow(ViewServices& services) {
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->SetPosition(wxPoint(10, 10));
  frame->Show();
  return frame;
}

}  // namespace kestrelon::test
