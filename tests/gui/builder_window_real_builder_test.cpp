// The builder window with the real kestrelon-builder, laid out as the packages
// install it (kestrelon-client beside it): the network boot files prepared into
// a folder typed in the window, then served on an interface of the test's
// private network with dnsmasq (an isolated network) and stopped from the
// window, which leaves no process of the serve behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <optional>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "builder_window_rig.h"
#include "gui_steps.h"
#include "support/temp_folder.h"
#include "window/builder_log_list.h"

#ifdef KESTRELON_TEST_CLIENT

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

// The kernel the boot files carry: none to name when this machine has one
// installed, else the package scripts/deps.sh downloads; nullopt when neither.
std::optional<std::string> KernelToName() {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/boot", error))
    if (entry.path().filename().string().rfind("vmlinuz-", 0) == 0) return std::string();
  for (const auto& entry : fs::directory_iterator("/var/cache/kestrelon-builder", error))
    if (entry.path().filename().string().rfind("linux-image-", 0) == 0 && entry.path().extension() == ".deb")
      return entry.path().string();
  return std::nullopt;
}

TEST(BuilderWindowRealBuilderTest, PreparesTheNetworkBootFilesAndServesThemUntilStop) {
  LabInterface lab;
  if (!lab.ok()) GTEST_SKIP() << lab.skip_reason();
  const std::optional<std::string> kernel = KernelToName();
  if (!kernel) GTEST_SKIP() << "no Linux kernel on this machine and none downloaded (scripts/deps.sh fetches one)";
  TempFolder temp;
  // dnsmasq's TFTP server reads the boot files as an unprivileged user.
  fs::permissions(temp.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  const fs::path bin = temp / "bin";
  fs::create_directories(bin);
  fs::copy_file(KESTRELON_TEST_BUILDER, bin / "kestrelon-builder");
  fs::copy_file(KESTRELON_TEST_CLIENT, bin / "kestrelon-client");
  const fs::path boot = temp / "boot";

  BuilderWindowRig rig((bin / "kestrelon-builder").string());
  const auto& c = rig.Controls();
  pid_t serve = 0;
  ASSERT_TRUE(RunSteps({
      Pause(500),
      Do("name the kernel package", [&] {
        if (!kernel->empty()) rig.TypeInto(c.kernel, *kernel);
      }),
      {"kernel named", [&] { return c.kernel->GetValue().utf8_string() == *kernel; }},
      Do("type the folder", [&] { rig.TypeInto(c.folder, boot.string()); }),
      {"folder typed", [&] { return c.folder->GetValue().utf8_string() == boot.string(); }},
      Do("after a Copy: restarts", [&] { c.netboot_after->SetSelection(1); }),
      Do("press Prepare network boot files", [&] { rig.Click(c.netboot); }),
      {"while it works only Stop can be pressed",
       [&] { return c.stop->IsEnabled() && !c.netboot->IsEnabled() && !c.serve->IsEnabled(); }},
      {"the boot files are ready", [&] { return !c.stop->IsEnabled(); }, 75000},
  })) << rig.LogText();
  ASSERT_EQ(rig.Result(), "The network boot files are ready in " + boot.string() + ".") << rig.LogText();
  EXPECT_EQ(rig.LogCount("Wrote the network boot files to " + boot.string()), 1);
  EXPECT_EQ(rig.LogCount("after a copy: reboot"), 1) << "the choice reached the boot files";
  for (const char* file : {"undionly.kpxe", "snponly.efi", "boot.ipxe", "vmlinuz", "initrd.img"})
    EXPECT_TRUE(fs::is_regular_file(boot / file)) << file;

  ASSERT_TRUE(RunSteps({
      Do("press Refresh", [&] { rig.Click(c.refresh); }),
      {"the lab's interface chosen", [&] { return c.interface->GetStringSelection() == LabInterface::kLabel; }},
      Do("choose the isolated network", [&] { rig.Click(c.isolated); }),
      {"a range proposed", [&] { return c.range_first->GetValue() == "10.77.0.128"; }},
      Do("press Serve", [&] { rig.Click(c.serve); }),
      {"dnsmasq serves and says so in the log",
       [&] {
         serve = rig.Frame()->ChildPid();
         return serve != 0 && rig.LogCount("serving " + boot.string() + " on bwtest0 (10.77.0.1/24) as the DHCP "
                                           "server of 10.77.0.128 to 10.77.0.254") == 1;
       },
       20000},
      Do("press Stop", [&] { rig.Click(c.stop); }),
      {"stopped", [&] { return rig.Result() == "Serving stopped."; }, 15000},
  })) << rig.LogText();
  // The builder's own last line, "HH:MM:SS stopped": it ended its dnsmasq itself.
  const std::string last = rig.LogRow(rig.Controls().log->GetItemCount() - 2);
  EXPECT_TRUE(last.size() == 16 && last.substr(8) == " stopped") << rig.LogText();
  EXPECT_NE(::kill(-serve, 0), 0) << "a process of the serve is left";
  EXPECT_TRUE(c.serve->IsEnabled() && c.netboot->IsEnabled());
}

}  // namespace
}  // namespace kestrelon::test

#endif
