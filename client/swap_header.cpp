#include "swap_header.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "net/byte_order.h"

namespace kestrelon::client {
namespace {

// The version 1 header after the 1024 bytes kept for a boot loader.
constexpr std::size_t kVersion = 1024, kLastPage = 1028, kBadPages = 1032, kUuid = 1036, kLabel = 1052;
constexpr std::size_t kFieldsEnd = kLabel + 16;
constexpr char kSignature[] = "SWAPSPACE2";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;
// Fewer pages than this hold no usable swap (the kernel refuses them).
constexpr std::uint64_t kMinPages = 10;

}  // namespace

bool remake_swap_header(std::span<std::uint8_t> head, std::size_t page_size, std::uint64_t partition_bytes) {
  if (page_size < 4096 || head.size() < page_size ||
      std::memcmp(head.data() + page_size - kSignatureLength, kSignature, kSignatureLength) != 0) {
    return false;
  }
  const std::uint64_t pages = partition_bytes / page_size;
  if (pages < kMinPages || pages - 1 > UINT32_MAX) return false;
  std::array<std::uint8_t, 32> kept{};  // UUID and label
  std::copy_n(head.begin() + kUuid, kept.size(), kept.begin());
  std::fill(head.begin() + kVersion, head.begin() + static_cast<long>(page_size - kSignatureLength), 0);
  write_le32(head, kVersion, 1);
  write_le32(head, kLastPage, static_cast<std::uint32_t>(pages - 1));
  write_le32(head, kBadPages, 0);
  std::copy(kept.begin(), kept.end(), head.begin() + kUuid);
  static_assert(kUuid + 32 == kFieldsEnd);
  return true;
}

}  // namespace kestrelon::client
