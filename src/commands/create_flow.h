#pragma once
// The Create command without windows: checks the checked Client, asks for the
// image path and the Receiving Disk Image choices, runs the receive engine behind
// the Receiving dialog, and cleans up. The window front end and the command line
// each implement CreatePort; the flow's rules live only here. Every upload it
// runs is recorded in the transfer journal.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "app/settings_store.h"
#include "app/transfer_journal.h"
#include "model/check_list_model.h"
#include "net/client_record.h"
#include "net/program_locks.h"
#include "transfer/receive_engine.h"
#include "commands/image_description.h"
#include "commands/journal_record.h"
#include "commands/receiving_dialog.h"
#include "transfer/transfer_stats.h"

namespace kestrelon {

// What the Receiving Disk Image dialog shows.
struct ReceiveImageInfo {
  std::string client_name;
  std::string address_text;  // "%03d.%03d.%03d.%03d"
  std::string size_text;     // "%ldMb" of the expected byte count
};

// What the user chose in it.
struct ReceiveImageChoice {
  std::string description;      // UTF-8; see image_description.h for what fits
  int compression_position = 9;  // the slider, 0 ("None") to 9 ("Maximum")
};

class CreatePort {
 public:
  virtual ~CreatePort() = default;
  // A message with an OK button; returns when it has been dismissed.
  virtual void show_message(const std::string& text) = 0;
  // The save-file dialog, proposing `proposed_name` (default extension "krn",
  // filter "Kestrelon(*.KRN)", overwrite prompt on). The chosen path, or nothing.
  virtual std::optional<std::string> choose_image_path(const std::string& proposed_name) = 0;
  // The Receiving Disk Image dialog. Nothing when it ends with Cancel or cannot
  // be shown.
  virtual std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo& info) = 0;
  // A new Receiving dialog for this Create; the flow runs it modally and
  // destroys it after the engine has finished.
  virtual std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo& info) = 0;
  // After an upload, successful or not: the folder of the chosen file becomes the
  // image folder (shown, stored as "Path", listed again).
  virtual void image_folder_chosen(const std::string& folder) = 0;
  // The upload has ended and its journal line is written.
  virtual void transfer_ended(const JournalFacts& /*facts*/) {}
};

enum class CreateFlowEnd {
  too_many_clients,  // "Only 1 client's drive can be saved at once !"
  no_client,         // "A client must be selected !"
  client_not_found,  // the checked row's Client is not in the client table (silent)
  no_partitions,     // "The selected drive does not have any partitions to copy !"
  no_path,           // the save-file dialog was cancelled
  file_not_created,  // the path could not be opened for writing (silent)
  not_confirmed,     // the Receiving Disk Image dialog was cancelled; the file is deleted
  description_too_long,  // the description does not fit the image (a message said why); the file is deleted
  uploaded,          // the engine ran; `outcome` says how it ended
};

struct CreateFlowResult {
  CreateFlowEnd end = CreateFlowEnd::no_client;
  CreateOutcome outcome = CreateOutcome::cancelled;  // meaningful when end is `uploaded`
  std::string path;  // the chosen image path, when there was one
  int open_error = 0;  // the error number when the file could not be created
  // What the transfer journal was given; `kind` is empty when the upload never ran.
  JournalFacts journal;

  bool completed() const { return end == CreateFlowEnd::uploaded && outcome == CreateOutcome::completed; }
};

class CreateFlow {
 public:
  static constexpr const char* kTooManyText = "Only 1 client's drive can be saved at once !";
  static constexpr const char* kNoClientText = "A client must be selected !";
  static constexpr const char* kNoPartitionsText = "The selected drive does not have any partitions to copy !";
  static constexpr std::size_t kDescriptionLimit = kDescriptionCharacters;

  // `settings`, when given, receives the new image folder as "Path"; `journal`,
  // when given, a line for each upload, as run from `program`; `registry`, when
  // given, holds every Client's expiry while the Receiving dialog is open.
  CreateFlow(ProgramLocks& locks, const ClientTables& tables, ReceiveEngine& engine, TransferStats& stats,
             SettingsStore* settings = nullptr, const TransferJournal* journal = nullptr,
             std::string program = "kestrelon", ClientRegistry* registry = nullptr)
      : locks_(locks),
        tables_(tables),
        engine_(engine),
        stats_(stats),
        settings_(settings),
        journal_(journal),
        program_(std::move(program)),
        registry_(registry) {}
  explicit CreateFlow(ControllerCore& core)
      : CreateFlow(core.locks(), core.tables(), core.receive_engine(), core.transfer_stats(), &core.settings(),
                   &core.journal(), core.program(), &core.registry()) {
    core_ = &core;
  }

  // The address column of every checked row, in row order: what `run` takes.
  static std::vector<std::string> checked_addresses(const CheckListModel& rows);

  // Whether the Receiving dialog of a running Create exists now (no discovery
  // requests meanwhile).
  bool receiving_dialog_open() const { return receiving_dialog_ != nullptr; }

  // Runs the Create command on the user-interface thread. `checked_addresses`
  // holds the address column ("%03d.%03d.%03d.%03d") of every checked row of the
  // client list; `sector_by_sector` is the preference "Force sector-by-sector
  // copying".
  CreateFlowResult run(const std::vector<std::string>& checked_addresses, bool sector_by_sector, CreatePort& port);

  // "%ldMb": a byte count shifted right by 20.
  static std::string size_text(std::int64_t bytes);
  // The folder part of a path ("." for a bare file name).
  static std::string folder_of(const std::string& path);
  // The name part of a path.
  static std::string file_name_of(const std::string& path);
  // Why an upload that ended so did not give an image ("" when it did), for
  // the per-Client reports and the journal.
  static std::string outcome_reason(CreateOutcome outcome, const ReceiveEngine& engine);

 private:
  std::optional<ClientRecord> find_checked_client(const std::string& address_text) const;
  void record(const ClientRecord& client, CreateFlowResult& result, std::int64_t started_ms) const;

  ProgramLocks& locks_;
  const ClientTables& tables_;
  ReceiveEngine& engine_;
  TransferStats& stats_;
  SettingsStore* settings_;
  const ReceivingDialog* receiving_dialog_ = nullptr;  // while one exists
  const TransferJournal* journal_;
  std::string program_;
  ClientRegistry* registry_;
  ControllerCore* core_ = nullptr;  // for the boot service's pending mark, when run by a Controller
};

}  // namespace kestrelon
