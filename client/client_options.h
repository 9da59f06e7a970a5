#pragma once
// The command line of kestrelon-client.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk_discovery.h"
#include "fault_plan.h"
#include "platform/ipv4_address.h"

namespace kestrelon::client {

struct ClientOptions {
  std::vector<std::string> disks;        // --disk, up to 4; BIOS numbers 0x80 upwards
  bool discover_disks = false;           // --disk auto: every fixed disk of this PC
  SystemPaths system_paths;              // where --disk auto looks (tests use trees of their own)
  std::string name;                      // --name; the host name when empty
  std::optional<Ipv4Address> address;    // --address
  int count = 1;                         // --count
  std::optional<Ipv4Address> address_from;  // --address-from
  std::optional<std::string> interface_name;  // --interface
  std::optional<std::string> store_dir;  // --store
  std::uint64_t store_sectors = 0;       // --store-size, in 512-byte sectors; 0 = not given
  bool allow_write = false;              // --allow-write
  bool once = false;                     // --once
  bool stop_and_wait = false;            // --stop-and-wait
  int upload_window = 0;                 // --upload-window; 0 = the default
  int compress_threads = 0;              // --compress-threads; 0 = one per core
  bool zlib = false;                     // --zlib
  bool verbose = false;                  // --verbose
  bool help = false;                     // --help
  bool version = false;                  // --version
  FaultPlan faults;
};

struct ParseResult {
  std::optional<ClientOptions> options;  // empty on error
  std::string error;                     // why, for the user
};

ParseResult parse_client_options(const std::vector<std::string>& args);
// "64G", "512M", "1T", "4096K" (binary multiples) or a byte count, in whole
// 512-byte sectors (rounded down); nothing when unreadable, below one sector or
// beyond what an announce can carry (2^32 - 1 sectors).
std::optional<std::uint64_t> parse_store_size(const std::string& text);
std::string client_usage();

}  // namespace kestrelon::client
