#pragma once
// What the copy engine asks of the Transfer dialog while one is open. The engine
// calls these from network threads (the copy worker, receive threads), so an
// implementation only records or posts: it never touches a window directly and
// never calls back into the engine before returning.
#include <cstdint>

namespace kestrelon {

class TransferDialogHooks {
 public:
  virtual ~TransferDialogHooks() = default;
  // The progress bar's range (the engine sends 0..1000 when it starts).
  virtual void set_progress_range(int low, int high) = 0;
  // Stores the new position; the dialog's refresh shows it.
  virtual void set_position(std::int32_t position) = 0;
  // Runs the dialog's cancel path on the user-interface thread soon: every target
  // is done, or no acknowledging Client is left.
  virtual void request_cancel() = 0;
};

}  // namespace kestrelon
