#include "client_log.h"

#include <cstdio>

namespace kestrelon::client {

void ClientLog::note(const std::string& who, const std::string& text) {
  std::fprintf(stderr, "kestrelon-client %s: %s\n", who.c_str(), text.c_str());
}

}  // namespace kestrelon::client
