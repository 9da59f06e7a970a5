#pragma once
// The builder window's texts: the problems an action is refused for, what runs,
// and the result of each run. "{}" marks where `format` puts a value.
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrelon::builder_window {

// Puts `values` in place of the pattern's "{}" marks, in turn.
std::string format_list(std::string_view pattern, std::initializer_list<std::string_view> values);

template <class... Values>
std::string format(std::string_view pattern, const Values&... values) {
  return format_list(pattern, {std::string_view(values)...});
}

namespace text {

inline constexpr const char* kBuilderProgram = "kestrelon-builder";
inline constexpr const char* kBuilderPackage = "kestrelon-builder";
inline constexpr const char* kBuilderMissing =
    "kestrelon-builder is not installed (not beside this program, not on the PATH): install the package "
    "kestrelon-builder.";

// Refusals, before anything runs.
inline constexpr const char* kNetbootFolderEmpty = "Choose the folder for the network boot files.";
inline constexpr const char* kFolderIsAFile = "{} is a file, not a folder.";
inline constexpr const char* kUsbFileEmpty = "Choose the file for the USB image.";
inline constexpr const char* kUsbFileIsAFolder = "{} is a folder: choose a file name for the USB image.";
inline constexpr const char* kFolderMissing = "The folder {} does not exist.";
inline constexpr const char* kKernelMissing =
    "The Linux kernel {} does not exist: name a Debian kernel package (linux-image-*.deb), or leave the field empty "
    "for this computer's own kernel.";
inline constexpr const char* kServeNeedsRoot =
    "Serving needs root rights (DHCP port 67, TFTP port 69): start the builder window as root, for example "
    "with sudo.";
inline constexpr const char* kServeRootNote = "Serving needs root rights (ports 67 and 69), which this window has not.";
inline constexpr const char* kServeFolderEmpty =
    "Choose the folder of the network boot files to serve (prepare them first).";
inline constexpr const char* kServeFolderMissing =
    "The folder {} does not exist: prepare the network boot files into it first.";
inline constexpr const char* kInterfaceNone = "Choose the interface on the PCs' network.";
inline constexpr const char* kInterfaceGone =
    "The interface {} has no IPv4 address now: choose another one (Refresh lists them again).";
inline constexpr const char* kMenuTimeoutRange = "The boot menu waits between 0 and {} seconds, not {}.";

inline constexpr const char* kRangeFirstName = "first";
inline constexpr const char* kRangeLastName = "last";
inline constexpr const char* kRangeEmpty = "Enter the {} address of the range the isolated network hands out.";
inline constexpr const char* kRangeNotAnAddress =
    "The {} address of the range, \"{}\", is not an IPv4 address such as 192.168.50.100.";
inline constexpr const char* kRangeOutsideNetworks = "{} is not in the network of {} ({}): the range must lie in it.";
inline constexpr const char* kRangeNetworkEdge =
    "{} is the first or the last address of the network {} and cannot go to a PC.";
inline constexpr const char* kRangeTwoNetworks = "{} and {} lie in two different networks of the interface.";
inline constexpr const char* kRangeReversed = "The range ends ({}) before it starts ({}).";
inline constexpr const char* kRangeHoldsOwnAddress =
    "The range holds this computer's own address {} on {}: let it start after that address or end before it.";

// While a run goes on.
inline constexpr const char* kRunningNetboot = "Preparing the network boot files in {}...";
inline constexpr const char* kRunningUsb = "Preparing the USB image {}...";
inline constexpr const char* kRunningServeProxy =
    "Serving {} on {} beside the network's DHCP server (proxy DHCP)...";
inline constexpr const char* kRunningServeIsolated = "Serving {} on {}, handing out the addresses {} to {}...";
inline constexpr const char* kStopping = "Stopping...";

// The end of a run.
inline constexpr const char* kNetbootReady = "The network boot files are ready in {}.";
inline constexpr const char* kUsbReady = "The USB image {} is ready: write it onto a USB stick.";
inline constexpr const char* kServeStopped = "Serving stopped.";
inline constexpr const char* kServeEnded = "Serving ended.";
inline constexpr const char* kPrepareStopped = "Stopped before the end.";
inline constexpr const char* kKilledAfterStop = " kestrelon-builder did not end within {} seconds and was killed.";
inline constexpr const char* kNetbootFailed = "The network boot files could not be prepared: {}";
inline constexpr const char* kUsbFailed = "The USB image could not be prepared: {}";
inline constexpr const char* kServeFailed = "Serving failed: {}";
inline constexpr const char* kExitStatus = "kestrelon-builder ended with exit status {}.";
inline constexpr const char* kSignalled = "kestrelon-builder was ended by signal {} ({}).";
inline constexpr const char* kCannotStart = "{} could not be started: {}";

inline constexpr const char* kLogDropped = "({} earlier lines are not kept)";

}  // namespace text
}  // namespace kestrelon::builder_window
