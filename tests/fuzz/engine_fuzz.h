#pragma once
// The transfer engines under fuzzed traffic. The input is a script of steps,
// each a datagram from one of the two copy targets (the first is also the
// Client asked for a Create) or from a stranger, followed by a tick of the copy
// engine, the Create supervision or the clock moving on. The scripted start is a
// copy of a 41-block image announced to both targets (already running when the
// script's first byte is odd) and a Create asked of the first target.
//
// After every step the engines must still hold what no datagram may break: the
// window inside the file, the counts within the targets, no upload data taken
// from another address, nothing of the copy moved by a stranger's datagram. A
// breach aborts, so the fuzzer reports it.
//
// Step layout: [control] [opcode index] [length, 2 bytes big-endian] [bytes].
//   control bits 0-1: sender (target 1, target 2, stranger 1, stranger 2)
//   control bits 2-3: after the datagram: nothing, a copy tick, 100 ms on the
//                     clock with a tick and the supervision, or 5 s on the clock
//   control bit 4:    the bytes are the whole datagram; otherwise a valid header
//                     with the indexed opcode comes first
#include <cstdint>
#include <span>

namespace kestrelon::fuzz {

void fuzz_engines(std::span<const std::uint8_t> script);

}  // namespace kestrelon::fuzz
