#include "transfer/transfer_texts.h"

#include <cmath>
#include <cstdio>

namespace kestrelon {

std::string clock_text(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

std::int64_t time_left_seconds(std::int64_t elapsed, std::int32_t position) {
  if (position <= 0) return 0;
  const double t = static_cast<double>(elapsed) * (1000.0 / position - 1.0);
  return t < 0 ? 0 : static_cast<std::int64_t>(std::trunc(t));
}

std::string rate_text(std::uint32_t done_kib, std::int64_t elapsed) {
  const double rate = elapsed == 0 ? 0.0 : (done_kib / 1024.0) / (static_cast<double>(elapsed) / 60.0);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f Mb/min", rate);
  return buf;
}

int percentage(std::uint32_t done_kib, std::uint32_t total_kib) {
  if (total_kib == 0) return 100;
  const double p = std::trunc(static_cast<double>(done_kib) / total_kib * 100.0);
  return (p < 0 || p > 100) ? 100 : static_cast<int>(p);
}

std::string percentage_text(std::uint32_t done_kib, std::uint32_t total_kib) {
  return std::to_string(percentage(done_kib, total_kib)) + "%";
}

std::string megabytes_text(std::uint32_t total_kib) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", total_kib / 1024.0);
  return buf;
}

std::string copy_file_text(const std::string& file_name, std::uint32_t total_kib) {
  return file_name + "  (" + megabytes_text(total_kib) + " Mb)";
}

std::string receive_file_text(const std::string& file_name, std::uint32_t total_kib, bool compressed) {
  return file_name + "  (" + megabytes_text(total_kib) + " Mb" + (compressed ? " compressed)" : ")");
}

std::string count_text(std::int32_t count) { return std::to_string(count); }

std::string acker_text(bool acker_designated, const std::optional<AckerTarget>& target) {
  if (!acker_designated) return kWorkingText;
  if (!target) return {};
  return target->name + " (" + target->address.padded_text() + ")";
}

bool RefreshGate::take(std::int32_t position) {
  if (position == shown_) return false;
  shown_ = position;
  return true;
}

RefreshTexts refresh_texts(const RefreshInputs& in) {
  RefreshTexts t;
  t.bar_position = in.position;
  t.elapsed = clock_text(in.elapsed_seconds);
  t.percentage = percentage_text(in.done_kib, in.total_kib);
  t.time_left = clock_text(time_left_seconds(in.elapsed_seconds, in.position));
  t.rate = rate_text(in.done_kib, in.elapsed_seconds);
  t.acknowledgements = count_text(in.acknowledgements);
  t.retries = count_text(in.retries);
  return t;
}

}  // namespace kestrelon
