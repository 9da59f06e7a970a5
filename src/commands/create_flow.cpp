#include "commands/create_flow.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/program_settings.h"
#include "commands/pending_scope.h"
#include "commands/staged_image_file.h"
#include "platform/semaphore.h"
#include "transfer/buffered_file_writer.h"

namespace kestrelon {

std::string CreateFlow::size_text(std::int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%lldMb", static_cast<long long>(bytes >> 20));
  return text;
}

std::string CreateFlow::folder_of(const std::string& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  return full.parent_path().string();
}

std::string CreateFlow::file_name_of(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::vector<std::string> CreateFlow::checked_addresses(const CheckListModel& rows) {
  std::vector<std::string> addresses;
  for (int r = 0; r < rows.row_count(); ++r)
    if (rows.check_state(r) == kChecked) addresses.push_back(rows.cell(r, 1));
  return addresses;
}

std::optional<ClientRecord> CreateFlow::find_checked_client(const std::string& address_text) const {
  SemaphoreGuard guard(locks_.client_table);
  for (int i = 0; i < tables_.client_count; ++i) {
    const ClientRecord& c = tables_.clients[static_cast<std::size_t>(i)];
    if (c.address.padded_text() == address_text) return c;
  }
  return std::nullopt;
}

namespace {

bool selected_disk_has_partitions(const ClientRecord& c) {
  if (!c.selected_disk_exists()) return false;
  return c.disks[static_cast<std::size_t>(c.selected_disk)].partition_count > 0;
}

}  // namespace

CreateFlowResult CreateFlow::run(const std::vector<std::string>& checked_addresses, bool sector_by_sector,
                                 CreatePort& port) {
  CreateFlowResult result;
  if (checked_addresses.size() > 1) {
    port.show_message(kTooManyText);
    result.end = CreateFlowEnd::too_many_clients;
    return result;
  }
  if (checked_addresses.empty()) {
    port.show_message(kNoClientText);
    result.end = CreateFlowEnd::no_client;
    return result;
  }
  // A copy: the record can change or move in the table while the user chooses.
  const std::optional<ClientRecord> client = find_checked_client(checked_addresses.front());
  if (!client) {
    result.end = CreateFlowEnd::client_not_found;
    return result;
  }
  if (!selected_disk_has_partitions(*client)) {
    port.show_message(kNoPartitionsText);
    result.end = CreateFlowEnd::no_partitions;
    return result;
  }

  const std::optional<std::string> path = port.choose_image_path(client->name_text());
  if (!path) {
    result.end = CreateFlowEnd::no_path;
    return result;
  }
  result.path = *path;
  // The upload goes into a temporary file that replaces the chosen one only when
  // the image has ended whole; an earlier image of that name survives anything else.
  StagedImageFile staged;
  BufferedFileWriter file;
  if (const int e = staged.open(*path, file); e != 0) {
    result.end = CreateFlowEnd::file_not_created;
    result.open_error = e;
    return result;
  }
  if (!staged.stale_files().empty()) port.show_message(StagedImageFile::stale_text(staged.stale_files()));

  const std::int64_t total = ReceiveEngine::selected_disk_bytes(*client);
  std::optional<ReceiveImageChoice> choice =
      port.ask_receive_image({client->name_text(), client->address.padded_text(), size_text(total)});
  if (!choice) {
    file.close();
    result.end = CreateFlowEnd::not_confirmed;
    return result;
  }
  // Cut short, the description would lose its end unseen: a front end refuses
  // it as it is entered, and this refuses what still comes through.
  if (const std::string problem = description_problem(choice->description); !problem.empty()) {
    file.close();
    port.show_message(problem);
    result.end = CreateFlowEnd::description_too_long;
    return result;
  }

  std::unique_ptr<ReceivingDialog> dialog =
      port.make_receiving_dialog({file_name_of(*path), client->name_text(), choice->compression_position != 0});
  receiving_dialog_ = dialog.get();
  if (registry_) registry_->set_receiving_dialog_open(true);
  // What the Receiving dialog clears as it opens; cleared here, before the first
  // packet can count, so a front end's dialog has nothing left to reset.
  stats_.clear_counters();
  const std::int64_t started_ms = wall_clock_ms();
  std::optional<PendingScope> pending;
  if (core_) pending.emplace(*core_, std::vector<Ipv4Address>{client->address});
  engine_.start({std::move(file), *client, std::move(choice->description), choice->compression_position,
                 sector_by_sector, dialog.get()});
  const ReceivingDialog::End end = dialog->run_modal();
  result.outcome = engine_.finish(end);
  pending.reset();
  dialog.reset();
  receiving_dialog_ = nullptr;
  if (registry_) registry_->set_receiving_dialog_open(false);
  result.end = CreateFlowEnd::uploaded;
  if (result.outcome == CreateOutcome::completed && !staged.holds_partition_summary()) {
    result.outcome = CreateOutcome::no_partition_summary;
    staged.discard();
    port.show_message(ReceiveEngine::kNoSummaryText);
  }
  if (result.outcome == CreateOutcome::completed) {
    if (const int e = staged.commit(); e != 0) {
      result.outcome = CreateOutcome::write_failed;
      port.show_message(ReceiveEngine::kWriteFailedText + std::string(std::strerror(e)));
    } else if (!staged.renamed_text().empty()) {
      result.path = staged.final_path();
      port.show_message(staged.renamed_text());
    }
  }

  record(*client, result, started_ms);
  port.transfer_ended(result.journal);

  const std::string folder = folder_of(*path);
  if (settings_) write_image_folder(*settings_, folder);
  port.image_folder_chosen(folder);
  return result;
}

std::string CreateFlow::outcome_reason(CreateOutcome outcome, const ReceiveEngine& engine) {
  switch (outcome) {
    case CreateOutcome::completed: return "";
    case CreateOutcome::cancelled: return "cancelled";
    case CreateOutcome::silent: {
      // What was last heard: the last block taken (blocks count from 0).
      const std::uint32_t taken = engine.expected_block();
      const double seconds = static_cast<double>(engine.inactivity_ms()) / 1000.0;
      char text[128];
      if (taken == 0) {
        std::snprintf(text, sizeof text, "fell silent: no data for %.1f s; nothing heard", seconds);
      } else {
        std::snprintf(text, sizeof text, "fell silent: no data for %.1f s; last heard: block %u", seconds, taken - 1);
      }
      return text;
    }
    case CreateOutcome::disk_full: return "the disk is full";
    case CreateOutcome::write_failed: return "the image file could not be written";
    case CreateOutcome::invalid_stream: return "the upload stream holds a record that can never be completed";
    case CreateOutcome::too_large: return "sent more data than the partitions of its disk can hold";
    case CreateOutcome::no_partition_summary: return "the image holds no partition summary";
  }
  return "";
}

void CreateFlow::record(const ClientRecord& client, CreateFlowResult& result, std::int64_t started_ms) const {
  const bool completed = result.completed();
  std::error_code ec;
  const auto length = completed ? std::filesystem::file_size(result.path, ec) : 0;
  TargetState source{.name = client.name_text(),
                     .address = client.address,
                     .step = completed ? TargetStep::done : TargetStep::failed,
                     .reason = outcome_reason(result.outcome, engine_)};
  result.journal = {.kind = "create",
                    .program = program_,
                    .started_ms = started_ms,
                    .ended_ms = wall_clock_ms(),
                    .image = result.path,
                    .bytes = ec ? 0 : static_cast<std::uint64_t>(length),
                    .seconds = completed ? engine_.upload_milliseconds() / 1000.0 : 0.0,
                    .retries = stats_.retries.load(),
                    .acknowledgements = stats_.acknowledgements.load(),
                    .cancelled = result.outcome == CreateOutcome::cancelled,
                    .targets = {source}};
  if (journal_) append_to_journal(*journal_, result.journal);
}

}  // namespace kestrelon
