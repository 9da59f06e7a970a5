#pragma once
// Faults a test can ask the Client to commit, and the seeded dice that decide
// which datagrams they hit. The same seed and the same sequence of datagrams
// always give the same decisions.
#include <cstdint>

namespace kestrelon::client {

struct FaultPlan {
  // Shares of datagrams, in percent (0 to 100, fractions allowed).
  double drop_in = 0, drop_out = 0;
  double duplicate_in = 0, duplicate_out = 0;
  double delay_in = 0, delay_out = 0;
  int delay_ms = 50;
  std::uint64_t seed = 1;
  // Transfers: -1 = off. "Silent after N" stops every answer of a transfer once
  // block N has been received (copy) or sent (create); "exit after N" ends the
  // process there instead.
  std::int64_t silent_after_block = -1;
  std::int64_t exit_after_block = -1;
  bool never_acknowledge = false;  // copy: no OP_COPY_ACK at all
  int extra_ready = 0;             // copy: OP_COPY_READY sent this many extra times
  bool drop_out_of_order = false;  // copy: keep no block that arrives before the lowest missing one
  int slow_read_ms = 0;            // create: every read of the disk takes this much longer

  bool any_datagram_fault() const {
    return drop_in > 0 || drop_out > 0 || duplicate_in > 0 || duplicate_out > 0 || delay_in > 0 || delay_out > 0;
  }
};

enum class Fate { pass, drop, duplicate, delay };

// splitmix64: tiny, fast, and the same on every platform.
class SeededDice {
 public:
  explicit SeededDice(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // Uniform in [0, 10000): one draw per decision, in hundredths of a percent.
  std::uint32_t basis_points() { return static_cast<std::uint32_t>(next() % 10000); }

 private:
  std::uint64_t state_;
};

// One per emulated Client. Incoming and outgoing datagrams use separate dice, so
// a change in what one side sees does not shift the other's decisions.
class FaultInjector {
 public:
  FaultInjector(const FaultPlan& plan, std::uint64_t stream);
  Fate incoming() { return decide(in_, plan_.drop_in, plan_.duplicate_in, plan_.delay_in); }
  Fate outgoing() { return decide(out_, plan_.drop_out, plan_.duplicate_out, plan_.delay_out); }
  const FaultPlan& plan() const { return plan_; }

 private:
  Fate decide(SeededDice& dice, double drop, double duplicate, double delay);
  FaultPlan plan_;
  SeededDice in_, out_;
};

}  // namespace kestrelon::client
