#pragma once
// The Controller's copy side as the program wires it, without a window: the
// engine and its worker on the system clock, for tests that copy to real Clients.
#include <atomic>
#include <chrono>
#include <string>

#include "support/controller_parts.h"
#include "support/image_files.h"
#include "transfer/copy_engine.h"
#include "transfer/copy_worker.h"

namespace kestrelon::test {

// The Transfer dialog, reduced to counting the engine's cancel requests.
struct CountingDialog : TransferDialogHooks {
  std::atomic<int> cancels{0};
  void set_progress_range(int, int) override {}
  void set_position(std::int32_t) override {}
  void request_cancel() override { ++cancels; }
};

class CopySide : public ControllerParts {
 public:
  CopySide() = default;
  CopySide(const CopySide&) = delete;
  CopySide& operator=(const CopySide&) = delete;
  ~CopySide();

  // Opens the Controller's endpoint on `address` and hands copy answers to the
  // engine. Call it inside the network namespace the endpoint belongs to.
  bool start_network(Ipv4Address address);
  // Lists a Client with one disk in the client table and makes it a target.
  void add_target(Ipv4Address address);
  // Copies `path` to every target: Copy start, the worker, until every target
  // is done or `limit` has passed; then stops the worker and multicasts
  // OP_ABORT. True when every target answered and reported done.
  bool copy(const std::string& path, std::chrono::milliseconds limit, CopyOptions options = {});

  CopyEngine engine{tables, locks, endpoints, ui, stats, SystemClock::instance()};
  CopyWorker worker{engine, locks.worker};
  CountingDialog dialog;
  TempDir dir;
  ImageFile image;
};

}  // namespace kestrelon::test
