#include "transfer/transfer_stats.h"

namespace kestrelon {

void TransferStats::clear_counters() {
  acknowledgements.store(0);
  retries.store(0);
}

void TransferStats::clear_progress() {
  last_position.store(0);
  progress_divisor.store(1);
  divisor_fixed.store(false);
  progress_done.store(0);
  progress_total.store(0);
}

void TransferStats::report(std::uint32_t done_kib, std::uint32_t total_kib) {
  if (done_kib > progress_done.load()) progress_done.store(done_kib);
  if (total_kib > progress_total.load()) progress_total.store(total_kib);
}

bool TransferStats::fix_divisor_if_unset() {
  if (divisor_fixed.load()) return false;
  divisor_fixed.store(true);
  const std::uint32_t d = progress_total.load() / kProgressRange;
  progress_divisor.store(d == 0 ? 1 : d);
  return true;
}

std::optional<std::int32_t> TransferStats::next_position() {
  const auto value = static_cast<std::int32_t>(progress_done.load() / progress_divisor.load());
  if (value <= last_position.load()) return std::nullopt;
  last_position.store(value);
  return value;
}

}  // namespace kestrelon
