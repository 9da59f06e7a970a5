#include "commands/copy_flow.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "commands/received_images.h"
#include "commands/room_targets.h"
#include "commands/transfer_checks.h"
#include "model/check_list_model.h"
#include "model/main_client_list.h"
#include "net/wire_format.h"

namespace kestrelon {

std::string fill_placeholder(const std::string& text, const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "%1") == 0) {
      out += value;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

CopyFlow::CopyFlow(ControllerCore& core, CopyFlowPort& port) : core_(core), port_(port) {}

std::optional<std::uint64_t> CopyFlow::open_image(const std::string& image_path, const CopyOptions& options,
                                                  ImageFile& image, bool require_targets) {
  if (image.open(image_path) != 0) {
    port_.show_message(fill_placeholder(kCouldNotOpenText, image_path));
    return std::nullopt;
  }
  core_.main_client_list().rebuild_target_table(true);
  if (require_targets && target_count() == 0) {
    port_.show_message(CopyEngine::kNoTargetsText);
    return std::nullopt;
  }
  // A file too short for its partition summary, or one claiming more than 12
  // partitions, is not an image this program made: it is refused before any
  // target disk is overwritten with it.
  const SummaryRead summary = image.read_summary();
  if (!summary.summary) {
    port_.show_message(summary.error);
    return std::nullopt;
  }
  // A cut-off image would be sent whole to every Client, only for each to refuse
  // it or keep a broken disk: it is refused here, as the command line refuses it.
  if (const std::string damage = image_damage(image_path); !damage.empty()) {
    port_.show_message(damage + " It is not sent.");
    return std::nullopt;
  }
  return summary.summary->summed_sectors(options.keep_partition_size);
}

bool CopyFlow::prepare(const CopyRequest& request, ImageFile& image, bool require_targets) {
  const std::optional<std::uint64_t> sectors = open_image(request.image_path, request.options, image, require_targets);
  return sectors && check_disk_space(*sectors, request.skip_unready) && (!require_targets || target_count() > 0);
}

bool CopyFlow::check_disk_space(std::uint64_t image_sectors, bool skip) {
  std::vector<ClientRowFields> failing;
  {
    ClientTables& tables = core_.tables();
    ClientRegistry::ModalLockHold hold(core_.registry());
    for (int i = 0; i < tables.target_count; ++i) {
      const ClientRecord& target = tables.targets[static_cast<std::size_t>(i)];
      // The disk as its Client announced it; the target's own copy holds only the
      // size its row shows, rounded down to whole megabytes.
      const int c = tables.find_client(target.address);
      const ClientRecord& client = c >= 0 ? tables.clients[static_cast<std::size_t>(c)] : target;
      const std::string why =
          cannot_receive(client.disk_count, client.selected_disk, client.selected_disk_sectors(), image_sectors);
      if (why.empty()) continue;
      failing.push_back(client_row_fields(client));
      core_.copy_report().skip(client.name_text(), client.address, why,
                               skip ? TargetStep::skipped : TargetStep::failed);
      CheckListModel& rows = core_.main_client_list().rows();
      const std::string address = target.address.padded_text();
      for (int row = 0; row < rows.row_count(); ++row) {
        if (rows.cell(row, 1) == address && rows.check_state(row) == kChecked) rows.uncheck(row);
      }
    }
    if (failing.empty()) return true;
    // The list is shown while the lock is held, as the dialog is.
    if (!skip) {
      port_.show_low_disk_space(failing);
      return false;
    }
  }
  core_.main_client_list().rebuild_target_table(true);
  return target_count() > 0;
}

CopyFlowResult CopyFlow::run(const CopyRequest& request) {
  // The last copy's reports are recorded with what has come, before this copy's names replace them.
  if (auto r = after_copy_.poll(core_.copy_names(), core_.journal(), core_.clock().now(), true)) {
    port_.after_copy_reported(*r);
  }
  core_.copy_names().plan({});
  CopyFlowResult result;
  CopyTargetReport& report = core_.copy_report();
  report.reset();
  for (const LeftOutClient& c : request.left_out) report.skip(c.name, c.address, c.reason);
  const std::int64_t started_ms = wall_clock_ms();
  ImageFile image;
  const std::optional<std::uint64_t> sectors = open_image(request.image_path, request.options, image);
  if (!sectors) return result;
  result.image_bytes = image.length().value_or(0);
  // Stopped by the disk space check, or nobody left to copy to but Clients left out.
  if (!check_disk_space(*sectors, request.skip_unready) ||
      (request.skip_unready && !request.left_out.empty() && target_count() == 0)) {
    note_outcomes(result);
    record(request, result, started_ms);
    return result;
  }

  CopyNamePlan naming;
  if (!request.keep_names) naming = plan_copy_names(core_, request.group);
  if (!naming.problem.empty()) {
    port_.show_message(naming.problem + ". Nothing is copied.");
    return result;
  }
  core_.copy_names().plan(naming.names());
  if (naming.any_plan) port_.names_planned(naming);

  CopyEngine& engine = core_.copy_engine();
  CopyTransfer transfer({engine, core_.copy_worker(), core_.transfer_stats(), core_.tables(),
                         core_.locks().client_table, core_.ui()},
                        image, request.options);
  transfer_ = &transfer;
  ended_late_ = false;
  running_ = Running{.request = &request, .result = &result, .started_ms = started_ms};
  report.open(target_states());
  result.transfer_ran = true;
  PendingScope pending(core_, target_addresses(core_));
  pending_ = &pending;
  core_.registry().set_transfer_dialog_open(true);
  port_.run_transfer_dialog(transfer);
  core_.registry().set_transfer_dialog_open(false);
  pending_ = nullptr;

  // The dialog ended through its cancel path, which told the worker to stop;
  // once it has stopped, nothing more is multicast after the abort.
  core_.copy_worker().stop_and_join();
  core_.endpoints().send(EndpointTable::kAllInterfaces, wire::build_abort(), wire::kDataGroup, wire::kDataPort);

  // Unless the supervision has already ended it, the copy ends here, before the
  // lists and messages below wait for the user.
  conclude(how_it_ended(transfer, count_not_done()));
  after_copy_.expect(result.journal, core_.copy_names().targets(), core_.clock().now(), request.after_copy_wait);
  if (result.not_done != 0 && engine.first_done_deadline() == 0) {
    engine.clear_running();
    port_.show_failed_clients(failed_targets());
  }
  port_.show_timed_message(kRestoringConnectionsText);

  transfer_ = nullptr;
  running_.reset();
  image.close();
  core_.registry().discover(true);
  return result;
}

void CopyFlow::conclude(CopyEnd end) {
  if (!running_ || running_->concluded) return;
  running_->concluded = true;
  CopyFlowResult& result = *running_->result;
  const CopyEngine& engine = core_.copy_engine();
  result.not_done = count_not_done();
  result.image_bytes = engine.total_bytes();
  result.seconds = engine.seconds_to_all_done().value_or(0);
  result.blocks_sent = engine.blocks_sent();
  result.retries = core_.transfer_stats().retries.load();
  result.targets = target_count();
  result.cancelled = end == CopyEnd::cancelled;
  core_.copy_report().close(end);
  note_outcomes(result);
  note_images_received(core_.inventory(), running_->request->image_path, result.outcomes);
  record(*running_->request, result, running_->started_ms);
  if (!result.outcomes.empty()) port_.transfer_ended(result.journal);
}

CopyEnd CopyFlow::how_it_ended(const CopyTransfer& transfer, int not_done) const {
  const CopyEngine& engine = core_.copy_engine();
  if (not_done == 0) return CopyEnd::all_done;
  if (ended_late_) return CopyEnd::late_after_first;
  if (engine.ready_count() < engine.target_count()) return CopyEnd::never_started;
  if (transfer.ended_by_engine()) return CopyEnd::no_acknowledger_left;
  return CopyEnd::cancelled;
}

void CopyFlow::record(const CopyRequest& request, CopyFlowResult& result, std::int64_t started_ms) const {
  result.journal = {
      .kind = "copy",
      .program = core_.program(),
      .started_ms = started_ms,
      .ended_ms = wall_clock_ms(),
      .image = request.image_path,
      .bytes = result.image_bytes,
      .seconds = result.seconds,
      .retries = result.retries,
      .acknowledgements = result.transfer_ran ? core_.transfer_stats().acknowledgements.load() : 0,
      .cancelled = result.cancelled,
      .targets = result.outcomes,
      .annotate =
          [this, annotate = request.annotate](JournalRecord& r) {
            if (annotate) annotate(r);
            note_copy_names(r, core_.copy_names().targets());
          },
  };
  // Without a single Client there was nothing to copy to: no copy took place.
  if (!result.outcomes.empty()) append_to_journal(core_.journal(), result.journal);
}

void CopyFlow::supervise() {
  if (pending_) pending_->release_done();
  if (auto r = after_copy_.poll(core_.copy_names(), core_.journal(), core_.clock().now())) {
    port_.after_copy_reported(*r);
  }
  CopyEngine& engine = core_.copy_engine();
  if (!engine.copy_running()) return;
  const Tick deadline = engine.first_done_deadline();
  if (deadline == 0 || !tick_later(core_.clock().now(), deadline)) return;
  const int not_done = count_not_done();
  if (not_done == 0) return;
  engine.clear_running();
  ended_late_ = true;
  // The copy is over for the Clients that did not finish: so the journal says,
  // before the list and the message wait for the user.
  conclude(CopyEnd::late_after_first);
  port_.show_failed_clients(failed_targets());
  if (transfer_) transfer_->cancel();
  port_.show_message(fill_placeholder(kClientsDidNotCompleteText, std::to_string(not_done)));
}

int CopyFlow::target_count() {
  SemaphoreGuard hold(core_.locks().client_table);
  return core_.tables().target_count;
}

int CopyFlow::count_not_done() {
  SemaphoreGuard hold(core_.locks().client_table);
  const ClientTables& tables = core_.tables();
  int n = 0;
  for (int i = 0; i < tables.target_count; ++i) n += tables.targets[static_cast<std::size_t>(i)].done == 0 ? 1 : 0;
  return n;
}

void CopyFlow::note_outcomes(CopyFlowResult& result) {
  result.outcomes = core_.copy_report().states();
  result.skipped = 0;
  for (const TargetState& s : result.outcomes) result.skipped += s.step == TargetStep::skipped ? 1 : 0;
}

std::vector<TargetState> CopyFlow::target_states() {
  std::vector<TargetState> states;
  SemaphoreGuard hold(core_.locks().client_table);
  const ClientTables& tables = core_.tables();
  for (int i = 0; i < tables.target_count; ++i) {
    const ClientRecord& t = tables.targets[static_cast<std::size_t>(i)];
    states.push_back(TargetState{.name = t.name_text(), .address = t.address});
  }
  return states;
}

std::vector<ClientRowFields> CopyFlow::failed_targets() {
  std::vector<ClientRowFields> rows;
  SemaphoreGuard hold(core_.locks().client_table);
  const ClientTables& tables = core_.tables();
  for (int i = 0; i < tables.target_count; ++i) {
    const ClientRecord& t = tables.targets[static_cast<std::size_t>(i)];
    if (t.done == 0) rows.push_back(client_row_fields(t));
  }
  return rows;
}

}  // namespace kestrelon
