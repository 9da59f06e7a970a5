#include "support/scripted_announcer.h"

#include "net/byte_order.h"
#include "net/wire_decode.h"
#include "net/wire_format.h"

namespace kestrelon::test {

AnnounceSpec announcing_client(Ipv4Address address, const std::string& name, int disks,
                               std::uint32_t disk_sectors) {
  AnnounceSpec s;
  s.address = address;
  s.name = name;
  for (int d = 0; d < disks; ++d) s.disks.push_back(make_disk(disk_sectors, 1));
  return s;
}

ScriptedAnnouncer::ScriptedAnnouncer(Ipv4Address address, std::vector<AnnounceSpec> clients)
    : listener_(address, wire::kControlPort, wire::kControlGroup),
      sender_(address, 0),
      clients_(std::move(clients)),
      thread_([this] { run(); }) {}

ScriptedAnnouncer::~ScriptedAnnouncer() {
  stop_ = true;
  thread_.join();
}

void ScriptedAnnouncer::set_clients(std::vector<AnnounceSpec> clients) {
  std::lock_guard lock(mutex_);
  clients_ = std::move(clients);
}

std::vector<std::chrono::steady_clock::time_point> ScriptedAnnouncer::discover_times() {
  std::lock_guard lock(mutex_);
  return discover_times_;
}

void ScriptedAnnouncer::run() {
  while (!stop_) {
    const auto r = listener_.receive(50);
    if (!r || r->bytes.size() < wire::kDiscoverLength || !wire::has_magic(r->bytes) ||
        wire::opcode_of(r->bytes) != wire::OP_DISCOVER) {
      continue;
    }
    const auto heard = std::chrono::steady_clock::now();
    ++discovers_;
    const Ipv4Address reply_to(read_be32(r->bytes, wire::kDiscoverAddressOffset));
    std::vector<std::vector<std::uint8_t>> replies;
    {
      std::lock_guard lock(mutex_);
      discover_times_.push_back(heard);
      for (const AnnounceSpec& c : clients_) replies.push_back(announce_datagram(c));
    }
    for (const auto& bytes : replies) sender_.send(bytes, reply_to, wire::kControlPort);
  }
}

}  // namespace kestrelon::test
