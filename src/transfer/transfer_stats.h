#pragma once
// The statistics both transfers keep and both progress dialogs show. Engines on
// network threads write them; the user-interface thread reads them. Each field is
// one 32-bit value written by a single store.
#include <atomic>
#include <cstdint>
#include <optional>

namespace kestrelon {

inline constexpr int kProgressRange = 1000;

struct TransferStats {
  std::atomic<std::int32_t> acknowledgements{0};
  std::atomic<std::int32_t> retries{0};
  std::atomic<std::uint32_t> progress_done{0};   // KiB, the largest any Client reported
  std::atomic<std::uint32_t> progress_total{0};  // KiB, likewise
  std::atomic<std::uint32_t> progress_divisor{1};  // fixed once per transfer
  std::atomic<bool> divisor_fixed{false};
  std::atomic<std::int32_t> last_position{0};    // positions only grow

  // Counters shown by the dialogs, cleared when a dialog opens.
  void clear_counters();
  // Progress fields, cleared when an engine starts: divisor 1, position 0, done and total 0.
  void clear_progress();
  // Keeps the larger of the stored and the reported values.
  void report(std::uint32_t done_kib, std::uint32_t total_kib);
  // Fixes the divisor to total / 1000 (at least 1) the first time it is asked in a
  // transfer and returns true then; false afterwards. A flag, not the value 1,
  // marks it fixed, so a total below 2000 KiB does not fix it again and again.
  bool fix_divisor_if_unset();
  // The position done / divisor when it is larger than the last one (which it
  // then becomes); nullopt otherwise.
  std::optional<std::int32_t> next_position();
};

}  // namespace kestrelon
