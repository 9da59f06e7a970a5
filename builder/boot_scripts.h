#pragma once
// The small scripts that boot a PC into the Client: the iPXE menu (Client or
// local disk), the iPXE script that loads the Client, and the syslinux
// configuration of the USB image. What happens after a copy is baked into the
// kernel command line they pass.
#include <string>

namespace kestrelon::builder {

enum class AfterCopy { stay, reboot, poweroff };
enum class MenuChoice { client, local };

const char* after_copy_word(AfterCopy after);
const char* menu_choice_word(MenuChoice choice);

// The kernel command line of the Client: its after-copy action, its consoles
// (the screen, and the first serial port for headless PCs) and `extra`.
std::string client_kernel_line(AfterCopy after, const std::string& extra);

// iPXE: loads vmlinuz and initrd.img from beside itself and boots the Client.
std::string client_ipxe_script(const std::string& kernel_line);

// iPXE: the boot menu, "Kestrelon Client" or "Boot from this PC's own disk".
// Before it shows, it fetches pc-MAC.ipxe (MAC as 52-54-00-12-34-56) from the
// server, which may set kestrelon-default for that PC alone; when there is none
// the room's default applies. A timeout of 0 boots the default at once.
std::string menu_ipxe_script(MenuChoice default_choice, int timeout_seconds);

// syslinux (BIOS and UEFI alike): boots /vmlinuz with /initrd.img at once.
std::string syslinux_config(const std::string& kernel_line);

}  // namespace kestrelon::builder
