#include "support/copy_side.h"

#include <thread>

#include "net/wire_format.h"

namespace kestrelon::test {

using namespace std::chrono_literals;

CopySide::~CopySide() {
  worker.stop_and_join();
  engine.attach_dialog(nullptr);
  endpoints.close_all();
}

bool CopySide::start_network(Ipv4Address address) {
  dispatcher.set_copy_handler(&engine);
  engine.attach_dialog(&dialog);
  return endpoints.start_network("", [address] { return AddressList{0, {address}}; });
}

void CopySide::add_target(Ipv4Address address) {
  ClientRecord r;
  r.address = address;
  r.set_name(address.text());
  r.disk_count = 1;
  const int i = tables.client_count;
  tables.clients[static_cast<std::size_t>(i)] = r;
  tables.targets[static_cast<std::size_t>(i)] = r;
  tables.client_count = tables.target_count = i + 1;
}

bool CopySide::copy(const std::string& path, std::chrono::milliseconds limit, CopyOptions options) {
  if (image.open(path) != 0) return false;
  if (!engine.copy_start(image, options)) return false;
  worker.start();
  const auto end = std::chrono::steady_clock::now() + limit;
  // The engine starts on the receive thread just after the last ready answer is
  // counted, and clears its running flag when the last target reports done: wait
  // for the start (or an end already reached), then for the end.
  while (!engine.copy_running() && !engine.seconds_to_all_done() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(1ms);
  }
  while (engine.copy_running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
  const bool all_done = engine.seconds_to_all_done().has_value();
  worker.stop_and_join();
  endpoints.send(EndpointTable::kAllInterfaces, wire::build_abort(), wire::kDataGroup, wire::kDataPort);
  return all_done;
}

}  // namespace kestrelon::test
