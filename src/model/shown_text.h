#pragma once
// Texts from the network, the files and other users (Client names, group names,
// image names and descriptions) as a terminal or a window may show them.
// Control characters would move the cursor, clear the screen or ring the bell;
// right-to-left overrides and the other invisible direction marks would show a
// name in a different order from its bytes ("exe.txt" for "txt.exe"). Each is
// shown as an escape instead: "\x1b" for a control byte or a byte that is not
// UTF-8, "\u202e" for a control or direction character beyond ASCII. Every other
// character, in any script, is shown as it is. The command line and the window
// both call this where they show such a name.
#include <string>
#include <string_view>

namespace kestrelon {

std::string shown_text(std::string_view text);

}  // namespace kestrelon
