#pragma once
// The program's command line. Words beginning with "/" or "-" are switches (the
// prefix removed, names compared case-sensitively); any other word is a value for
// the switch most recently seen, which stays pending after its value: "-rt 200 400"
// leaves "rt" at 400, and an unknown switch leaves the pending one as it was.
#include <string>
#include <string_view>
#include <vector>

#include "app/tuning_values.h"

namespace kestrelon {

class CShadowCommandLineInfo {
 public:
  explicit CShadowCommandLineInfo(TuningValues& tuning) : tuning_(tuning) {}

  // One word of the command line, its prefix already removed when `is_switch`.
  void parse_param(std::string_view word, bool is_switch, bool is_last);

  // "c": the first non-zero value given; "nd": set by any value; "log": the last
  // value given was 42. None of them changes what the program does.
  int c_value() const { return c_value_; }
  bool nd_flag() const { return nd_flag_; }
  bool log_flag() const { return log_flag_; }

  // Whether `name` (prefix removed) is one of the switches this class reads.
  static bool is_switch_name(std::string_view name) { return switch_named(name) != Switch::none; }

 private:
  enum class Switch { none, c, nd, rc, rt, nt, gut, mttl, fast, rate, log };
  static Switch switch_named(std::string_view name);

  TuningValues& tuning_;
  Switch pending_ = Switch::none;
  int c_value_ = 0;
  bool nd_flag_ = false;
  bool log_flag_ = false;
};

// Splits the words into switches and values and hands each to `info`.
void parse_command_line(const std::vector<std::string>& words, CShadowCommandLineInfo& info);

}  // namespace kestrelon
