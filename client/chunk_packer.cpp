#include "chunk_packer.h"

#include <algorithm>

namespace kestrelon::client {

void pack_chunk(const RawChunk& raw, const PackSettings& settings, image::ChunkCompressor& compressor,
                PackedChunk& out) {
  out.bytes.clear();
  out.error = raw.error;
  out.left_out = false;
  if (!raw.error.empty()) return;
  if (!settings.keep_zero_chunks && image::all_zero(raw.raw)) {
    out.left_out = true;
    return;
  }
  compressor.pack(raw.head, raw.raw, out.bytes);
}

int ChunkPacker::default_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 64u));
}

ChunkPacker::ChunkPacker(PackSettings settings, int threads) : settings_(settings) {
  const int workers = threads > 1 ? threads : 0;
  if (workers == 0) own_compressor_ = std::make_unique<image::ChunkCompressor>(settings.method, settings.level);
  // Two chunks a worker: one being packed, one waiting for it.
  slots_.resize(workers > 0 ? static_cast<std::size_t>(2 * workers) : 1);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

ChunkPacker::~ChunkPacker() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ChunkPacker::submit(RawChunk& chunk) {
  const std::size_t at = (head_ + count_) % slots_.size();
  Slot& slot = slots_[at];
  slot.raw.head = chunk.head;
  slot.raw.raw.swap(chunk.raw);
  slot.raw.error.swap(chunk.error);
  ++count_;
  if (workers_.empty()) {
    slot.state = State::waiting;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    slot.state = State::waiting;
    if (waiting_++ == 0) next_to_claim_ = at;
  }
  work_ready_.notify_one();
}

void ChunkPacker::take(PackedChunk& out) {
  Slot& slot = slots_[head_];
  if (workers_.empty()) {
    pack_chunk(slot.raw, settings_, *own_compressor_, slot.packed);
  } else {
    std::unique_lock lock(mutex_);
    chunk_packed_.wait(lock, [&] { return slot.state == State::packed; });
  }
  slot.state = State::empty;
  std::swap(out, slot.packed);
  head_ = (head_ + 1) % slots_.size();
  --count_;
}

void ChunkPacker::work() {
  image::ChunkCompressor compressor(settings_.method, settings_.level);
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return stopping_ || waiting_ > 0; });
    if (stopping_) return;
    // Slots are submitted in ring order, so the oldest waiting one is claimed first.
    Slot& slot = slots_[next_to_claim_];
    slot.state = State::packing;
    next_to_claim_ = (next_to_claim_ + 1) % slots_.size();
    --waiting_;
    lock.unlock();
    pack_chunk(slot.raw, settings_, compressor, slot.packed);
    lock.lock();
    slot.state = State::packed;
    chunk_packed_.notify_all();
  }
}

}  // namespace kestrelon::client
