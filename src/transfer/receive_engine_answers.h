#pragma once
// Answers on request: how a Client that keeps many upload blocks in flight and
// the receive engine agree to thin out the answers of a Create. Without it the
// Controller sends one OP_CREATE_ACK or OP_CREATE_NAK per OP_CREATE_DATA, which
// at network speed costs the Controller a send and the Client a receive per
// block. Both sides keep the plain protocol unless both ask for this:
//
// 1. The Controller offers it in OP_CREATE_REQUEST: bit 0 of the word at bytes
//    12-13, which the plain request leaves zero and a Client does not read.
// 2. A Client that takes the offer ends each OP_CREATE_DATA with 8 bytes after
//    its data (where a plain Client puts the trailer or nothing; the Controller
//    reads only `count` data bytes):
//        0  2  9544
//        2  2  flags: bit 0 = answers on request (set), bit 1 = answer this one
//        4  4  send number: counts every datagram of this upload, resends too
// 3. For such a packet the Controller answers only when asked to, or when it
//    refuses a block for the first time since it last took one (so a lost
//    block is reported at once); a repeat at the end of the upload is always
//    answered. Each answer repeats the send number of the packet it answers,
//    after the block number: header, block (8), send number (12), trailer (16).
//    A Client thus knows exactly which packet a refusal is about.
//
// Only constants and byte helpers: the receive engine answers by these rules and
// the reference Client sends by them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/wire_format.h"

namespace kestrelon::answers_on_request {

inline constexpr std::size_t kOfferOffset = 12;
inline constexpr std::uint16_t kOfferBit = 1;

inline constexpr std::size_t kTailLength = 8;
inline constexpr std::uint16_t kTailTaken = 1;
inline constexpr std::uint16_t kTailAnswerThis = 2;

inline constexpr std::size_t kAnswerLength = 20;

// The offer, laid into a built OP_CREATE_REQUEST / read from a received one.
void write_offer(std::span<std::uint8_t> request);
bool offered(std::span<const std::uint8_t> request);

struct Tail {
  bool answer_this = false;
  std::uint32_t send_number = 0;
};
// Writes the 8 tail bytes at the start of `at`.
void write_tail(std::span<std::uint8_t> at, const Tail& tail);
// The tail of a received OP_CREATE_DATA, from the bytes after its data; nullopt
// for a plain packet (no tail, the plain trailer, or anything else).
std::optional<Tail> read_tail(std::span<const std::uint8_t> after_data);

// OP_CREATE_ACK or OP_CREATE_NAK with the send number it answers.
std::array<std::uint8_t, kAnswerLength> build_answer(wire::Opcode opcode, std::uint32_t block,
                                                     std::uint32_t send_number);
// The send number an answer repeats; nullopt for a plain 16-byte answer.
std::optional<std::uint32_t> answered_send_number(std::span<const std::uint8_t> answer);

}  // namespace kestrelon::answers_on_request
