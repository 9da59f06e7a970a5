#include "image/image_reader.h"

#include <algorithm>

namespace kestrelon::client::image {

ImageReader::ImageReader(Handler& handler) : handler_(handler) {}

bool ImageReader::fail(std::string why) {
  error_ = std::move(why);
  failed_ = true;
  return false;
}

bool ImageReader::stop() {
  failed_ = true;
  return false;
}

bool ImageReader::feed(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (failed_) return false;
    if (stage_ == Stage::ended) return fail("the image has bytes after its end chunk");
    const std::size_t take = std::min(bytes.size(), wanted_ - pending_.size());
    pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
    bytes = bytes.subspan(take);
    position_ += take;
    if (pending_.size() < wanted_) continue;
    const bool ok = stage_ == Stage::header       ? take_header()
                    : stage_ == Stage::chunk_head ? take_chunk_head()
                                                  : take_chunk_body();
    if (!ok) return false;
  }
  return !failed_;
}

bool ImageReader::finish() {
  if (failed_) return false;
  if (stage_ != Stage::ended) {
    return fail("the image ended before its end chunk (after " + std::to_string(chunks_) + " chunks, at byte " +
                std::to_string(position_) + ")");
  }
  return true;
}

std::string ImageReader::chunk_name() const {
  return "chunk " + std::to_string(chunks_ + 1) + " (at byte " + std::to_string(head_at_) + " of the image)";
}

bool ImageReader::take_header() {
  const HeaderParse parsed = parse_header(pending_);
  if (parsed.state == HeaderParse::State::invalid) return fail(parsed.error);
  if (parsed.state == HeaderParse::State::need_more) {
    wanted_ = parsed.needed;
    return true;
  }
  header_ = parsed.header;
  area_end_.assign(header_.areas.size(), 0);
  pending_.clear();
  stage_ = Stage::chunk_head;
  wanted_ = kChunkHeadSize;
  head_at_ = position_;
  return handler_.on_header(header_) || stop();
}

bool ImageReader::take_chunk_head() {
  std::string why;
  const auto head = decode_chunk_head(pending_, header_.version, &why);
  if (!head) return fail(chunk_name() + ": " + why);
  head_ = *head;
  std::copy(pending_.begin(), pending_.end(), head_bytes_.begin());
  pending_.clear();
  if (head_.is_end()) {
    if (!checksum_matches(header_.version, head_bytes_, head_, {})) return fail("the end chunk fails its checksum");
    if (header_.version >= 3 && head_.offset != chunks_) {
      return fail("the image holds " + std::to_string(chunks_) + " chunks, but its end chunk counts " +
                  std::to_string(head_.offset) + ": chunks are missing or left over");
    }
    stage_ = Stage::ended;
    wanted_ = 0;
    return true;
  }
  if (head_.partition >= header_.areas.size()) return fail(chunk_name() + " names an area the image lacks");
  const std::uint64_t size = header_.areas[head_.partition].sectors * 512;
  if (head_.offset < area_end_[head_.partition] || head_.offset > size || head_.raw_length > size - head_.offset) {
    return fail(chunk_name() + " lies outside its area or out of order");
  }
  stage_ = Stage::chunk_body;
  wanted_ = head_.stored_length;
  return true;
}

bool ImageReader::take_chunk_body() {
  std::string why;
  if (!expander_.expand(head_, pending_, raw_, &why)) return fail(chunk_name() + " is damaged: " + why);
  if (!checksum_matches(header_.version, head_bytes_, head_, raw_)) {
    return fail(chunk_name() + " is damaged: it fails its checksum");
  }
  const Chunk chunk{chunks_ + 1, head_at_, head_, raw_};
  area_end_[head_.partition] = head_.offset + head_.raw_length;
  ++chunks_;
  pending_.clear();
  stage_ = Stage::chunk_head;
  wanted_ = kChunkHeadSize;
  head_at_ = position_;
  return handler_.on_chunk(chunk) || stop();
}

}  // namespace kestrelon::client::image
