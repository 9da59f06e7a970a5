#pragma once
// The core's way to tell the user something. Front ends implement it: the window
// shows message boxes, the command line prints, tests record.
#include <functional>
#include <string>

namespace kestrelon {

class UserMessages {
 public:
  virtual ~UserMessages() = default;
  // Shows `text` with an OK button and returns when the user has dismissed it.
  // Called on the user-interface thread only.
  virtual void show_message(const std::string& text) = 0;
  // Runs `work` on the user-interface thread soon. Callable from any thread; never
  // waits for the user.
  virtual void post_to_ui(std::function<void()> work) = 0;
};

}  // namespace kestrelon
