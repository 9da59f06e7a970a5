#pragma once
// The window-free half of the Transfer dialog: what it does when it opens (Copy
// start, then the copy worker), its cancel path (the only way it ends), the
// position the engine hands it, and the texts of each refresh. The window (or the
// command line) owns the modal loop and the 333 ms refresh timer and calls in.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/client_record.h"
#include "net/user_messages.h"
#include "platform/semaphore.h"
#include "transfer/copy_engine.h"
#include "transfer/copy_worker.h"
#include "transfer/transfer_dialog_hooks.h"
#include "transfer/transfer_stats.h"
#include "transfer/transfer_texts.h"

namespace kestrelon {

class CopyTransfer final : public TransferDialogHooks {
 public:
  struct Parts {
    CopyEngine& engine;
    CopyWorker& worker;
    TransferStats& stats;
    ClientTables& tables;
    Semaphore& client_table_lock;
    UserMessages& ui;  // where the engine's cancel request is posted
  };

  CopyTransfer(const Parts& parts, const ImageFile& image, const CopyOptions& options);
  ~CopyTransfer() override;
  CopyTransfer(const CopyTransfer&) = delete;
  CopyTransfer& operator=(const CopyTransfer&) = delete;

  // The dialog's initialisation, on the user-interface thread. `end_dialog` ends
  // the modal loop; the cancel path calls it. Returns false when Copy start failed:
  // the cancel path has then run already and no worker was started.
  bool open(std::int64_t now_seconds, std::function<void()> end_dialog);

  // The cancel path (the Cancel button, the engine's request, the supervision):
  // stop flag set, the dialog pointer cleared, the dialog ended. Runs once.
  void cancel();
  bool ended() const { return ended_; }
  // Whether the engine asked for the end (every target done, or no acknowledging
  // Client left) rather than the user or the supervision.
  bool ended_by_engine() const { return ended_by_engine_; }

  // The refresh: the texts when the position has moved since the last one.
  std::optional<RefreshTexts> refresh(std::int64_t now_seconds);

  std::int32_t position() const { return position_.load(); }
  int range_high() const { return range_high_.load(); }
  const std::string& file_name() const { return file_name_; }

  // TransferDialogHooks: called by the engine from network threads.
  void set_progress_range(int low, int high) override;
  void set_position(std::int32_t position) override { position_.store(position); }
  void request_cancel() override;

 private:
  std::string acknowledging_client_text();

  Parts parts_;
  const ImageFile& image_;
  CopyOptions options_;
  std::string file_name_;
  std::function<void()> end_dialog_;
  std::int64_t start_seconds_ = 0;
  std::atomic<std::int32_t> position_{-1};
  std::atomic<int> range_high_{0};
  RefreshGate gate_;
  bool opened_ = false;
  bool ended_ = false;
  bool ended_by_engine_ = false;
  // Work posted to the user-interface thread checks this before touching the
  // object, which may have been destroyed by then (both happen on that thread).
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace kestrelon
