#pragma once
// What the group commands need of a person: a message with an OK button and a
// question with Yes and No. The window shows message boxes; the command line
// prints and answers from its options; tests record.
#include <string>

namespace kestrelon {

inline constexpr const char* kNoClientCheckedText = "At least one Client must be checked !";
inline constexpr const char* kEnterGroupNameText = "Enter a group name !";
inline constexpr const char* kReplaceGroupText = "The group name already exists! Do You want to replace it?";
inline constexpr const char* kSelectGroupText = "Select a group !";
inline constexpr const char* kBadGroupNameText =
    "A group name cannot contain \"]\" or a line break, and cannot be longer than 1023 bytes.";
// Followed by the file's path.
inline constexpr const char* kGroupNotSavedText = "The group could not be saved in the file ";

class GroupPort {
 public:
  virtual ~GroupPort() = default;
  // Returns when the message has been dismissed.
  virtual void show_message(const std::string& text) = 0;
  // True for Yes.
  virtual bool ask_yes_no(const std::string& text) = 0;
};

}  // namespace kestrelon
