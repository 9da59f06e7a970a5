#pragma once
// The Controller without its windows: the objects that live from start-up to
// shutdown, created and closed in a fixed order. The desktop application and the
// command line both run one.
//
//   ControllerCore core(ui, options);   // locks created: worker, receive, client table
//   if (!core.start()) return 1;         // network started, first discovery sent
//   ... core.idle_pass() whenever the user-interface thread is idle,
//       core.registry().discover(false) once a second ...
//   core.shutdown();                     // also run by the destructor
#include <chrono>
#include <filesystem>
#include <optional>

#include "app/profile_store.h"
#include "app/client_inventory.h"
#include "app/inventory_keeper.h"
#include "app/pending_transfers.h"
#include "app/program_options.h"
#include "app/settings_store.h"
#include "app/transfer_journal.h"
#include "app/tuning_values.h"
#include "model/main_client_list.h"
#include "net/client_record.h"
#include "net/client_registry.h"
#include "net/endpoint_table.h"
#include "net/mac_learner.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "net/user_messages.h"
#include "platform/clock.h"
#include "transfer/copy_engine.h"
#include "transfer/copy_target_report.h"
#include "transfer/copy_worker.h"
#include "transfer/receive_engine.h"
#include "transfer/transfer_stats.h"

namespace kestrelon {

struct CoreOptions {
  // Where the endpoints come from; empty means the host's own addresses, loopback
  // ones only when there is no other.
  AddressSource addresses;
  const Clock* clock = &SystemClock::instance();
  TuningValues tuning;
  // Empty: SettingsStore::default_folder(), and ProfileStore::default_path() of
  // the settings folder in use.
  std::filesystem::path settings_folder;
  std::filesystem::path profile_file;
  // Empty: TransferJournal::default_file().
  std::filesystem::path journal_file;
  // Empty: the Client inventory beside the journal.
  std::filesystem::path inventory_file;
  // Empty: PendingTransfers::default_folder(), the folder the boot service shares.
  std::filesystem::path pending_folder;
  // Where the MAC addresses of listed Clients come from.
  NeighbourSource neighbours = read_neighbour_table;
  // The program the journal says a transfer was run from.
  std::string program = "kestrelon";
  // The longest wait for each lock at shutdown.
  std::chrono::milliseconds shutdown_wait{5000};
};

// The addresses of this host, loopback ones included when asked (tests and demos
// on one machine).
AddressSource host_addresses(bool include_loopback);

class ControllerCore {
 public:
  ControllerCore(UserMessages& ui, CoreOptions options = {});
  ~ControllerCore();
  ControllerCore(const ControllerCore&) = delete;
  ControllerCore& operator=(const ControllerCore&) = delete;

  // Starts the network with the setting "DisabledInterfaces" and sends a discovery
  // request with clearing. False when the network could not start, or another
  // program holds the control port on one of the addresses (its message, naming
  // the address, has been shown); the program then ends. Later calls start
  // nothing again.
  bool start();

  // The first of this Controller's addresses whose control port another program
  // holds, or nullopt. Opens nothing that stays.
  std::optional<Ipv4Address> address_in_use() const;

  // The idle-time pass of the user-interface thread: expiry and list refresh,
  // then (at most once a second) the MAC addresses and the Client inventory.
  void idle_pass();

  // Closes the network and waits for the locks, at most `shutdown_wait` each; a
  // lock still held then is released anyway, so shutdown always completes.
  // Runs once; later calls do nothing.
  void shutdown();

  bool started() const { return started_; }

  UserMessages& ui() { return ui_; }
  const Clock& clock() const { return clock_; }
  const TuningValues& tuning() const { return options_.tuning; }
  SettingsStore& settings() { return settings_; }
  ProfileStore& profile() { return profile_; }
  const TransferJournal& journal() const { return journal_; }
  const std::string& program() const { return options_.program; }
  // The options that travel with every transfer, read from the settings when the
  // core is made; the Preferences change them.
  ProgramOptions& program_options() { return program_options_; }
  ProgramLocks& locks() { return locks_; }
  NoticeBoard& notices() { return notices_; }
  ReceiveDispatcher& dispatcher() { return dispatcher_; }
  EndpointTable& endpoints() { return endpoints_; }
  ClientTables& tables() { return tables_; }
  MainClientList& main_client_list() { return main_client_list_; }
  ClientRegistry& registry() { return registry_; }
  TransferStats& transfer_stats() { return transfer_stats_; }
  CopyEngine& copy_engine() { return copy_engine_; }
  CopyTargetReport& copy_report() { return copy_report_; }
  CopyNames& copy_names() { return copy_names_; }
  CopyWorker& copy_worker() { return copy_worker_; }
  ReceiveEngine& receive_engine() { return receive_engine_; }
  const ClientInventory& inventory() const { return inventory_; }
  InventoryKeeper& inventory_keeper() { return inventory_keeper_; }
  MacLearner& mac_learner() { return mac_learner_; }
  PendingTransfers& pending() { return pending_; }

 private:
  // Declaration order is construction order: the locks exist before any endpoint
  // and its receive thread, and outlive them.
  UserMessages& ui_;
  CoreOptions options_;
  const Clock& clock_;
  SettingsStore settings_;
  ProfileStore profile_;
  TransferJournal journal_;
  ProgramOptions program_options_;

  // Network and the Client registry.
  ProgramLocks locks_;
  NoticeBoard notices_;
  ReceiveDispatcher dispatcher_;
  ClientTables tables_;
  MainClientList main_client_list_;
  EndpointTable endpoints_;
  ClientRegistry registry_;
  // What the Controller remembers of the PCs between runs, and the PCs it tells
  // the boot service to start into the Client.
  MacLearner mac_learner_;
  ClientInventory inventory_;
  InventoryKeeper inventory_keeper_;
  PendingTransfers pending_;

  // Transfer engines; each registers its packet handler with the dispatcher in
  // the constructor and stops its worker first in shutdown().
  TransferStats transfer_stats_;
  CopyTargetReport copy_report_;  // the copy engine's observer, so it outlives the engine
  CopyNames copy_names_;          // the same for the names the engine sends
  CopyEngine copy_engine_;
  CopyWorker copy_worker_;
  ReceiveEngine receive_engine_;

  bool started_ = false;
  bool shut_down_ = false;
};

}  // namespace kestrelon
