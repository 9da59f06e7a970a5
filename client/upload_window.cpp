#include "upload_window.h"

#include <algorithm>

namespace kestrelon::client {

namespace {
constexpr std::uint32_t kSmallest = 8;
constexpr std::uint32_t kFirst = 16;
}  // namespace

UploadWindow::UploadWindow(std::uint32_t largest)
    : largest_(std::max<std::uint32_t>(largest, 1)),
      size_(std::min(kFirst, largest_)),
      threshold_(largest_) {}

std::uint32_t UploadWindow::smallest() const { return std::min(kSmallest, largest_); }

void UploadWindow::taken(std::uint32_t blocks) {
  // One block more per block taken doubles the window in a round trip; one
  // block per window's worth adds one per round trip.
  size_ += size_ < threshold_ ? blocks : blocks / size_;
  size_ = std::min<double>(size_, largest_);
}

void UploadWindow::lost() {
  threshold_ = std::max<double>(size_ / 2, smallest());
  size_ = threshold_;
}

void UploadWindow::timed_out() {
  threshold_ = std::max<double>(size_ / 2, smallest());
  size_ = smallest();
}

}  // namespace kestrelon::client
