#include "support/scripted_uploader.h"

#include <algorithm>

#include "support/datagrams.h"

namespace kestrelon::test {

namespace {

constexpr std::uint16_t kControlPort = 4747;
constexpr std::uint16_t kCreateRequest = 10, kCreateAck = 16, kCreateNak = 17, kAbort = 19;

std::uint16_t word16(const std::vector<std::uint8_t>& d, std::size_t at) {
  return d.size() >= at + 2 ? static_cast<std::uint16_t>((d[at] << 8) | d[at + 1]) : 0xFFFF;
}
std::uint32_t word32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return d.size() >= at + 4 ? (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) |
                                  (std::uint32_t{d[at + 2]} << 8) | d[at + 3]
                            : 0xFFFFFFFF;
}

}  // namespace

ScriptedUploader::ScriptedUploader(Ipv4Address address, Ipv4Address controller)
    : peer_(address, kControlPort), controller_(controller) {}

ScriptedUploader::~ScriptedUploader() { join(); }

void ScriptedUploader::start(Script script) {
  thread_ = std::thread([this, s = std::move(script)]() mutable { run(std::move(s)); });
}

void ScriptedUploader::join() {
  if (thread_.joinable()) thread_.join();
}

void ScriptedUploader::count_aborts_for(std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (aborts_ < 3 && std::chrono::steady_clock::now() < until) {
    if (auto r = peer_.receive(50); r && word16(r->bytes, 6) == kAbort) ++aborts_;
  }
}

void ScriptedUploader::run(Script s) {
  const auto request_until = std::chrono::steady_clock::now() + s.request_wait;
  while (!request_seen_ && std::chrono::steady_clock::now() < request_until) {
    auto r = peer_.receive(50);
    if (r && word16(r->bytes, 6) == kCreateRequest) {
      level_ = word16(r->bytes, 8);
      disk_ = word16(r->bytes, 10);
      flags_ = word16(r->bytes, 18);
      request_seen_ = true;
    }
  }
  if (!request_seen_) return;
  const auto blocks = static_cast<std::uint32_t>((s.stream.size() + s.packet - 1) / s.packet);
  const auto total_kib = static_cast<std::uint32_t>(s.stream.size() >> 10);
  std::uint32_t block = 0;
  int unanswered = 0;
  while (block < blocks && unanswered < 100) {
    if (block >= s.quiet_from) {
      count_aborts_for(std::chrono::seconds(20));
      return;
    }
    const std::size_t at = std::size_t{block} * s.packet;
    const std::vector<std::uint8_t> part(s.stream.begin() + static_cast<long>(at),
                                         s.stream.begin() + static_cast<long>(std::min(s.stream.size(), at + s.packet)));
    peer_.send(create_data_datagram(block, part, static_cast<std::uint32_t>(at >> 10), total_kib), controller_,
               kControlPort);
    ++sent_;
    const auto r = peer_.receive(100);
    if (!r) {
      ++unanswered;
      continue;
    }
    unanswered = 0;
    const std::uint16_t op = word16(r->bytes, 6);
    if (op == kAbort) {
      ++aborts_;
      count_aborts_for(std::chrono::milliseconds(500));
      return;
    }
    if (op == kCreateAck && word32(r->bytes, 8) == block) ++block;
    if (op == kCreateNak) block = word32(r->bytes, 8);
  }
  finished_ = block == blocks;
}

}  // namespace kestrelon::test
