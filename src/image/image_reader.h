#pragma once
// Reads an image of the Client's layout as its bytes come, in slices of any
// size: first the header, then each chunk, expanded and checked against its
// checksum before it is handed on, so that nothing of a damaged chunk is ever
// used. The first fault ends the reading, with a reason that names the chunk
// (its number, counted from 1, and the image byte where it starts).
//
// Driven by the Client's restorer (which writes what it is handed onto a disk)
// and by `kestrelon-cli info --verify` (which only counts). Every version of
// the layout is read here; what differs between them is in image_layout.* and
// chunk_codec.*.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/chunk_codec.h"
#include "image/image_layout.h"

namespace kestrelon::client::image {

class ImageReader {
 public:
  struct Chunk {
    std::uint64_t number = 0;  // from 1
    std::uint64_t at = 0;      // the image byte where its head starts
    ChunkHead head;
    std::span<std::uint8_t> raw;  // expanded; the handler may change them
  };
  class Handler {
   public:
    virtual ~Handler() = default;
    // False stops the reading; the handler knows why, and error() stays empty.
    virtual bool on_header(const ImageHeader& header) = 0;
    virtual bool on_chunk(const Chunk& chunk) = 0;
  };

  explicit ImageReader(Handler& handler);

  // The next bytes of the image. False once the image has shown a fault or the
  // handler has stopped it.
  bool feed(std::span<const std::uint8_t> bytes);
  // No more bytes come: false unless the end chunk has been read.
  bool finish();

  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  bool ended() const { return stage_ == Stage::ended; }
  // Image bytes taken so far, and data chunks read.
  std::uint64_t position() const { return position_; }
  std::uint64_t chunks() const { return chunks_; }
  const ImageHeader& header() const { return header_; }

 private:
  enum class Stage { header, chunk_head, chunk_body, ended };
  bool fail(std::string why);
  bool stop();
  bool take_header();
  bool take_chunk_head();
  bool take_chunk_body();
  std::string chunk_name() const;

  Handler& handler_;
  Stage stage_ = Stage::header;
  bool failed_ = false;
  std::string error_;
  std::vector<std::uint8_t> pending_;  // bytes of the part being assembled
  std::size_t wanted_ = 38;            // bytes that part needs
  std::uint64_t position_ = 0;         // image bytes taken, pending_ included
  ImageHeader header_;
  std::vector<std::uint64_t> area_end_;  // per area: the end of the last chunk
  std::array<std::uint8_t, kChunkHeadSize> head_bytes_{};
  ChunkHead head_;
  std::uint64_t head_at_ = 0;
  std::uint64_t chunks_ = 0;
  ChunkExpander expander_;
  std::vector<std::uint8_t> raw_;
};

}  // namespace kestrelon::client::image
