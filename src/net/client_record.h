#pragma once
// A discovered Client, and the two tables of them: the client table (every
// Client that answers) and the target table (the Clients checked for a transfer).
// Both are guarded by the client table lock; records 0 to count - 1 are in use,
// with no holes.
#include <array>
#include <cstdint>
#include <string>

#include "net/disk_layout.h"
#include "platform/ipv4_address.h"
#include "platform/tick.h"

namespace kestrelon {

inline constexpr int kMaxClients = 512;

struct ClientRecord {
  std::array<char, 40> name{};  // NUL-terminated unless all 40 bytes are used
  Ipv4Address address;          // the key of the record
  int done = 0;                 // target table: reported OP_COPY_DONE
  int rank = 0;                 // target table: acknowledging order, 0 = unranked
  bool ready = false;           // target table: answered OP_COPY_READY
  Tick expiry = 0;              // client table: dropped once the tick count reaches it
  std::uint32_t answered_round = 0;  // client table: the last discovery request it answered, 0 = none
  std::int16_t selected_disk = 0;
  int disk_count = 0;  // 0 to 4
  std::array<DiskEntry, kMaxDisks> disks{};
  int interface_index = 0;  // endpoint the first announce arrived on

  std::string name_text() const;
  void set_name(const std::string& text);  // cut to 40 bytes
  // Whether the selected disk is one the Client announced.
  bool selected_disk_exists() const;
  // Size of the selected disk in sectors, 0 when it does not exist.
  std::uint32_t selected_disk_sectors() const;
};

struct ClientTables {
  std::array<ClientRecord, kMaxClients> clients{};
  int client_count = 0;
  std::array<ClientRecord, kMaxClients> targets{};
  int target_count = 0;

  // Index of the first record with this address, or -1.
  int find_client(Ipv4Address address) const;
  int find_target(Ipv4Address address) const;
};

}  // namespace kestrelon
