#pragma once
// The groups of Clients in the profile file: one section per group, named as the
// user typed the group's name, with one entry per member under the keys "0" to
// "n-1" in the order of the checked rows. The Save Group and Load Group dialogs
// and `kestrelon-cli group` and `copy --group` all go through this one store.
//
// Group names follow the profile file's own rule for section names: letter case
// (ASCII) and blanks around the name do not count, so "Lab A" and "lab a" name one
// group. Saving under such a name replaces that group, which then carries the new
// spelling; everything that asks whether a group exists asks here, so the replace
// question and the file always agree.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/profile_store.h"
#include "model/group_entry.h"
#include "net/client_list_view.h"

namespace kestrelon {

class GroupStore {
 public:
  explicit GroupStore(ProfileStore& profile) : profile_(profile) {}

  // Whether two texts name the same group.
  static bool same_name(std::string_view a, std::string_view b);
  // Whether the file can hold a group of this name: not blank, no "]", no line
  // break, and not longer than a name read back from the file can be
  // (ProfileStore::kMaxTextBytes): a longer one would be listed cut, and could be
  // neither loaded nor deleted under that name.
  static bool valid_name(std::string_view name);

  // Every group once (in the spelling first found in the file), sorted as a
  // list box sorts: without regard to letter case, then byte by byte.
  std::vector<std::string> names() const;
  // The spelling of the stored group of this name; nullopt when there is none.
  std::optional<std::string> find(std::string_view name) const;
  // The group's entries, keys "0" up to "999", ending before the first missing or
  // empty one. Empty for a group that does not exist.
  std::vector<GroupEntry> read(std::string_view name) const;

  enum class SaveResult { saved, bad_name, write_failed };
  // Writes the group with `members` as keys "0".."n-1", removing any group of the
  // same name first; both happen in one replacement of the file, so a failed
  // write keeps the old group.
  SaveResult save(std::string_view name, const std::vector<ClientRowFields>& members);
  // Removes the group. True when it is gone (or was never there).
  bool remove(std::string_view name);

  const ProfileStore& profile() const { return profile_; }

 private:
  ProfileStore& profile_;
};

}  // namespace kestrelon
