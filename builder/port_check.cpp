#include "port_check.h"

#include <sstream>
#include <vector>

#include "builder_error.h"
#include "program_run.h"

namespace kestrelon::builder {

void check_port_free(int port, const char* what, const std::string& interface, const InterfaceNetwork& network) {
  const auto ss = find_program("ss");
  if (!ss) return;  // iproute2 absent: dnsmasq's own start reports what it can
  const std::string p = ":" + std::to_string(port);
  const ProgramResult r = run_program({ss->string(), "-Hulnp", "sport = " + p});
  if (r.status != 0) return;
  const std::vector<std::string> ours = {"0.0.0.0" + p, "*" + p, "0.0.0.0%" + interface + p,
                                         "*%" + interface + p, network.address.text() + p};
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string state, recv_q, send_q, local;
    words >> state >> recv_q >> send_q >> local;
    bool clash = false;
    for (const auto& o : ours) clash = clash || local == o;
    if (!clash) continue;
    std::string program = "another program";
    if (const auto at = line.find("((\""); at != std::string::npos) {
      program = line.substr(at + 3, line.find('"', at + 3) - at - 3);
    }
    throw BuilderError("port " + std::to_string(port) + " (" + what + ") on " + interface +
                       " is already taken by " + program + ", another " + what +
                       " server on this machine: stop it, or serve from another machine");
  }
}

}  // namespace kestrelon::builder
