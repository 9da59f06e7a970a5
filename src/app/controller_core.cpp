#include "app/controller_core.h"

#include <algorithm>
#include <ctime>

#include "app/program_settings.h"
#include "net/port_in_use.h"
#include "platform/local_addresses.h"

namespace kestrelon {

AddressSource host_addresses(bool include_loopback) {
  return [include_loopback] {
    return AddressList{0, local_ipv4_addresses(include_loopback ? LoopbackAddresses::include
                                                                : LoopbackAddresses::only_when_alone)};
  };
}

ControllerCore::ControllerCore(UserMessages& ui, CoreOptions options)
    : ui_(ui),
      options_(std::move(options)),
      clock_(*options_.clock),
      settings_(options_.settings_folder.empty() ? SettingsStore::default_folder() : options_.settings_folder,
                KESTRELON_FILE_VERSION),
      profile_(options_.profile_file.empty() ? ProfileStore::default_path(settings_.file().parent_path())
                                             : options_.profile_file),
      journal_(options_.journal_file.empty() ? TransferJournal::default_file() : options_.journal_file),
      program_options_(ProgramOptions::from_settings(settings_)),
      notices_(ui),
      dispatcher_(locks_.receive, notices_),
      main_client_list_(tables_, locks_.client_table),
      endpoints_(dispatcher_, ui, options_.tuning.multicast_ttl),
      registry_(tables_, locks_.client_table, endpoints_, clock_, main_client_list_),
      mac_learner_(tables_, locks_.client_table, endpoints_, clock_, options_.neighbours),
      inventory_(options_.inventory_file.empty() ? ClientInventory::beside(journal_.file()) : options_.inventory_file),
      inventory_keeper_(inventory_, mac_learner_),
      pending_(options_.pending_folder.empty() ? PendingTransfers::default_folder() : options_.pending_folder),
      copy_report_(clock_),
      copy_names_(endpoints_),
      copy_engine_(tables_, locks_, endpoints_, ui, transfer_stats_, clock_),
      copy_worker_(copy_engine_, locks_.worker),
      receive_engine_(endpoints_, transfer_stats_, ui, clock_,
                      ReceiveTiming{.inactivity_ms = static_cast<Tick>(options_.tuning.create_inactivity_ms)}) {
  if (!options_.addresses) options_.addresses = host_addresses(false);
  // A transfer the journal cannot record is told about, not left out silently.
  journal_.set_warning_sink([this](const std::string& text) { ui_.show_message(text); });
  dispatcher_.set_announce_handler(&registry_);
  copy_engine_.set_tuning({.rc = options_.tuning.window_full_timeouts,
                           .rt = options_.tuning.ack_timeout_ms,
                           .nt = options_.tuning.resend_delay_ms,
                           .fast = options_.tuning.fast_copy != 0,
                           .rate_mbs = options_.tuning.rate_cap_mbs});
  copy_engine_.set_observer(&copy_report_);
  copy_engine_.set_names(&copy_names_);
  dispatcher_.set_copy_name_handler(&copy_names_);
  dispatcher_.set_copy_handler(&copy_engine_);
  dispatcher_.set_create_handler(&receive_engine_);
}

ControllerCore::~ControllerCore() { shutdown(); }

bool ControllerCore::start() {
  if (started_ || shut_down_) return started_ && !shut_down_;  // the network starts once per run
  const AddressList list = options_.addresses();
  if (list.error == 0) {
    if (const auto taken = address_with_port_in_use(list.addresses)) {
      ui_.show_message(port_in_use_text(*taken));
      return false;
    }
  }
  if (!endpoints_.start_network(read_disabled_interfaces(settings_), [&list] { return list; })) return false;
  started_ = true;
  registry_.discover(true);
  return true;
}

std::optional<Ipv4Address> ControllerCore::address_in_use() const {
  const AddressList list = options_.addresses();
  if (list.error != 0) return std::nullopt;
  return address_with_port_in_use(list.addresses);
}

void ControllerCore::idle_pass() {
  registry_.age_and_refresh();
  if (started_ && !shut_down_) inventory_keeper_.idle(std::time(nullptr));
}

void ControllerCore::shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (started_) inventory_keeper_.flush(std::time(nullptr), std::min(options_.shutdown_wait, std::chrono::milliseconds(200)));
  pending_.clear();
  // The copy worker first: it ends within one tick, as this thread holds no lock
  // a tick could wait for.
  copy_worker_.stop_and_join();
  endpoints_.close_all(options_.shutdown_wait);
  for (Semaphore* lock : {&locks_.worker, &locks_.receive, &locks_.client_table}) {
    // A holder that has not let go by now is not waited for any longer.
    lock->try_acquire_for(options_.shutdown_wait);
    lock->release();
  }
}

}  // namespace kestrelon
