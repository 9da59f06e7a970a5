#pragma once
// The texts the Transfer and Receiving dialogs show on each refresh, as pure
// functions of the statistics, so both dialogs, the command line's progress line
// and the tests compute them the same way.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ipv4_address.h"

namespace kestrelon {

// "%H:%M:%S" of a number of seconds: hours, minutes and seconds, two digits each.
// Hours are not wrapped at 24: an estimate of 30 hours reads "30:00:00", not
// "06:00:00". Negative values read as 0.
std::string clock_text(std::int64_t seconds);

// Time left in seconds after `elapsed` seconds at progress `position` (of 1000):
// elapsed x (1000 / position - 1), truncated toward zero; 0 when the position is
// not above 0 or the estimate is negative.
std::int64_t time_left_seconds(std::int64_t elapsed, std::int32_t position);

// (done KiB / 1024) / (elapsed / 60) as "%.1f Mb/min"; the rate is 0 when no time has passed.
std::string rate_text(std::uint32_t done_kib, std::int64_t elapsed);

// done / total x 100, truncated toward zero; 100 when it cannot be computed (total
// 0) or falls outside 0..100.
int percentage(std::uint32_t done_kib, std::uint32_t total_kib);
std::string percentage_text(std::uint32_t done_kib, std::uint32_t total_kib);

// "%.1f" of (total KiB / 1024), the size the dialogs show after the file name.
std::string megabytes_text(std::uint32_t total_kib);
// Transfer: name + "  (" + size + " Mb)".
std::string copy_file_text(const std::string& file_name, std::uint32_t total_kib);
// Receiving: name + "  (" + size + " Mb" + " compressed)" when compressed, else ")".
std::string receive_file_text(const std::string& file_name, std::uint32_t total_kib, bool compressed);

// "%ld" of a counter.
std::string count_text(std::int32_t count);

// The acknowledging Client as the Transfer dialog shows it. Before any OP_ACKER,
// "Working..."; afterwards the matching target's name + " (" + padded address +
// ")", or the empty text when no target matches.
struct AckerTarget {
  std::string name;
  Ipv4Address address;
};
std::string acker_text(bool acker_designated, const std::optional<AckerTarget>& target);
inline constexpr const char* kWorkingText = "Working...";

// One refresh of a progress dialog: what every control shows.
struct RefreshTexts {
  std::int32_t bar_position = 0;  // the progress bar (0..1000; more keeps it full)
  std::string elapsed;            // control 1044
  std::string file;               // control 1082
  std::string percentage;         // control 1081
  std::string time_left;          // control 1043
  std::string rate;               // control 1084
  std::string acknowledgements;   // control 1079
  std::string retries;            // control 1080
  std::string client;             // control 1078
};

struct RefreshInputs {
  std::int32_t position = 0;
  std::int64_t elapsed_seconds = 0;
  std::uint32_t done_kib = 0;
  std::uint32_t total_kib = 0;
  std::int32_t acknowledgements = 0;
  std::int32_t retries = 0;
};

// The refresh's gate: texts change only when the engine has moved the position
// since the last refresh (so even the elapsed time stands still otherwise).
class RefreshGate {
 public:
  // True, and the position becomes the shown one, when it differs from it.
  bool take(std::int32_t position);
  std::int32_t shown() const { return shown_; }

 private:
  std::int32_t shown_ = -1;
};

// Every text but the file and client ones, which differ between the dialogs and
// which the caller fills in.
RefreshTexts refresh_texts(const RefreshInputs& in);

}  // namespace kestrelon
