// kestrelon-builder: prepares the boot media with which PCs become Kestrelon
// Clients (network boot files, a USB image) and serves them on a network.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <map>

#include "builder_error.h"
#include "kernel_source.h"
#include "netboot_tree.h"
#include "app/pending_transfers.h"
#include "serve.h"
#include "usb_image.h"

namespace {

using namespace kestrelon::builder;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct MediaOptions {
  std::string out;
  std::string after = "stay";
  std::string kernel;
  std::string client;
  std::string cache;
  std::string kernel_args;
};

void add_media_options(CLI::App& command, MediaOptions& o, const char* out_text) {
  command.add_option("--out", o.out, out_text)->required();
  command.add_option("--after-copy", o.after, "what a Client does after a successful copy onto its disks: stay "
                                              "(wait for the next command), reboot, or poweroff (default: stay)")
      ->check(CLI::IsMember({"stay", "reboot", "poweroff"}));
  command.add_option("--kernel", o.kernel,
                     "the Linux kernel: a Debian kernel package file (linux-image-VERSION-amd64_*.deb), or a folder "
                     "holding an unpacked one (default: the kernel installed on this machine)");
  command.add_option("--client", o.client,
                     "the kestrelon-client program to put on the boot media (default: the one beside this program, "
                     "else on PATH)");
  command.add_option("--kernel-args", o.kernel_args,
                     "more for the Client's kernel command line (e.g. \"nomodeset\", or a serial console of its own)");
  command.add_option("--cache", o.cache,
                     "where kernel packages are unpacked (default: ~/.cache/kestrelon-builder)");
}

AfterCopy after_of(const MediaOptions& o) {
  return o.after == "reboot" ? AfterCopy::reboot : o.after == "poweroff" ? AfterCopy::poweroff : AfterCopy::stay;
}

ClientSources sources_of(const MediaOptions& o) {
  ClientSources s;
  s.kernel = o.kernel;
  s.client = o.client.empty() ? default_client_program() : std::filesystem::path(o.client);
  s.kernel_args = o.kernel_args;
  s.cache = o.cache.empty() ? default_cache_dir() : std::filesystem::path(o.cache);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Prepares the boot media with which PCs become Kestrelon Clients, and serves them on a network.",
               "kestrelon-builder"};
  app.set_version_flag("--version", std::string("kestrelon-builder ") + KESTRELON_FILE_VERSION);
  app.require_subcommand(1);
  app.footer("'kestrelon-builder COMMAND --help' describes a command's options.\n"
             "Exit status: 0 success, 1 failure, 2 bad usage.");

  MediaOptions netboot_options;
  CLI::App* netboot = app.add_subcommand("netboot", "write the network boot files (iPXE for BIOS and UEFI PCs, the "
                                                    "boot menu, the kernel and the Client's initramfs) to a folder");
  add_media_options(*netboot, netboot_options, "the folder to write (made, or replaced when an earlier build)");

  MediaOptions usb_options;
  CLI::App* usb = app.add_subcommand("usb", "write a disk image that boots the Client on BIOS and UEFI PCs from a "
                                            "USB stick");
  add_media_options(*usb, usb_options, "the image file to write (then: dd if=FILE.img of=/dev/sdX bs=4M)");

  ServeSettings serve_settings;
  std::string range_text;
  CLI::App* serve_command = app.add_subcommand(
      "serve", "serve a netboot folder on a network interface with dnsmasq (proxy DHCP and TFTP), in the foreground, "
               "printing which PC loads which file, until Ctrl-C or SIGTERM");
  serve_command->add_option("--dir", serve_settings.dir, "the folder written by 'kestrelon-builder netboot'")
      ->required();
  serve_command->add_option("--interface", serve_settings.interface, "the network interface of the room's PCs")
      ->required();
  serve_command
      ->add_option("--dhcp-range", range_text,
                   "A,B: be the DHCP server of an isolated imaging network, giving out A to B (default: proxy DHCP, "
                   "beside the network's own DHCP server)")
      ->check([](const std::string& v) {
        return parse_dhcp_range(v) ? std::string() : std::string("needs two IPv4 addresses A,B with A <= B");
      });
  std::string menu_default = "local";
  serve_command
      ->add_option("--menu-default", menu_default,
                   "what the boot menu starts when nobody chooses, for a PC without a transfer waiting: local (the "
                   "PC's own disk) or client (the Kestrelon Client) (default: local)")
      ->check(CLI::IsMember({"client", "local"}));
  std::string pending_dir = kestrelon::PendingTransfers::default_folder().string();
  serve_command
      ->add_option("--pending-dir", pending_dir,
                   "the folder where Controllers on this machine mark the PCs with a transfer waiting; those boot "
                   "into the Client at once (default: $KESTRELON_PENDING_DIR, else " +
                       std::string(kestrelon::PendingTransfers::kDefaultFolder) + ")")
      ->type_name("DIR");
  serve_command
      ->add_option("--menu-timeout", serve_settings.menu_timeout,
                   "seconds the boot menu waits; 0 starts the default at once (default: 5)")
      ->check(CLI::Range(0, 3600));

  if (argc < 2) {
    std::cout << app.help();
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const auto chosen = app.get_subcommands();
    const std::string name = chosen.empty() ? std::string() : " " + chosen.front()->get_name();
    std::fprintf(stderr, "kestrelon-builder%s: %s\nRun 'kestrelon-builder%s --help' for more information.\n",
                 name.c_str(), e.what(), name.c_str());
    return kExitUsage;
  }

  try {
    if (netboot->parsed()) {
      std::cout << build_netboot_tree(sources_of(netboot_options), after_of(netboot_options), netboot_options.out);
    } else if (usb->parsed()) {
      std::cout << build_usb_image(sources_of(usb_options), after_of(usb_options), usb_options.out);
    } else {
      serve_settings.menu_default = menu_default == "local" ? MenuChoice::local : MenuChoice::client;
      serve_settings.pending_folder = pending_dir;
      if (!range_text.empty()) serve_settings.range = parse_dhcp_range(range_text);
      return serve(serve_settings);
    }
  } catch (const BuilderError& e) {
    std::fprintf(stderr, "kestrelon-builder: %s\n", e.what());
    return kExitFailure;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrelon-builder: %s\n", e.what());
    return kExitFailure;
  }
  return 0;
}
