#pragma once
// Starts the core's network as the desktop program starts. When that fails for
// want of a usable network, the message says below its own text what is missing
// and what to do (connect a network, or bring loopback up and start with
// --loopback); a start that opened no interface, or loopback alone without
// --loopback, gets a note for the status bar.
#include <string>

namespace kestrelon {
class ControllerCore;
}
class WxUserMessages;

struct NetworkStart {
  bool started = false;  // false: the message has been shown, the program ends
  std::string note;      // for the status bar; empty when all is well
};

NetworkStart StartNetwork(kestrelon::ControllerCore& core, WxUserMessages& messages, bool loopback_asked);
