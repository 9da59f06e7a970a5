#pragma once
// What the receive engine asks of the Receiving dialog while a Create runs. The
// engine calls the progress operations from a receive thread (the receive lock
// held), so an implementation only stores or posts; the two ends are called by the
// Create supervision on the user-interface thread.
#include <cstdint>

namespace kestrelon {

class ReceivingDialogHooks {
 public:
  enum class End { ok, cancel };

  virtual ~ReceivingDialogHooks() = default;

  // Receive thread: the progress bar's range becomes low..high. Must not wait for
  // the user-interface thread.
  virtual void set_progress_range(int low, int high) = 0;
  // Any thread: stores the position that the next refresh shows. Stores only.
  virtual void set_position(std::int32_t position) = 0;

  // User-interface thread: the dialog's two ends, used by the Create supervision.
  virtual void end_with_ok() = 0;
  virtual void end_with_cancel() = 0;
};

}  // namespace kestrelon
