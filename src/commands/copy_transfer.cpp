#include "commands/copy_transfer.h"

namespace kestrelon {

CopyTransfer::CopyTransfer(const Parts& parts, const ImageFile& image, const CopyOptions& options)
    : parts_(parts), image_(image), options_(options), file_name_(image.name()) {}

CopyTransfer::~CopyTransfer() {
  *alive_ = false;
  // However the dialog went away, the engine must not keep a pointer to it.
  parts_.engine.attach_dialog(nullptr);
  if (opened_) parts_.engine.request_stop();
}

bool CopyTransfer::open(std::int64_t now_seconds, std::function<void()> end_dialog) {
  end_dialog_ = std::move(end_dialog);
  opened_ = true;
  parts_.engine.clear_acker_designated();
  position_.store(-1);
  start_seconds_ = now_seconds;
  parts_.stats.clear_counters();
  parts_.engine.attach_dialog(this);
  if (!parts_.engine.copy_start(image_, options_)) {
    cancel();
    return false;
  }
  parts_.worker.start();
  return true;
}

void CopyTransfer::cancel() {
  if (ended_) return;
  ended_ = true;
  parts_.engine.request_stop();
  parts_.engine.attach_dialog(nullptr);
  if (end_dialog_) end_dialog_();
}

void CopyTransfer::set_progress_range(int, int high) { range_high_.store(high); }

void CopyTransfer::request_cancel() {
  parts_.ui.post_to_ui([this, alive = alive_] {
    if (!*alive || ended_) return;
    ended_by_engine_ = true;
    cancel();
  });
}

std::string CopyTransfer::acknowledging_client_text() {
  if (!parts_.engine.acker_designated()) return acker_text(false, std::nullopt);
  std::optional<AckerTarget> target;
  SemaphoreGuard hold(parts_.client_table_lock);
  const int i = parts_.tables.find_target(parts_.engine.acker_address());
  if (i >= 0) {
    const ClientRecord& r = parts_.tables.targets[static_cast<std::size_t>(i)];
    target = AckerTarget{r.name_text(), r.address};
  }
  return acker_text(true, target);
}

std::optional<RefreshTexts> CopyTransfer::refresh(std::int64_t now_seconds) {
  const std::int32_t position = position_.load();
  if (!gate_.take(position)) return std::nullopt;
  RefreshTexts t = refresh_texts({.position = position,
                                  .elapsed_seconds = now_seconds - start_seconds_,
                                  .done_kib = parts_.stats.progress_done.load(),
                                  .total_kib = parts_.stats.progress_total.load(),
                                  .acknowledgements = parts_.stats.acknowledgements.load(),
                                  .retries = parts_.stats.retries.load()});
  t.file = copy_file_text(file_name_, parts_.stats.progress_total.load());
  t.client = acknowledging_client_text();
  return t;
}

}  // namespace kestrelon
