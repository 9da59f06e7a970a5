#include "shared_libraries.h"

#include <sstream>

#include "builder_error.h"
#include "program_run.h"

namespace kestrelon::builder {

std::vector<SharedLibrary> shared_libraries(const std::filesystem::path& program) {
  const ProgramResult r = run_program({require_program("ldd", "libc-bin").string(), program.string()});
  if (r.status != 0) {
    if (r.output.find("not a dynamic executable") != std::string::npos) return {};
    throw BuilderError("cannot list the libraries of " + program.string() + " (ldd): " + r.output);
  }
  std::vector<SharedLibrary> found;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("not found") != std::string::npos) {
      throw BuilderError(program.string() + " needs a library this machine lacks:" + line);
    }
    // "\tlibz.so.1 => /lib/x86_64-linux-gnu/libz.so.1 (0x...)" or "\t/lib64/ld-linux-x86-64.so.2 (0x...)"
    const auto arrow = line.find("=> ");
    const auto start = arrow != std::string::npos ? arrow + 3 : line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '/') continue;  // linux-vdso.so.1
    const std::string path = line.substr(start, line.find(" (", start) - start);
    std::error_code ec;
    const auto file = std::filesystem::canonical(path, ec);
    if (ec) throw BuilderError("cannot find the library " + path + ": " + ec.message());
    found.push_back({path, file});
  }
  return found;
}

}  // namespace kestrelon::builder
