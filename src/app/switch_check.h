#pragma once
// The Controller's switch words read strictly, for the command-line front end: a
// script's "-mttl abc" or "-rt -5" is refused with a clear message before
// anything starts. The desktop program keeps the forgiving reading of
// CShadowCommandLineInfo (a value without digits is 0, an unknown switch word is
// passed over), so both share the switch names and the values they set.
#include <string>
#include <vector>

namespace kestrelon {

// Empty when `words` are well-formed: each a known switch ("-rt", "/mttl")
// followed by a whole number in that switch's range. Otherwise what is wrong,
// for the user, naming the first bad word.
std::string switch_words_problem(const std::vector<std::string>& words);

}  // namespace kestrelon
