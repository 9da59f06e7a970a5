#pragma once
// What a front end can check before it opens the network, so that a mistake in
// a script is reported at once instead of after the discovery: the image to
// send, and the place a new image is to be written. Each returns what is wrong,
// for the user, or the empty text. The Copy command makes the image check too,
// in the window as on the command line, and the window's file information shows
// a damaged image's fault.
#include <string>

namespace kestrelon {

// `path` cannot be sent: it cannot be opened, is not a plain file, holds no
// readable partition summary (too short, or more than 12 partitions), or is
// damaged (image_damage).
std::string image_problem(const std::string& path);

// The image file `path` is no whole image: its partition summary cannot be read,
// it was cut off or is longer than the image it holds, or a partition claims
// more data than its size. Every Client would refuse it or be left with a broken
// disk. The empty text for a whole image, and for a file that cannot be opened.
std::string image_damage(const std::string& path);

// An image cannot be written to `path`: it is a folder, it exists already and
// `replace` is not given, or its folder is missing or not writable.
std::string output_problem(const std::string& path, bool replace);

}  // namespace kestrelon
