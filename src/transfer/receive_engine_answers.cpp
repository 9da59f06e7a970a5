#include "transfer/receive_engine_answers.h"

#include "net/byte_order.h"

namespace kestrelon::answers_on_request {

void write_offer(std::span<std::uint8_t> request) {
  write_be16(request, kOfferOffset, static_cast<std::uint16_t>(read_be16(request, kOfferOffset) | kOfferBit));
}

bool offered(std::span<const std::uint8_t> request) {
  return request.size() >= kOfferOffset + 2 && (read_be16(request, kOfferOffset) & kOfferBit) != 0;
}

void write_tail(std::span<std::uint8_t> at, const Tail& tail) {
  write_be16(at, 0, wire::kMagic);
  write_be16(at, 2, static_cast<std::uint16_t>(kTailTaken | (tail.answer_this ? kTailAnswerThis : 0)));
  write_be32(at, 4, tail.send_number);
}

std::optional<Tail> read_tail(std::span<const std::uint8_t> after_data) {
  if (after_data.size() < kTailLength || read_be16(after_data, 0) != wire::kMagic) return std::nullopt;
  const std::uint16_t flags = read_be16(after_data, 2);
  if ((flags & kTailTaken) == 0) return std::nullopt;
  return Tail{(flags & kTailAnswerThis) != 0, read_be32(after_data, 4)};
}

std::array<std::uint8_t, kAnswerLength> build_answer(wire::Opcode opcode, std::uint32_t block,
                                                     std::uint32_t send_number) {
  std::array<std::uint8_t, kAnswerLength> d{};
  wire::write_header(d, opcode);
  write_be32(d, 8, block);
  write_be32(d, 12, send_number);
  wire::write_trailer(d, 16);
  return d;
}

std::optional<std::uint32_t> answered_send_number(std::span<const std::uint8_t> answer) {
  if (answer.size() < kAnswerLength) return std::nullopt;
  return read_be32(answer, 12);
}

}  // namespace kestrelon::answers_on_request
