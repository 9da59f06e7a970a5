#pragma once
// Where the bytes of a received copy go, in order: a file kept byte for byte, or
// a disk restored from this Client's image layout (image_restorer.h).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "net/wire_format.h"

namespace kestrelon::client {

// What the Controller asked for beyond the image, done once the copy is whole.
struct AfterCopyOrders {
  std::string computer_name;  // empty: the copied systems keep their names
  bool unique_sid = false;    // "Create Unique NT SID" was on
};

// What was done after the copy: one log line each (growth's first, then the
// names'), and how the naming went.
struct AfterCopyReport {
  std::vector<std::string> lines;
  wire::NamingOutcome naming = wire::NamingOutcome::not_asked;
};

class CopySink {
 public:
  virtual ~CopySink() = default;
  // The next bytes of the image; false (see error()) when they cannot be used.
  virtual bool consume(std::span<const std::uint8_t> bytes) = 0;
  // Every byte of the image has been consumed.
  virtual bool finish() = 0;
  // The copy ended before its end.
  virtual void abandon() = 0;
  // The Controller has taken the copy as done: work that may take long and must
  // not hold up the answer.
  virtual AfterCopyReport after_done(const AfterCopyOrders& /*orders*/) { return {}; }
  // What the Controller should hear of the copy beside its completion (what the
  // restore did to the layout), one fact a line; known once finish() succeeded.
  virtual std::vector<std::string> done_report() const { return {}; }
  virtual const std::string& error() const = 0;
  // Whether the image must be this Client's own layout (a restore needs it).
  virtual bool needs_own_layout() const = 0;
  virtual std::string where() const = 0;
};

// Keeps the image as DIR/NAME: written to NAME.part (never through a symbolic
// link there) and renamed when complete, removed when abandoned. The name is the
// file name the Controller sent, with anything that could leave the folder
// replaced. Bytes are gathered into large writes: one system call per 1350-byte
// block would cost more than receiving it.
class StoreSink final : public CopySink {
 public:
  static std::unique_ptr<StoreSink> open(const std::string& dir, const std::string& name, std::string* error);
  ~StoreSink() override;
  bool consume(std::span<const std::uint8_t> bytes) override;
  bool finish() override;
  void abandon() override;
  const std::string& error() const override { return error_; }
  bool needs_own_layout() const override { return false; }
  std::string where() const override { return path_; }

 private:
  static constexpr std::size_t kWriteSize = 1 << 20;
  StoreSink(std::string path, int fd) : path_(std::move(path)), fd_(fd) { pending_.reserve(kWriteSize); }
  bool write_all(std::span<const std::uint8_t> bytes);
  bool flush();
  std::string path_;
  int fd_ = -1;
  std::vector<std::uint8_t> pending_;  // consumed, not yet written
  std::string error_;
};

// A file name that stays inside its folder: no slashes, not "." or "..".
std::string safe_file_name(const std::string& name);

}  // namespace kestrelon::client
