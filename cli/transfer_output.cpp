#include "transfer_output.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "client_choice.h"
#include "json_text.h"
#include "model/client_row_text.h"
#include "text_table.h"

namespace kestrelon::cli {

namespace {

std::string time_now() {
  const std::string stamp = local_time_text(wall_clock_ms());  // "2024-05-01T02:00:03+02:00"
  return stamp.substr(11, 8);
}

std::string megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

double rate_mbps(const ProgressFacts& p) {
  return p.elapsed_seconds > 0 ? static_cast<double>(p.done_bytes) / p.elapsed_seconds / 1e6 : 0.0;
}

std::string who(const TargetState& t) {
  return printable(t.name) + (t.address.is_zero() ? "" : " (" + t.address.text() + ")");
}

}  // namespace

void TransferOutput::emit(const std::string& line) {
  line_.clear();
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void TransferOutput::client(const TargetState& t) {
  if (json_) {
    Json event{{"event", "client"}, {"time", local_time_text(wall_clock_ms())}};
    event.update(target_record(t));
    emit(json_text(event));
    return;
  }
  emit(time_now() + "  " + who(t) + ": " + step_text(t.step) + (t.reason.empty() ? "" : ": " + printable(t.reason)));
  for (const std::string& line : t.report) emit(time_now() + "  " + who(t) + ": " + printable(line));
}

void TransferOutput::progress(const ProgressFacts& p) {
  if (line_.on_terminal()) {
    line_.show({p.texts.percentage,
                p.total_bytes ? megabytes(p.done_bytes) + " of " + megabytes(p.total_bytes) + " MB" : "",
                megabytes(static_cast<std::uint64_t>(rate_mbps(p) * 1e6)) + " MB/s", "left " + p.texts.time_left,
                "elapsed " + p.texts.elapsed, "acks " + p.texts.acknowledgements, "retries " + p.texts.retries,
                printable(p.texts.client)});
  }
  if (p.total_bytes == 0 || (line_.on_terminal() && !json_)) return;
  const int tenth = static_cast<int>(std::min<std::uint64_t>(p.done_bytes * 10 / p.total_bytes, 10));
  if (tenth <= last_tenth_) return;
  last_tenth_ = tenth;
  if (json_) {
    emit(json_text(Json{{"event", "progress"},
                        {"time", local_time_text(wall_clock_ms())},
                        {"percent", tenth * 10},
                        {"bytes_done", p.done_bytes},
                        {"bytes_total", p.total_bytes},
                        {"rate_mbps", static_cast<double>(static_cast<long long>(rate_mbps(p) * 100 + 0.5)) / 100}}));
  } else {
    emit(time_now() + "  progress " + std::to_string(tenth * 10) + "%  " + megabytes(p.done_bytes) + " of " +
         megabytes(p.total_bytes) + " MB  " + megabytes(static_cast<std::uint64_t>(rate_mbps(p) * 1e6)) + " MB/s");
  }
}

void TransferOutput::message(const std::string& text) {
  line_.clear();
  std::fprintf(stderr, "kestrelon: %s\n", text.c_str());
  if (json_) emit(json_text(Json{{"event", "message"}, {"time", local_time_text(wall_clock_ms())}, {"text", text}}));
}

void TransferOutput::rows(const std::string& title, const std::vector<ClientRowFields>& rows) {
  if (json_) return;
  std::string out = title + ":";
  for (const auto& r : rows) {
    char line[256];
    std::snprintf(line, sizeof line, "\n  %-24s %s  %d disk(s)  %s", printable(r.name).c_str(), r.address.c_str(),
                  r.disk_count, target_text(r.disk_index, r.size_mb).c_str());
    out += line;
  }
  emit(out);
}

void TransferOutput::text(const std::string& line) {
  if (!json_) emit(line);
}

void TransferOutput::naming(const NamedTarget& t) {
  if (json_) {
    Json event{{"event", "name"}, {"name", t.name}, {"address", t.address.text()}};
    if (t.computer_name.empty()) {
      event["why_none"] = t.why_none;
    } else {
      event["computer_name"] = t.computer_name;
    }
    emit(json_text(event));
    return;
  }
  emit(time_now() + "  " + printable(t.name) + " (" + t.address.text() + "): " +
       (t.computer_name.empty() ? "no computer name: " + printable(t.why_none)
                                : "to be named " + t.computer_name + " after the copy"));
}

void TransferOutput::after_copy(const JournalRecord& record) {
  if (json_) {
    Json event{{"event", "after_copy"}};
    event.update(record);
    emit(json_text(event));
    return;
  }
  const auto text = [](const JournalRecord& o, const char* key) {
    const auto it = o.find(key);
    return it != o.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  for (const JournalRecord& t : record.value("targets", JournalRecord::array())) {
    std::string reason = text(t, "reason");
    std::replace(reason.begin(), reason.end(), '\n', ';');
    emit(time_now() + "  " + printable(text(t, "name")) + " (" + text(t, "address") + "), " +
         text(t, "computer_name") + ": " + text(t, "outcome") + (reason.empty() ? "" : ": " + printable(reason)));
  }
}

void TransferOutput::summary(const JournalFacts& facts) {
  if (json_) {
    Json event{{"event", "summary"}};
    event.update(journal_record(facts));
    emit(json_text(event));
    return;
  }
  if (facts.targets.empty()) return;
  std::vector<std::vector<std::string>> cells{{"Name", "Address", "Outcome", "Reason"}};
  for (const TargetState& t : facts.targets) {
    cells.push_back({printable(t.name), t.address.is_zero() ? "-" : t.address.text(), step_text(t.step),
                     printable(t.reason)});
  }
  const std::string out = text_table(cells);
  emit(out);
}

}  // namespace kestrelon::cli
