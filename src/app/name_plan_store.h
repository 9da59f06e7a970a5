#pragma once
// The name plans of the groups, kept beside the groups file as "names.ini":
// one section per group (named as the group, letter case aside), with the
// pattern, the first number it gives, and a name per MAC address:
//
//   [Room12]
//   pattern=ROOM12-PC{nn}
//   first=1
//   52:54:00:4b:00:07=ROOM12-TEACHER
//
// `kestrelon-cli group names` writes it; a Copy reads it to tell each PC its
// computer name. Lines it does not know (comments) are kept as they are.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/computer_name.h"

namespace kestrelon {

class NamePlanStore {
 public:
  static constexpr const char* kFileName = "names.ini";

  explicit NamePlanStore(std::filesystem::path file) : file_(std::move(file)) {}
  // The store beside the groups file `groups_file`.
  static NamePlanStore beside(const std::filesystem::path& groups_file);
  const std::filesystem::path& path() const { return file_; }

  struct Read {
    std::optional<NamePlan> plan;  // nullopt: the group has none
    std::string problem;           // a line that is not a sound plan: then no plan
  };
  // The plan of `group`. A plan with a bad line is no plan: naming PCs after a
  // half-understood plan would give two PCs one name.
  Read read(std::string_view group) const;
  // The groups that have a plan, in file order.
  std::vector<std::string> groups() const;
  // Writes the plan of `group` (an empty plan removes it) in one replacement of
  // the file. "" or why it failed.
  std::string write(std::string_view group, const NamePlan& plan) const;

 private:
  std::filesystem::path file_;
};

}  // namespace kestrelon
