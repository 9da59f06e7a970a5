#include "net/client_registry.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "net/wire_format.h"

namespace kestrelon {

ClientRegistry::ClientRegistry(ClientTables& tables, Semaphore& client_table_lock, EndpointTable& endpoints,
                               const Clock& clock, ClientListView& list)
    : tables_(tables), lock_(client_table_lock), endpoints_(endpoints), clock_(clock), list_(list) {}

int ClientRegistry::discover(bool clear) {
  if (endpoints_.opened_endpoints() == 0) return 0;
  if (clear) {
    SemaphoreGuard guard(lock_);
    tables_.client_count = 0;
    tables_.target_count = 0;
    list_.clear_rows();
  }
  // The endpoint writes its own address into each copy it sends.
  const auto request = wire::build_discover(Ipv4Address());
  endpoints_.send(EndpointTable::kAllInterfaces, request, wire::kControlGroup, wire::kControlPort);
  return 1;
}

void ClientRegistry::on_announce(const wire::Announce& announce, int endpoint_index) {
  SemaphoreGuard guard(lock_);
  const Tick expiry = clock_.now() + kAnnounceLifetimeMs;
  const int known = tables_.find_client(announce.address);
  if (known >= 0) {
    // Name, disks and interface stay as first announced.
    tables_.clients[static_cast<std::size_t>(known)].expiry = expiry;
    return;
  }
  if (tables_.client_count >= kMaxClients) return;
  ClientRecord& record = tables_.clients[static_cast<std::size_t>(tables_.client_count)];
  // A fresh record: nothing of the Client that used this slot before stays behind
  // (its disks would otherwise show through a Client that announces fewer).
  record = ClientRecord();
  record.address = announce.address;
  record.disk_count = std::clamp(announce.disk_count, 0, kMaxDisks);
  for (int d = 0; d < record.disk_count; ++d) {
    DiskEntry& disk = record.disks[static_cast<std::size_t>(d)];
    disk = announce.disks[static_cast<std::size_t>(d)];
    disk.partition_count = std::clamp(disk.partition_count, 0, kMaxPartitions);
  }
  record.done = 0;
  record.interface_index = endpoint_index;
  record.name = announce.name;
  record.expiry = expiry;
  ++tables_.client_count;
}

void ClientRegistry::age_and_refresh() {
  // A modal loop run while this thread holds the client table lock also runs idle
  // passes; waiting for the lock there would never end.
  if (modal_holds_ > 0 || in_idle_pass_) return;
  in_idle_pass_ = true;
  if (!transfer_dialog_open_.load() && !drive_dialog_open_.load() && !receiving_dialog_open_.load()) {
    SemaphoreGuard guard(lock_);
    expire_silent_clients(clock_.now());
  }
  {
    SemaphoreGuard guard(lock_);
    refresh_list(clock_.now());
  }
  in_idle_pass_ = false;
}

void ClientRegistry::set_receiving_dialog_open(bool open) {
  if (!open) {
    SemaphoreGuard guard(lock_);
    renew_lifetimes();
  }
  receiving_dialog_open_.store(open);
}

void ClientRegistry::renew_lifetimes() {
  const Tick fresh = clock_.now() + kAnnounceLifetimeMs;
  for (int i = 0; i < tables_.client_count; ++i) {
    Tick& expiry = tables_.clients[static_cast<std::size_t>(i)].expiry;
    if (tick_later(fresh, expiry)) expiry = fresh;
  }
}

void ClientRegistry::expire_silent_clients(Tick now) {
  int i = 0;
  while (i < tables_.client_count) {
    ClientRecord& record = tables_.clients[static_cast<std::size_t>(i)];
    if (!tick_reached(now, record.expiry)) {
      ++i;
      continue;
    }
    const std::string address = record.address.padded_text();
    for (int row = 0; row < list_.row_count(); ++row) {
      if (list_.address_text(row) == address) {
        list_.delete_row(row);
        break;
      }
    }
    // The last record fills the hole. The records before `i` have been looked at
    // with the same `now`, so the scan goes on from `i` itself.
    record = tables_.clients[static_cast<std::size_t>(tables_.client_count - 1)];
    --tables_.client_count;
  }
}

void ClientRegistry::refresh_list(Tick now) {
  const int rows = list_.row_count();
  if (rows < tables_.client_count) {
    // Rows are added for every live record that has none. Taking "the records
    // after the first `rows` ones" instead would list a Client twice and another
    // never, after an expiry moved an unlisted last record into a listed slot.
    std::unordered_set<std::string> listed;
    for (int row = 0; row < rows; ++row) listed.insert(list_.address_text(row));
    for (int i = 0; i < tables_.client_count; ++i) {
      ClientRecord& record = tables_.clients[static_cast<std::size_t>(i)];
      if (tick_reached(now, record.expiry)) continue;
      std::string address = record.address.padded_text();
      if (!listed.insert(address).second) continue;
      // A record listed again keeps the disk the user chose for it; a newly
      // announced Client's record was zeroed when filled, so it starts at disk 0.
      list_.insert_client_row_sorted(client_row_fields(record));
      restore_check_marks(address);
    }
  } else if (rows > tables_.client_count) {
    // Keep the user's choice in the target table; the next pass lists every
    // record again and restores the marks from it.
    list_.rebuild_target_table_locked();
    list_.clear_rows();
  }
}

void ClientRegistry::restore_check_marks(const std::string& address_text) {
  bool is_target = false;
  for (int t = 0; t < tables_.target_count && !is_target; ++t) {
    is_target = tables_.targets[static_cast<std::size_t>(t)].address.padded_text() == address_text;
  }
  if (!is_target) return;
  for (int row = 0; row < list_.row_count(); ++row) {
    if (list_.address_text(row) == address_text) list_.check_row(row);
  }
}

ClientRowFields client_row_fields(const ClientRecord& record) {
  ClientRowFields f;
  f.name = record.name_text();
  f.address = record.address.padded_text();
  f.disk_count = record.disk_count;
  f.disk_index = record.selected_disk;
  // Disk entries past the disk count hold nothing announced: a Client without
  // disks shows size 0 rather than whatever an earlier Client left in the slot.
  f.size_mb = record.selected_disk_sectors() >> 11;
  return f;
}

ClientRegistry::ModalLockHold::ModalLockHold(ClientRegistry& registry) : registry_(registry) {
  registry_.lock_.acquire();
  ++registry_.modal_holds_;
}

ClientRegistry::ModalLockHold::~ModalLockHold() {
  // The announces that arrived meanwhile are still waiting for this lock. Without
  // a fresh lifetime, an idle pass that takes the lock before their receive
  // thread does would expire the Clients behind them, and with each its choice
  // of disk (a drive dialog left open for more than five seconds).
  registry_.renew_lifetimes();
  --registry_.modal_holds_;
  registry_.lock_.release();
}

}  // namespace kestrelon
