#pragma once
// `kestrelon-builder serve`: dnsmasq in the foreground, serving a netboot folder
// on one interface, with the menu's default and timeout of this run. It prints
// one line per PC event (serve_log.h), flushed at once so a window can follow
// it, and ends on SIGTERM, SIGINT or SIGHUP, taking dnsmasq with it.
#include <filesystem>
#include <optional>
#include <string>

#include "boot_scripts.h"
#include "dnsmasq_config.h"

namespace kestrelon::builder {

struct ServeSettings {
  std::filesystem::path dir;
  std::string interface;
  std::optional<DhcpRange> range;  // none: proxy DHCP
  // A PC a Controller on this machine has marked pending boots into the Client
  // at once; every other PC gets this default.
  MenuChoice menu_default = MenuChoice::local;
  int menu_timeout = 5;
  std::filesystem::path pending_folder;  // where Controllers mark PCs pending
};

// Returns 0 after a signal ended it; throws a BuilderError when it cannot start
// or dnsmasq ends by itself.
int serve(const ServeSettings& settings);

}  // namespace kestrelon::builder
