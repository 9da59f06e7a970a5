#pragma once
// How kestrelon-cli tells of a mistake or a failure that ends a command: a line
// "kestrelon-cli COMMAND: TEXT" on standard error, and, when the command line
// asks for --json, the same as a JSON object on standard output,
//   {"event":"error","time":"2024-05-01T02:00:03+02:00","command":"copy","text":"..."}
// so that a script reading the JSON lines learns why nothing more comes.
// Messages the window would show in a box take the same way, as "message".
#include <string>

namespace kestrelon::cli {

// Set once, before the command line is read: whether it holds --json.
void set_json_errors(bool on);
bool json_errors();

// `command` may be empty (the program itself) or several words ("group save").
void report_error(const std::string& command, const std::string& text);
// "kestrelon: TEXT" on standard error and, with --json, a "message" object.
void report_message(const std::string& text);

}  // namespace kestrelon::cli
