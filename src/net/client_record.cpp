#include "net/client_record.h"

#include <algorithm>
#include <cstring>

namespace kestrelon {

std::string ClientRecord::name_text() const {
  const auto end = std::find(name.begin(), name.end(), '\0');
  return std::string(name.begin(), end);
}

void ClientRecord::set_name(const std::string& text) {
  name.fill('\0');
  std::memcpy(name.data(), text.data(), std::min(text.size(), name.size()));
}

bool ClientRecord::selected_disk_exists() const {
  return selected_disk >= 0 && selected_disk < std::min(disk_count, kMaxDisks);
}

std::uint32_t ClientRecord::selected_disk_sectors() const {
  if (!selected_disk_exists()) return 0;
  return disks[static_cast<std::size_t>(selected_disk)].size_sectors;
}

namespace {
int find_in(const std::array<ClientRecord, kMaxClients>& table, int count, Ipv4Address address) {
  for (int i = 0; i < count; ++i) {
    if (table[static_cast<std::size_t>(i)].address == address) return i;
  }
  return -1;
}
}  // namespace

int ClientTables::find_client(Ipv4Address address) const { return find_in(clients, client_count, address); }

int ClientTables::find_target(Ipv4Address address) const { return find_in(targets, target_count, address); }

}  // namespace kestrelon
