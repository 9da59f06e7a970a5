#pragma once
// The record of every Copy and Create, from the window or the command line: one
// JSON object per line, appended to $XDG_STATE_HOME/kestrelon/transfers.jsonl (or
// ~/.local/state/kestrelon/transfers.jsonl). The command flows append after a
// transfer has ended; `kestrelon-cli history` reads it back.
//
// Writing it never delays or fails a transfer: a line goes out in one append
// write, a path that is not a plain file (a FIFO without reader) is not waited
// for, and every failure is only reported back as false.
#include <filesystem>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace kestrelon {

using JournalRecord = nlohmann::ordered_json;

class TransferJournal {
 public:
  static constexpr const char* kFileName = "transfers.jsonl";

  // An empty path: a journal that records nothing (no home folder is known).
  explicit TransferJournal(std::filesystem::path file) : file_(std::move(file)) {}
  // The file chosen by the environment; empty when no state or home folder is known.
  static std::filesystem::path default_file();

  const std::filesystem::path& file() const { return file_; }

  // Appends `record` as one line; its folder is made when missing. False when it
  // could not be written. Never throws.
  bool append(const JournalRecord& record) const noexcept;

  struct Contents {
    std::vector<JournalRecord> records;  // in file order
    int unreadable = 0;                  // lines that are not a JSON object, skipped
    bool missing = false;                // there is no journal yet
  };
  // Reads every record. A file that cannot be read counts as missing.
  Contents read() const;

 private:
  std::filesystem::path file_;
};

}  // namespace kestrelon
