#pragma once
// The record of every Copy and Create, from the window or the command line: one
// JSON object per line, appended to $XDG_STATE_HOME/kestrelon/transfers.jsonl (or
// ~/.local/state/kestrelon/transfers.jsonl). The command flows append after a
// transfer has ended; `kestrelon-cli history` reads it back.
//
// Writing it never delays or fails a transfer, and never loses a record it has
// written: a line goes out whole in one append write, or the file is cut back to
// where it was; a line left cut by a program that died while writing is repaired
// before the next one is added; the writers of the window and the command line
// take turns through a lock on the file (not waited for long). A line that cannot
// be written is reported to the warning sink. Past kRotateBytes the file becomes
// "transfers.jsonl.1" (replacing an older one) and a new file begins, so reading
// it back from the end costs what is read, not the journal's whole history. The
// files are the user's own (mode 0600).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace kestrelon {

using JournalRecord = nlohmann::ordered_json;

class TransferJournal {
 public:
  static constexpr const char* kFileName = "transfers.jsonl";
  static constexpr std::uintmax_t kRotateBytes = 8 << 20;

  // An empty path: a journal that records nothing (no home folder is known).
  explicit TransferJournal(std::filesystem::path file) : file_(std::move(file)) {}
  // The file chosen by the environment; empty when no state or home folder is known.
  static std::filesystem::path default_file();

  const std::filesystem::path& file() const { return file_; }
  // Where the older lines go at rotation.
  std::filesystem::path older_file() const;

  // Who hears that a line could not be written (the user), with a text that says
  // which file and why.
  using WarningSink = std::function<void(const std::string&)>;
  void set_warning_sink(WarningSink sink) { warning_ = std::move(sink); }

  // Appends `record` as one line; its folder is made when missing. False when it
  // could not be written (the warning sink has been told, unless no file is
  // known). Never throws.
  bool append(const JournalRecord& record) const noexcept;

  struct Contents {
    std::vector<JournalRecord> records;  // in file order
    int unreadable = 0;                  // lines that are not a JSON object, skipped
    bool missing = false;                // there is no journal yet
  };
  // Reads every record, the older file's first. A file that cannot be read counts
  // as missing.
  Contents read() const;
  // The last `count` records (all when 0), in file order, read from the end.
  Contents read_last(std::size_t count) const;

 private:
  bool fail(const std::string& why) const;

  std::filesystem::path file_;
  WarningSink warning_;
};

}  // namespace kestrelon
