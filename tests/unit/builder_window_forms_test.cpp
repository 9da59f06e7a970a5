// What the builder window's three actions run, and the one clear message each
// refusal gives: empty or wrong fields, serving without root, an interface that
// is gone, and the address range of an isolated network checked against the
// interface's networks.
#include "core/builder_forms.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "core/dhcp_range.h"
#include "support/temp_folder.h"

namespace kestrelon::builder_window {
namespace {

using Args = std::vector<std::string>;

NetworkInterface lab_interface() {
  return {"enp3s0", {{Ipv4Address(192, 168, 50, 1), 24}, {Ipv4Address(10, 9, 0, 5), 30}}};
}

TEST(BuilderWindowForms, PrepareActionsRunTheBuilderWithAbsolutePathsAndTheAfterCopyWord) {
  test::TempFolder temp;
  const std::string boot = (temp / "boot").string();
  const BuilderCommand netboot = netboot_command({"  " + boot + "/  ", AfterCopy::poweroff});
  ASSERT_TRUE(netboot.ok()) << netboot.problem;
  EXPECT_EQ(netboot.arguments, (Args{"netboot", "--out", boot, "--after-copy", "poweroff"}));

  // A relative name is taken from the window's folder; ".img" comes to a bare name.
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  const BuilderCommand usb = usb_command({"room-12", AfterCopy::reboot});
  const BuilderCommand usb_named = usb_command({"stick.raw", AfterCopy::stay});
  std::filesystem::current_path(here);
  ASSERT_TRUE(usb.ok()) << usb.problem;
  EXPECT_EQ(usb.arguments, (Args{"usb", "--out", (temp / "room-12.img").string(), "--after-copy", "reboot"}));
  EXPECT_EQ(usb.target, (temp / "room-12.img").string());
  EXPECT_EQ(usb_named.arguments.at(2), (temp / "stick.raw").string()) << "a name with an extension is kept";
  EXPECT_NE(usb.running_text.find("room-12.img"), std::string::npos) << usb.running_text;

  // A kernel package named in the form goes with both; one that is not there stops both.
  std::ofstream(temp / "linux-image-6.1.0-57-amd64_6.1.192-3_amd64.deb") << "x";
  const std::string kernel = (temp / "linux-image-6.1.0-57-amd64_6.1.192-3_amd64.deb").string();
  EXPECT_EQ(netboot_command({boot, AfterCopy::stay, kernel}).arguments,
            (Args{"netboot", "--out", boot, "--after-copy", "stay", "--kernel", kernel}));
  EXPECT_EQ(usb_command({boot + ".img", AfterCopy::stay, " " + kernel}).arguments,
            (Args{"usb", "--out", boot + ".img", "--after-copy", "stay", "--kernel", kernel}));
  const std::string missing = (temp / "linux-image-7.deb").string();
  const std::string problem = "The Linux kernel " + missing +
                              " does not exist: name a Debian kernel package (linux-image-*.deb), or leave the field "
                              "empty for this computer's own kernel.";
  for (const BuilderCommand& refused :
       {netboot_command({boot, AfterCopy::stay, missing}), usb_command({boot + ".img", AfterCopy::stay, missing})}) {
    EXPECT_EQ(refused.problem, problem);
    EXPECT_TRUE(refused.arguments.empty());
  }
}

TEST(BuilderWindowForms, PrepareActionsRefuseEmptyFieldsFilesAsFoldersAndMissingFolders) {
  test::TempFolder temp;
  std::ofstream(temp / "a-file") << "x";
  std::filesystem::create_directory(temp / "a-folder");
  std::filesystem::create_directory(temp / "a-folder.img");

  EXPECT_EQ(netboot_command({"   ", AfterCopy::stay}).problem, "Choose the folder for the network boot files.");
  EXPECT_EQ(netboot_command({(temp / "a-file").string(), AfterCopy::stay}).problem,
            (temp / "a-file").string() + " is a file, not a folder.");
  EXPECT_EQ(usb_command({"", AfterCopy::stay}).problem, "Choose the file for the USB image.");
  EXPECT_EQ(usb_command({(temp / "a-folder").string(), AfterCopy::stay}).problem,
            (temp / "a-folder").string() + " is a folder: choose a file name for the USB image.");
  EXPECT_FALSE(usb_command({(temp / "a-folder").string() + ".img", AfterCopy::stay}).ok());
  EXPECT_EQ(usb_command({(temp / "no-such" / "x.img").string(), AfterCopy::stay}).problem,
            "The folder " + (temp / "no-such").string() + " does not exist.");
  for (const BuilderCommand& refused :
       {netboot_command({"", AfterCopy::stay}), usb_command({(temp / "no-such" / "x.img").string(), AfterCopy::stay})})
    EXPECT_TRUE(refused.arguments.empty()) << "a refused action runs nothing";
}

TEST(BuilderWindowForms, ServeNeedsRootAFolderAnInterfaceAndASoundTimeout) {
  test::TempFolder temp;
  const std::vector<NetworkInterface> interfaces{lab_interface()};
  ServeForm form;
  form.folder = temp.path().string();
  form.interface_name = "enp3s0";
  form.menu_default = MenuDefault::local;
  form.menu_timeout = 12;

  const BuilderCommand proxy = serve_command(form, interfaces, true);
  ASSERT_TRUE(proxy.ok()) << proxy.problem;
  EXPECT_EQ(proxy.arguments, (Args{"serve", "--dir", temp.path().string(), "--interface", "enp3s0", "--menu-default",
                                   "local", "--menu-timeout", "12"}));
  EXPECT_NE(proxy.running_text.find("proxy DHCP"), std::string::npos) << proxy.running_text;

  // Root is said first: no other field can make serving possible without it.
  EXPECT_EQ(serve_command(ServeForm{}, interfaces, false).problem,
            "Serving needs root rights (DHCP port 67, TFTP port 69): start the builder window as root, for example "
            "with sudo.");

  struct Case {
    std::function<void(ServeForm&)> change;
    std::string problem;
  };
  const std::string missing = (temp / "missing").string();
  const std::vector<Case> cases{
      {[](ServeForm& f) { f.folder = " "; }, "Choose the folder of the network boot files to serve (prepare them first)."},
      {[&](ServeForm& f) { f.folder = missing; },
       "The folder " + missing + " does not exist: prepare the network boot files into it first."},
      {[](ServeForm& f) { f.interface_name.clear(); }, "Choose the interface on the PCs' network."},
      {[](ServeForm& f) { f.interface_name = "wlan0"; },
       "The interface wlan0 has no IPv4 address now: choose another one (Refresh lists them again)."},
      {[](ServeForm& f) { f.menu_timeout = 3601; }, "The boot menu waits between 0 and 3600 seconds, not 3601."},
  };
  for (const Case& c : cases) {
    ServeForm changed = form;
    c.change(changed);
    const BuilderCommand refused = serve_command(changed, interfaces, true);
    EXPECT_EQ(refused.problem, c.problem);
    EXPECT_TRUE(refused.arguments.empty());
  }
}

TEST(BuilderWindowForms, IsolatedServeHandsOutARangeInsideTheInterfacesNetworkWithoutItsOwnAddress) {
  test::TempFolder temp;
  const std::vector<NetworkInterface> interfaces{lab_interface()};
  ServeForm form;
  form.folder = temp.path().string();
  form.interface_name = "enp3s0";
  form.isolated = true;
  form.range_first = " 192.168.50.100";
  form.range_last = "192.168.50.199 ";
  const BuilderCommand isolated = serve_command(form, interfaces, true);
  ASSERT_TRUE(isolated.ok()) << isolated.problem;
  EXPECT_EQ(isolated.arguments, (Args{"serve", "--dir", temp.path().string(), "--interface", "enp3s0", "--dhcp-range",
                                      "192.168.50.100,192.168.50.199", "--menu-default", "client", "--menu-timeout",
                                      "5"}));

  const NetworkInterface on = lab_interface();
  const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> refused{
      {{"", "192.168.50.9"}, "Enter the first address of the range the isolated network hands out."},
      {{"192.168.50", "192.168.50.9"},
       "The first address of the range, \"192.168.50\", is not an IPv4 address such as 192.168.50.100."},
      {{"192.168.51.2", "192.168.51.9"},
       "192.168.51.2 is not in the network of enp3s0 (192.168.50.1/24, 10.9.0.5/30): the range must lie in it."},
      {{"192.168.50.0", "192.168.50.9"},
       "192.168.50.0 is the first or the last address of the network 192.168.50.1/24 and cannot go to a PC."},
      {{"192.168.50.200", "10.9.0.6"}, "192.168.50.200 and 10.9.0.6 lie in two different networks of the interface."},
      {{"192.168.50.90", "192.168.50.20"}, "The range ends (192.168.50.20) before it starts (192.168.50.90)."},
      {{"10.9.0.5", "10.9.0.6"},
       "The range holds this computer's own address 10.9.0.5 on enp3s0: let it start after that address or end "
       "before it."},
  };
  for (const auto& [range, problem] : refused) {
    const DhcpRangeCheck check = check_dhcp_range(range.first, range.second, on);
    EXPECT_FALSE(check.range) << range.first << " - " << range.second;
    EXPECT_EQ(check.problem, problem);
  }
  const DhcpRangeCheck one = check_dhcp_range("10.9.0.6", "10.9.0.6", on);
  ASSERT_TRUE(one.range) << one.problem;
  EXPECT_EQ(one.range->argument(), "10.9.0.6,10.9.0.6") << "a range of one address in a /30";
}

TEST(BuilderWindowForms, ProposedRangeIsTheHalfOfTheNetworkWithoutTheOwnAddress) {
  const auto lower_own = suggest_dhcp_range({"eth0", {{Ipv4Address(192, 168, 50, 1), 24}}});
  ASSERT_TRUE(lower_own);
  EXPECT_EQ(lower_own->argument(), "192.168.50.128,192.168.50.254");
  const auto upper_own = suggest_dhcp_range({"eth0", {{Ipv4Address(10, 0, 0, 200), 24}}});
  ASSERT_TRUE(upper_own);
  EXPECT_EQ(upper_own->argument(), "10.0.0.1,10.0.0.127");
  EXPECT_FALSE(suggest_dhcp_range({"eth0", {{Ipv4Address(10, 0, 0, 1), 30}}})) << "no room to share";
  // Every proposal passes the checks the Serve button makes.
  for (const auto& on : {NetworkInterface{"eth0", {{Ipv4Address(192, 168, 50, 1), 24}}},
                         NetworkInterface{"eth0", {{Ipv4Address(10, 0, 0, 200), 24}}},
                         NetworkInterface{"eth0", {{Ipv4Address(10, 0, 0, 6), 29}}}}) {
    const auto range = suggest_dhcp_range(on);
    ASSERT_TRUE(range) << on.label();
    EXPECT_TRUE(check_dhcp_range(range->first.text(), range->last.text(), on).range) << on.label();
  }
}

}  // namespace
}  // namespace kestrelon::builder_window
