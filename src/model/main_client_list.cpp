#include "model/main_client_list.h"

#include <algorithm>
#include <cstdint>

#include "model/client_row_text.h"
#include "net/client_registry.h"

namespace kestrelon {

namespace {
constexpr std::int64_t kSectorsPerMb = 2048;

std::uint32_t sectors_of_mb(std::int64_t mb) {
  const std::int64_t sectors = std::clamp<std::int64_t>(mb, 0, UINT32_MAX / kSectorsPerMb) * kSectorsPerMb;
  return static_cast<std::uint32_t>(sectors);
}
}  // namespace

void rebuild_target_table(const CheckListModel& rows, ClientTables& tables) {
  tables.target_count = 0;
  for (int r = 0; r < rows.row_count() && tables.target_count < kMaxClients; ++r) {
    if (rows.check_state(r) != kChecked) continue;
    const std::optional<Ipv4Address> address = address_from_padded_text(rows.cell(r, 1));
    if (!address) continue;
    const ClientRowFields f = rows.client_row(r);
    ClientRecord& t = tables.targets[static_cast<std::size_t>(tables.target_count)];
    t.set_name(f.name);
    t.address = *address;
    t.selected_disk = static_cast<std::int16_t>(f.disk_index);
    t.disk_count = std::min(f.disk_count, kMaxDisks);
    if (f.disk_index >= 0 && f.disk_index < kMaxDisks) {
      t.disks[static_cast<std::size_t>(f.disk_index)].size_sectors = sectors_of_mb(f.size_mb);
    }
    ++tables.target_count;
  }
}

MainClientList::MainClientList(ClientTables& tables, Semaphore& client_table_lock)
    : tables_(tables), lock_(client_table_lock) {
  rows_.insert_client_columns();
}

void MainClientList::rebuild_target_table(bool take_lock) {
  if (!take_lock) {
    kestrelon::rebuild_target_table(rows_, tables_);
    return;
  }
  SemaphoreGuard guard(lock_);
  kestrelon::rebuild_target_table(rows_, tables_);
}

void MainClientList::update_rows_from_client_table() {
  for (int i = 0; i < tables_.client_count; ++i) {
    rows_.update_client_rows(client_row_fields(tables_.clients[static_cast<std::size_t>(i)]));
  }
}

}  // namespace kestrelon
