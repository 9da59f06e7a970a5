#pragma once
// Ctrl-C and SIGTERM as a request to stop: long-running commands poll it, finish
// what they are doing and shut the Controller down cleanly.
namespace kestrelon::cli {

void install_stop_signals();
bool stop_requested();

}  // namespace kestrelon::cli
