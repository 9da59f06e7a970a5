#pragma once
// TEST HELPER ONLY: the Controller's rules for the upload stream (accepting
// OP_CREATE_DATA blocks in order into a 32,764-byte stream buffer, consuming
// REC_DATA / REC_MARK / REC_SEEK_MARK / REC_SWAP_MARK with its link patch /
// REC_END, and the description written over the first data from byte 256), kept
// small so the Client's uploads can be checked before the Controller's receive
// engine exists. When that engine lands, these tests drive it instead and this
// file goes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "net/byte_order.h"

namespace kestrelon::test {

class StreamRulesForTest {
 public:
  static constexpr std::size_t kBuffer = 32764;
  explicit StreamRulesForTest(std::string description = {}, std::int64_t total_bytes = 0)
      : description_(std::move(description)), total_(total_bytes), remaining_(total_bytes) {}

  // True: acknowledge the block; false: refuse it (ask for `expected()`).
  bool accept(std::uint32_t block, std::span<const std::uint8_t> data) {
    if (block == 0) armed_ = false;
    if (block != expected_) return block + 1 == expected_;
    if (buffered_.size() + data.size() > kBuffer) {
      ++refused_for_space_;
      return false;
    }
    buffered_.insert(buffered_.end(), data.begin(), data.end());
    peak_ = std::max(peak_, buffered_.size());
    consume();
    ++expected_;
    return true;
  }
  bool ended() const { return ended_; }
  std::uint32_t expected() const { return expected_; }
  const std::vector<std::uint8_t>& file() const { return file_; }
  std::size_t peak_buffered() const { return peak_; }
  int refused_for_space() const { return refused_for_space_; }
  int link_patches() const { return patches_; }
  int unknown_records() const { return unknown_; }

 private:
  void write(std::span<const std::uint8_t> data) {
    if (file_.size() < position_ + data.size()) file_.resize(position_ + data.size(), 0);
    std::copy(data.begin(), data.end(), file_.begin() + static_cast<long>(position_));
    position_ += data.size();
  }
  void consume() {
    while (!ended_ && buffered_.size() >= 8) {
      const std::uint16_t type = read_be16(buffered_, 6);
      std::size_t used = 8;
      if (type == 11) {
        if (buffered_.size() < 10) return;
        const auto length = static_cast<std::int16_t>(read_le16(buffered_, 8));
        if (length < 0 || buffered_.size() < 10u + static_cast<std::size_t>(length)) return;
        std::vector<std::uint8_t> data(buffered_.begin() + 10, buffered_.begin() + 10 + length);
        if (armed_ && data.size() >= 8) {
          armed_ = false;
          write_le32(data, 4, static_cast<std::uint32_t>(remembered_));
          ++patches_;
        }
        if (remaining_ == total_ && data.size() > 256) {
          const std::size_t n = std::min(description_.size(), data.size() - 256);
          std::memcpy(data.data() + 256, description_.data(), n);
        }
        write(data);
        remaining_ -= length;
        used = 10u + static_cast<std::size_t>(length);
      } else if (type == 12) {
        remembered_ = position_;
      } else if (type == 13) {
        position_ = remembered_;
      } else if (type == 15) {
        std::swap(position_, remembered_);
        armed_ = true;
      } else if (type == 14) {
        ended_ = true;
        armed_ = false;
        buffered_.clear();
        return;
      } else {
        ++unknown_;
        return;
      }
      buffered_.erase(buffered_.begin(), buffered_.begin() + static_cast<long>(used));
    }
  }

  std::string description_;
  std::int64_t total_, remaining_;
  std::vector<std::uint8_t> buffered_;
  std::vector<std::uint8_t> file_;
  std::size_t position_ = 0, remembered_ = 0, peak_ = 0;
  std::uint32_t expected_ = 0;
  bool armed_ = false, ended_ = false;
  int refused_for_space_ = 0, patches_ = 0, unknown_ = 0;
};

}  // namespace kestrelon::test
