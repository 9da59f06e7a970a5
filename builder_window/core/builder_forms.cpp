#include "core/builder_forms.h"

#include <filesystem>
#include <system_error>

#include "core/builder_texts.h"
#include "core/dhcp_range.h"
#include "core/trimmed.h"

namespace kestrelon::builder_window {
namespace {

namespace fs = std::filesystem;

std::string absolute_path(std::string_view typed) {
  std::error_code error;
  fs::path path = fs::absolute(fs::path(trimmed(typed)), error).lexically_normal();
  // "/srv/boot/" names the folder "/srv/boot"; the trailing separator would make
  // an empty last part.
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path.string();
}

bool is_folder(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool exists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

// Adds "--kernel PATH" for a kernel named in the form; the problem when it is
// not there.
std::string add_kernel(const std::string& typed, std::vector<std::string>& arguments) {
  if (trimmed(typed).empty()) return {};
  const std::string kernel = absolute_path(typed);
  if (!exists(kernel)) return format(text::kKernelMissing, kernel);
  arguments.insert(arguments.end(), {"--kernel", kernel});
  return {};
}

}  // namespace

std::string_view after_copy_word(AfterCopy after_copy) {
  switch (after_copy) {
    case AfterCopy::reboot: return "reboot";
    case AfterCopy::poweroff: return "poweroff";
    case AfterCopy::stay: break;
  }
  return "stay";
}

std::string usb_image_path(std::string_view typed) {
  std::string path = absolute_path(typed);
  if (!fs::path(path).has_extension()) path += ".img";
  return path;
}

BuilderCommand netboot_command(const NetbootForm& form) {
  BuilderCommand command;
  if (trimmed(form.folder).empty()) {
    command.problem = text::kNetbootFolderEmpty;
    return command;
  }
  command.target = absolute_path(form.folder);
  if (exists(command.target) && !is_folder(command.target)) {
    command.problem = format(text::kFolderIsAFile, command.target);
    return command;
  }
  command.arguments = {"netboot", "--out", command.target, "--after-copy", std::string(after_copy_word(form.after_copy))};
  command.problem = add_kernel(form.kernel, command.arguments);
  if (!command.ok()) {
    command.arguments.clear();
    return command;
  }
  command.running_text = format(text::kRunningNetboot, command.target);
  return command;
}

BuilderCommand usb_command(const UsbForm& form) {
  BuilderCommand command;
  if (trimmed(form.file).empty()) {
    command.problem = text::kUsbFileEmpty;
    return command;
  }
  // A folder named as the image would otherwise get ".img" added and pass.
  if (is_folder(absolute_path(form.file))) {
    command.problem = format(text::kUsbFileIsAFolder, absolute_path(form.file));
    return command;
  }
  command.target = usb_image_path(form.file);
  if (is_folder(command.target)) {
    command.problem = format(text::kUsbFileIsAFolder, command.target);
    return command;
  }
  const std::string folder = fs::path(command.target).parent_path().string();
  if (!is_folder(folder)) {
    command.problem = format(text::kFolderMissing, folder);
    return command;
  }
  command.arguments = {"usb", "--out", command.target, "--after-copy", std::string(after_copy_word(form.after_copy))};
  command.problem = add_kernel(form.kernel, command.arguments);
  if (!command.ok()) {
    command.arguments.clear();
    return command;
  }
  command.running_text = format(text::kRunningUsb, command.target);
  return command;
}

BuilderCommand serve_command(const ServeForm& form, const std::vector<NetworkInterface>& interfaces, bool root) {
  BuilderCommand command;
  if (!root) {
    command.problem = text::kServeNeedsRoot;
    return command;
  }
  if (trimmed(form.folder).empty()) {
    command.problem = text::kServeFolderEmpty;
    return command;
  }
  const std::string folder = absolute_path(form.folder);
  if (!is_folder(folder)) {
    command.problem = format(text::kServeFolderMissing, folder);
    return command;
  }
  if (form.interface_name.empty()) {
    command.problem = text::kInterfaceNone;
    return command;
  }
  const NetworkInterface* on = find_interface(interfaces, form.interface_name);
  if (on == nullptr) {
    command.problem = format(text::kInterfaceGone, form.interface_name);
    return command;
  }
  if (form.menu_timeout < 0 || form.menu_timeout > kMaxMenuTimeout) {
    command.problem =
        format(text::kMenuTimeoutRange, std::to_string(kMaxMenuTimeout), std::to_string(form.menu_timeout));
    return command;
  }
  command.arguments = {"serve", "--dir", folder, "--interface", on->name};
  command.target = folder;
  if (form.isolated) {
    const DhcpRangeCheck check = check_dhcp_range(form.range_first, form.range_last, *on);
    if (!check.range) {
      command.arguments.clear();
      command.problem = check.problem;
      return command;
    }
    command.arguments.insert(command.arguments.end(), {"--dhcp-range", check.range->argument()});
    command.running_text = format(text::kRunningServeIsolated, folder, on->name, check.range->first.text(),
                            check.range->last.text());
  } else {
    command.running_text = format(text::kRunningServeProxy, folder, on->name);
  }
  command.arguments.insert(command.arguments.end(),
                           {"--menu-default", form.menu_default == MenuDefault::local ? "local" : "client",
                            "--menu-timeout", std::to_string(form.menu_timeout)});
  return command;
}

}  // namespace kestrelon::builder_window
