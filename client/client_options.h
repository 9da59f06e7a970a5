#pragma once
// The command line of kestrelon-client.
#include <optional>
#include <string>
#include <vector>

#include "fault_plan.h"
#include "platform/ipv4_address.h"

namespace kestrelon::client {

struct ClientOptions {
  std::vector<std::string> disks;        // --disk, up to 4; BIOS numbers 0x80 upwards
  std::string name;                      // --name; the host name when empty
  std::optional<Ipv4Address> address;    // --address
  int count = 1;                         // --count
  std::optional<Ipv4Address> address_from;  // --address-from
  std::optional<std::string> store_dir;  // --store
  bool allow_write = false;              // --allow-write
  bool once = false;                     // --once
  bool verbose = false;                  // --verbose
  bool help = false;                     // --help
  FaultPlan faults;
};

struct ParseResult {
  std::optional<ClientOptions> options;  // empty on error
  std::string error;                     // why, for the user
};

ParseResult parse_client_options(const std::vector<std::string>& args);
std::string client_usage();

}  // namespace kestrelon::client
