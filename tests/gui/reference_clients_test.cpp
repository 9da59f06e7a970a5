// The main form against running reference Clients (kestrelon-client processes
// with virtual disks) on loopback inside this test's private network.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <wx/process.h>
#include <wx/utils.h>

#include "app/controller_core.h"
#include "controls/check_list_ctrl.h"
#include "gui_steps.h"
#include "support/private_network.h"
#include "support/temp_folder.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/idle_time_work.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/wx_user_messages.h"

namespace kestrelon::test {
namespace {

// The reference Client program: the one built with the tests, or one named by
// KESTRELON_TEST_CLIENT.
wxString ClientProgram() {
  wxString path;
  if (wxGetEnv("KESTRELON_TEST_CLIENT", &path) && !path.empty()) return path;
#ifdef KESTRELON_TEST_CLIENT
  return KESTRELON_TEST_CLIENT;
#else
  return {};
#endif
}

// A sparse virtual disk of `mb` MiB with one partition.
bool MakeDisk(const std::filesystem::path& path, int mb) {
  const std::string command = "truncate -s " + std::to_string(mb) + "M '" + path.string() +
                              "' && printf 'label: dos\\n,,83\\n' | sfdisk -q '" + path.string() + "' >/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(ReferenceClients, AreListedSortedWithTheirDisksAndTakeCheckMarks) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  const wxString program = ClientProgram();
  if (program.empty() || !wxFileExists(program)) GTEST_SKIP() << "SKIPPED: the reference Client is not built";

  TempFolder folder;
  struct Machine {
    const char* name;
    const char* address;
    std::vector<int> disks_mb;
  };
  const Machine machines[] = {{"lab-pc-2", "127.0.0.12", {64}},
                              {"LAB-PC-10", "127.0.0.13", {32, 128}},
                              {"Bench", "127.0.0.11", {256}}};
  std::vector<long> pids;
  for (const Machine& m : machines) {
    wxString command = program + " --name " + m.name + " --address " + m.address;
    for (std::size_t i = 0; i < m.disks_mb.size(); ++i) {
      const auto disk = folder / (std::string(m.name) + "-" + std::to_string(i) + ".img");
      ASSERT_TRUE(MakeDisk(disk, m.disks_mb[i]));
      command += " --disk " + disk.string();
    }
    const long pid = wxExecute(command, wxEXEC_ASYNC | wxEXEC_MAKE_GROUP_LEADER);
    ASSERT_GT(pid, 0) << command;
    pids.push_back(pid);
  }

  WxUserMessages messages;
  CoreOptions options;
  options.addresses = [] { return AddressList{0, {Ipv4Address(127, 0, 0, 1)}}; };
  options.settings_folder = folder.path();
  options.profile_file = folder / "kestreln.ini";
  auto core = std::make_unique<ControllerCore>(messages, options);
  DesktopServices services(*core);
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->Show();
  ASSERT_TRUE(core->start());
  auto idle = std::make_unique<IdleTimeWork>([&] { core->idle_pass(); });
  CheckListModel& rows = core->main_client_list().rows();
  CCheckListCtrl* list = frame->View()->ClientList();

  const bool listed = RunSteps({{"three Clients listed", [&] { return rows.row_count() == 3; }, 15000}, Settle()});
  EXPECT_TRUE(listed);
  if (listed) {
    const std::vector<std::vector<std::string>> expected = {
        {"Bench", "127.000.000.011", "\xC3\x97", "Disk 1 (256Mb)"},
        {"LAB-PC-10", "127.000.000.013", "\xC3\x97\xC3\x97", "Disk 1 (32Mb)"},
        {"lab-pc-2", "127.000.000.012", "\xC3\x97", "Disk 1 (64Mb)"}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c)
        EXPECT_EQ(rows.cell(r, c), expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    const wxRect row1 = list->RowRect(1);
    EXPECT_TRUE(RunSteps({{"click LAB-PC-10", [&] {
                             ClickAt(list, wxPoint(row1.x + 40, row1.y + row1.height / 2));
                             return true;
                           }},
                          {"checked, Create enabled", [&] {
                             return rows.check_state(1) == kChecked &&
                                    frame->View()->FindWindow(ids::kCreate)->IsThisEnabled();
                           }}}));
  }

  idle.reset();
  frame->Destroy();
  RunSteps({Settle()});
  core->shutdown();
  for (long pid : pids) wxKill(pid, wxSIGTERM, nullptr, wxKILL_CHILDREN);
}

}  // namespace
}  // namespace kestrelon::test
