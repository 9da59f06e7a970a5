#pragma once
// What a front end can check before it opens the network, so that a mistake in
// a script is reported at once instead of after the discovery: the image to
// send, and the place a new image is to be written. Each returns what is wrong,
// for the user, or the empty text.
#include <string>

namespace kestrelon {

// `path` cannot be sent: it cannot be opened, is not a plain file, or holds no
// readable partition summary (too short, or more than 12 partitions).
std::string image_problem(const std::string& path);

// An image cannot be written to `path`: it is a folder, it exists already and
// `replace` is not given, or its folder is missing or not writable.
std::string output_problem(const std::string& path, bool replace);

}  // namespace kestrelon
