#pragma once
// The Clients that keep answering. Discovery requests go out once a second; each
// announce fills or refreshes a record of the client table; the idle-time pass
// drops Clients that have been silent for 5000 ms and mirrors the table into the
// main client list, restoring check marks from the target table.
#include <atomic>

#include "net/client_list_view.h"
#include "net/client_record.h"
#include "net/endpoint_table.h"
#include "net/packet_handlers.h"
#include "platform/clock.h"
#include "platform/semaphore.h"

namespace kestrelon {

// The row fields of a client record: its name, padded address, disk count, selected
// disk and that disk's size in MB. A Client without disks shows "Disk 1 (0Mb)".
ClientRowFields client_row_fields(const ClientRecord& record);

class ClientRegistry final : public AnnounceHandler {
 public:
  static constexpr Tick kAnnounceLifetimeMs = 5000;
  static constexpr Tick kDiscoveryPeriodMs = 1000;

  ClientRegistry(ClientTables& tables, Semaphore& client_table_lock, EndpointTable& endpoints, const Clock& clock,
                 ClientListView& list);

  // Sends OP_DISCOVER to the control group on every enabled interface. With
  // `clear`, first empties the client table, the target table and the list.
  // Returns 1 when a request was sent, 0 when no interface endpoint is open (and
  // then nothing is cleared either). User-interface thread.
  int discover(bool clear);

  // Receive thread, under the receive lock. The first announce of an address fills
  // a record; later ones only move its expiry. A full table drops new Clients.
  void on_announce(const wire::Announce& announce, int endpoint_index) override;

  // The idle-time pass, on the user-interface thread: expiry (skipped while the
  // Transfer, the Receiving or the drive dialog is open), then the refresh of the
  // list.
  void age_and_refresh();

  // Set by the Transfer dialog and the drive dialog while they are open: no Client
  // expires meanwhile.
  void set_transfer_dialog_open(bool open) { transfer_dialog_open_.store(open); }
  void set_drive_dialog_open(bool open) { drive_dialog_open_.store(open); }
  // The same for the Receiving dialog of a Create. No discovery request goes out
  // while it is open, so as it closes every Client gets a full lifetime again:
  // otherwise all would expire at once after an upload of more than five seconds
  // and come back as new Clients, on their first disks.
  void set_receiving_dialog_open(bool open);

  // Holds the client table lock on the user-interface thread for a modal run (the
  // drive dialog, the low-disk-space list). Idle passes that the modal loop runs
  // meanwhile skip their work instead of waiting for a lock their own thread holds.
  // As it lets go, every Client gets a full lifetime again: its announces could
  // not be read while the lock was held.
  class ModalLockHold {
   public:
    explicit ModalLockHold(ClientRegistry& registry);
    ~ModalLockHold();
    ModalLockHold(const ModalLockHold&) = delete;
    ModalLockHold& operator=(const ModalLockHold&) = delete;

   private:
    ClientRegistry& registry_;
  };

 private:
  void expire_silent_clients(Tick now);
  // Every record's expiry at least a full lifetime from now. The caller holds the
  // client table lock.
  void renew_lifetimes();
  void refresh_list(Tick now);
  void restore_check_marks(const std::string& address_text);

  ClientTables& tables_;
  Semaphore& lock_;
  EndpointTable& endpoints_;
  const Clock& clock_;
  ClientListView& list_;
  std::atomic<bool> transfer_dialog_open_{false};
  std::atomic<bool> drive_dialog_open_{false};
  std::atomic<bool> receiving_dialog_open_{false};
  std::atomic<int> modal_holds_{0};  // changed on the user-interface thread
  bool in_idle_pass_ = false;
};

}  // namespace kestrelon
