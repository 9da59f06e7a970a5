#include "commands/copy_flow.h"

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

bool CopyFlow::prepare(const std::string& image_path, const CopyOptions& options, ImageFile& image,
                       bool require_targets) {
  if (image.open(image_path) != 0) {
    port_.show_message(fill_placeholder(kCouldNotOpenText, image_path));
    return false;
  }
  core_.main_client_list().rebuild_target_table(true);
  if (require_targets && target_count() == 0) {
    port_.show_message(CopyEngine::kNoTargetsText);
    return false;
  }
  // A file too short for its partition summary, or one claiming more than 12
  // partitions, is not an image this program made: it is refused before any
  // target disk is overwritten with it.
  const SummaryRead summary = image.read_summary();
  if (!summary.summary) {
    port_.show_message(summary.error);
    return false;
  }
  return disk_space_suffices(summary.summary->summed_sectors(options.keep_partition_size));
}

bool CopyFlow::disk_space_suffices(std::uint64_t image_sectors) {
  ClientTables& tables = core_.tables();
  ClientRegistry::ModalLockHold hold(core_.registry());
  std::vector<ClientRowFields> failing;
  for (int i = 0; i < tables.target_count; ++i) {
    const ClientRecord& target = tables.targets[static_cast<std::size_t>(i)];
    // The disk as its Client announced it; the target's own copy holds only the
    // size its row shows, rounded down to whole megabytes.
    const int c = tables.find_client(target.address);
    const ClientRecord& client = c >= 0 ? tables.clients[static_cast<std::size_t>(c)] : target;
    if (image_sectors <= client.selected_disk_sectors()) continue;
    failing.push_back(client_row_fields(client));
    CheckListModel& rows = core_.main_client_list().rows();
    const std::string address = target.address.padded_text();
    for (int row = 0; row < rows.row_count(); ++row) {
      if (rows.cell(row, 1) == address && rows.check_state(row) == kChecked) rows.uncheck(row);
    }
  }
  if (failing.empty()) return true;
  port_.show_low_disk_space(failing);
  return false;
}

CopyFlowResult CopyFlow::run(const std::string& image_path, const CopyOptions& options) {
  CopyFlowResult result;
  ImageFile image;
  if (!prepare(image_path, options, image)) return result;

  CopyEngine& engine = core_.copy_engine();
  CopyTransfer transfer({engine, core_.copy_worker(), core_.transfer_stats(), core_.tables(),
                         core_.locks().client_table, core_.ui()},
                        image, options);
  transfer_ = &transfer;
  core_.registry().set_transfer_dialog_open(true);
  port_.run_transfer_dialog(transfer);
  core_.registry().set_transfer_dialog_open(false);
  result.transfer_ran = true;

  // The dialog ended through its cancel path, which told the worker to stop;
  // once it has stopped, nothing more is multicast after the abort.
  core_.copy_worker().stop_and_join();
  core_.endpoints().send(EndpointTable::kAllInterfaces, wire::build_abort(), wire::kDataGroup, wire::kDataPort);

  result.not_done = count_not_done();
  result.image_bytes = engine.total_bytes();
  result.seconds = engine.seconds_to_all_done().value_or(0);
  result.blocks_sent = engine.blocks_sent();
  result.retries = core_.transfer_stats().retries.load();
  result.targets = target_count();
  if (result.not_done != 0 && engine.first_done_deadline() == 0) {
    engine.clear_running();
    port_.show_failed_clients(failed_targets());
  }
  port_.show_timed_message(kRestoringConnectionsText);

  transfer_ = nullptr;
  image.close();
  core_.registry().discover(true);
  return result;
}

void CopyFlow::supervise() {
  CopyEngine& engine = core_.copy_engine();
  if (!engine.copy_running()) return;
  const Tick deadline = engine.first_done_deadline();
  if (deadline == 0 || !tick_later(core_.clock().now(), deadline)) return;
  const int not_done = count_not_done();
  if (not_done == 0) return;
  engine.clear_running();
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
