#include "debian_files.h"

#include <unistd.h>

#include "builder_error.h"

namespace kestrelon::builder {

std::filesystem::path require_file(const DebianFile& file) {
  if (::access(file.path, R_OK) != 0) {
    throw BuilderError(std::string(file.path) + " is missing: install the Debian package " + file.package +
                       " (apt-get install " + file.package + ")");
  }
  return file.path;
}

}  // namespace kestrelon::builder
