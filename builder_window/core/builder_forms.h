#pragma once
// The three forms of the builder window and what each action runs: the
// arguments of kestrelon-builder made from the fields, or the one problem that
// keeps the action from starting. Paths become absolute, so the log shows where
// the files went whatever folder the window was started from.
#include <string>
#include <string_view>
#include <vector>

#include "core/network_interfaces.h"

namespace kestrelon::builder_window {

// What a Client does after a successful Copy; baked into the boot files.
enum class AfterCopy { stay, reboot, poweroff };
// The boot menu's entry chosen when its time runs out.
enum class MenuDefault { client, local };

inline constexpr int kMaxMenuTimeout = 3600;

// The Linux kernel the boot media carry: empty for the one installed on this
// computer, else a Debian kernel package file or a folder with one unpacked.
struct NetbootForm {
  std::string folder;
  AfterCopy after_copy = AfterCopy::stay;
  std::string kernel;
};

struct UsbForm {
  std::string file;  // ".img" is added to a name without an extension
  AfterCopy after_copy = AfterCopy::stay;
  std::string kernel;
};

struct ServeForm {
  std::string folder;          // the network boot files
  std::string interface_name;  // empty: none chosen
  bool isolated = false;       // hand out addresses (else proxy DHCP)
  std::string range_first;
  std::string range_last;
  MenuDefault menu_default = MenuDefault::client;
  int menu_timeout = 5;  // seconds
};

struct BuilderCommand {
  std::vector<std::string> arguments;  // after the program's name
  std::string target;                  // the folder, file or interface, for the texts
  std::string running_text;            // what the window says while it runs
  std::string problem;                 // set: nothing runs, this says why

  bool ok() const { return problem.empty(); }
};

BuilderCommand netboot_command(const NetbootForm& form);
BuilderCommand usb_command(const UsbForm& form);
// `root`: whether this process may bind the DHCP and TFTP ports.
BuilderCommand serve_command(const ServeForm& form, const std::vector<NetworkInterface>& interfaces, bool root);

// The USB image's file as it will be written: absolute, ".img" added when the
// name has no extension.
std::string usb_image_path(std::string_view typed);

std::string_view after_copy_word(AfterCopy after_copy);

}  // namespace kestrelon::builder_window
