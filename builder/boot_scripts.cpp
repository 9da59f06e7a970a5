#include "boot_scripts.h"

namespace kestrelon::builder {

const char* after_copy_word(AfterCopy after) {
  switch (after) {
    case AfterCopy::reboot: return "reboot";
    case AfterCopy::poweroff: return "poweroff";
    case AfterCopy::stay: break;
  }
  return "stay";
}

const char* menu_choice_word(MenuChoice choice) { return choice == MenuChoice::local ? "local" : "client"; }

std::string client_kernel_line(AfterCopy after, const std::string& extra) {
  // The last console named is the one init's own input and output use; init
  // repeats its messages on every console given.
  return std::string("kestrelon.after=") + after_copy_word(after) + " console=ttyS0,115200 console=tty0" +
         (extra.empty() ? "" : " " + extra);
}

std::string client_ipxe_script(const std::string& kernel_line) {
  return "#!ipxe\n"
         "# Boots the Kestrelon Client (written by kestrelon-builder).\n"
         "echo Loading the Kestrelon Client...\n"
         "kernel vmlinuz initrd=initrd.img " +
         kernel_line +
         "\n"
         "initrd initrd.img\n"
         "boot\n";
}

std::string menu_ipxe_script(MenuChoice default_choice, int timeout_seconds) {
  return std::string("#!ipxe\n") +
         "# The boot menu of the Kestrelon Client (written by kestrelon-builder).\n"
         "set kestrelon-default " + menu_choice_word(default_choice) + "\n" +
         "set kestrelon-timeout " + std::to_string(timeout_seconds * 1000) + "\n" +
         "# The server may hold a choice for this PC alone; it sets kestrelon-default.\n"
         "chain --autofree pc-${mac:hexhyp}.ipxe || echo The room's default applies to this PC.\n"
         "iseq ${kestrelon-timeout} 0 && goto ${kestrelon-default} ||\n"
         "menu Kestrelon\n"
         "item client Kestrelon Client\n"
         "item local  Boot from this PC's own disk\n"
         "choose --default ${kestrelon-default} --timeout ${kestrelon-timeout} target || goto ${kestrelon-default}\n"
         "goto ${target}\n"
         ":client\n"
         "chain client.ipxe\n"
         ":local\n"
         "echo Booting from the next device the firmware lists...\n"
         "exit\n";
}

std::string syslinux_config(const std::string& kernel_line) {
  return "# Boots the Kestrelon Client (written by kestrelon-builder).\n"
         "DEFAULT kestrelon\n"
         "PROMPT 0\n"
         "TIMEOUT 0\n"
         "LABEL kestrelon\n"
         "  KERNEL /vmlinuz\n"
         "  INITRD /initrd.img\n"
         "  APPEND " +
         kernel_line + "\n";
}

}  // namespace kestrelon::builder
