#pragma once
// Packs the chunks of an image (the all-zero test, compression, checksum) on
// worker threads and hands them back in the order they were given, so an image built
// on every core has exactly the bytes of one built on a single thread: each
// chunk is packed from its own raw bytes alone, by the same steps.
//
// Driven by the ImageBuilder on the Client's event-loop thread: it reads raw
// chunks from the disk and submits them while there is room, then takes the
// oldest one, waiting for its worker when it is not packed yet.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/chunk_codec.h"
#include "image/image_layout.h"

namespace kestrelon::client {

struct PackSettings {
  int level = 0;               // 0 = stored; 1..9 (image::zstd_level)
  image::ChunkMethod method = image::kZstd;  // or kZlib, as images were made before zstd
  bool keep_zero_chunks = false;
};

struct RawChunk {
  image::ChunkHead head;       // partition, offset and raw length set
  std::vector<std::uint8_t> raw;
  std::string error;           // the disk could not be read here: nothing to pack
};

struct PackedChunk {
  bool left_out = false;       // all zeros, and zero chunks are not kept
  std::vector<std::uint8_t> bytes;  // chunk head and stored bytes
  std::string error;           // carried over from the raw chunk
};

// One chunk, packed on the calling thread with its compressor.
void pack_chunk(const RawChunk& raw, const PackSettings& settings, image::ChunkCompressor& compressor,
                PackedChunk& out);

class ChunkPacker {
 public:
  // `threads` workers; 1 or less packs on the caller's thread, in take().
  ChunkPacker(PackSettings settings, int threads);
  ~ChunkPacker();
  ChunkPacker(const ChunkPacker&) = delete;
  ChunkPacker& operator=(const ChunkPacker&) = delete;

  // How many chunks may wait at once: enough to keep every worker busy while the
  // oldest is being taken.
  std::size_t capacity() const { return slots_.size(); }
  std::size_t pending() const { return count_; }
  bool full() const { return count_ == slots_.size(); }

  // Takes the chunk's bytes (the vector is swapped, so its buffer is reused).
  // Only while !full().
  void submit(RawChunk& chunk);
  // The oldest submitted chunk, packed. Only while pending() > 0.
  void take(PackedChunk& out);

  // Workers for `threads` given as 0: one per core.
  static int default_threads();

 private:
  enum class State { empty, waiting, packing, packed };
  struct Slot {
    State state = State::empty;
    RawChunk raw;
    PackedChunk packed;
  };
  void work();

  const PackSettings settings_;
  std::unique_ptr<image::ChunkCompressor> own_compressor_;  // packing in take(), without workers
  std::vector<Slot> slots_;  // a ring: the oldest at head_
  std::size_t head_ = 0;
  std::size_t count_ = 0;    // slots between submit and take; changed by the driver only
  std::mutex mutex_;
  std::condition_variable work_ready_, chunk_packed_;
  std::size_t next_to_claim_ = 0;  // ring index of the oldest waiting slot
  std::size_t waiting_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace kestrelon::client
