#include "net/endpoint_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/wire_format.h"

namespace kestrelon {

EndpointTable::EndpointTable(ReceiveDispatcher& dispatcher, UserMessages& messages, int multicast_ttl)
    : dispatcher_(dispatcher), messages_(messages), multicast_ttl_(multicast_ttl) {}

EndpointTable::~EndpointTable() { close_all(); }

bool EndpointTable::start_network(std::string_view disabled_interfaces, const AddressSource& source) {
  const AddressList list = source();
  if (list.error != 0 || list.addresses.empty()) {
    setup_error("Invalid or missing TCP/IP configuration (%d)", list.error);
    return false;
  }
  address_count_.store(static_cast<int>(list.addresses.size()));
  opened_endpoints_.store(0);
  for (const Ipv4Address a : list.addresses) {
    if (open_count_.load() >= kSlots) break;
    if (!open_endpoint(a)) continue;
    if (disabled_interfaces.find(a.padded_text()) != std::string_view::npos) {
      slots_[static_cast<std::size_t>(open_count_.load() - 1)]->disabled.store(1);
    }
    opened_endpoints_.fetch_add(1);
  }
  return true;
}

void EndpointTable::setup_error(const char* format, int error) {
  char text[160];
  std::snprintf(text, sizeof text, format, error);
  messages_.show_message(text);
}

void EndpointTable::give_back_slot() {
  const int slot = open_count_.load() - 1;
  slots_[static_cast<std::size_t>(slot)].reset();
  open_count_.store(slot);
}

bool EndpointTable::open_endpoint(Ipv4Address address) {
  const int slot = open_count_.load();
  if (slot >= kSlots) return false;
  auto e = std::make_shared<Endpoint>();
  e->index = slot;
  e->address = address;
  slots_[static_cast<std::size_t>(slot)] = e;
  open_count_.store(slot + 1);

  if (e->socket.open() != 0) {
    messages_.show_message("parentSock socket() failed !");
    give_back_slot();
    return false;
  }
  // No address reuse: with it, any local program (another user's too) could bind
  // the same address and port and take the Clients' answers and uploads. Without
  // it the port is this endpoint's alone, and a program already holding it
  // makes the bind fail.
  if (const int err = e->socket.bind(address, wire::kControlPort)) {
    setup_error("Error setting up TCP/IP (Is is installed?) : bind(%d)", err);
    give_back_slot();
    return false;
  }
  if (const int err = e->socket.set_multicast_ttl(multicast_ttl_)) {
    setup_error("Error setting up TCP/IP (Is is installed?) : IP_MULTICAST_TTL (%d)", err);
    give_back_slot();
    return false;
  }
  // A socket bound to a unicast address receives no multicast on Linux; the
  // Controller needs only unicast answers, and joins the group all the same.
  // The group is joined on this endpoint's own interface, and multicast always
  // leaves through it: "any" interface would be resolved through the routing
  // table, which on an isolated imaging network (no default route, no route for
  // 224.0.0.0/4) has no answer, and every endpoint would fail to open.
  if (const int err = e->socket.join_group(wire::kControlGroup, address)) {
    setup_error("Error setting up TCP/IP (Is is installed?) :IP_ADD_MEMBERSHIP (%d)", err);
    give_back_slot();
    return false;
  }
  // Room for a pipelined upload's blocks while the receive thread waits for a
  // core; the system caps it (net.core.rmem_max). Failure leaves its default.
  e->socket.set_receive_buffer(kReceiveBuffer);
  if (const int err = e->socket.set_multicast_interface(address)) {
    setup_error("Error setting up TCP/IP (Is is installed?) : IP_MULTICAST_IF (%d)", err);
  }
  e->receive_thread = std::thread(receive_loop, e, std::ref(dispatcher_));
  return true;
}

void EndpointTable::receive_loop(std::shared_ptr<Endpoint> e, ReceiveDispatcher& dispatcher) {
  e->endpoint_semaphore.acquire();
  std::array<std::uint8_t, wire::kReceiveBufferSize> buffer;
  bool lingered = false;
  for (;;) {
    const int linger = e->linger_us.load(std::memory_order_relaxed);
    const ReceiveResult r = e->socket.receive(buffer, linger == 0 || lingered);
    if (r.status == ReceiveResult::Status::closed) break;
    if (r.status == ReceiveResult::Status::error && (r.error == EAGAIN || r.error == EWOULDBLOCK)) {
      std::this_thread::sleep_for(std::chrono::microseconds(linger));
      lingered = true;
      continue;
    }
    lingered = false;
    if (r.status == ReceiveResult::Status::error) {
      // A passing error (no memory for a buffer, say) must not leave this
      // interface deaf for the rest of the run.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    dispatcher.dispatch(std::span(buffer.data(), r.length), e->index, r.from);
  }
  e->endpoint_semaphore.release();
}

void EndpointTable::set_receive_linger(std::chrono::microseconds linger) {
  const int us = static_cast<int>(linger.count());
  for (int i = 0; i < open_count_.load(); ++i) {
    if (const auto& e = slots_[static_cast<std::size_t>(i)]) e->linger_us.store(us < 0 ? 0 : us);
  }
}

int EndpointTable::send_one(const Endpoint& e, std::span<const std::uint8_t> datagram, Ipv4Address to,
                            std::uint16_t port) const {
  if (!e.socket.is_open()) return 0;
  if (datagram.size() >= wire::kHeaderLength && datagram.size() <= wire::kReceiveBufferSize &&
      wire::opcode_of(datagram) == wire::OP_DISCOVER && datagram.size() >= wire::kDiscoverLength) {
    std::array<std::uint8_t, wire::kReceiveBufferSize> copy;
    std::memcpy(copy.data(), datagram.data(), datagram.size());
    wire::set_discover_address(copy, e.address);
    const ssize_t n = e.socket.send_to(std::span(copy.data(), datagram.size()), to, port);
    return n < 0 ? 0 : static_cast<int>(n);
  }
  const ssize_t n = e.socket.send_to(datagram, to, port);
  return n < 0 ? 0 : static_cast<int>(n);
}

int EndpointTable::send(int index, std::span<const std::uint8_t> datagram, Ipv4Address to,
                        std::uint16_t port) const {
  const int count = open_count_.load();
  if (index != kAllInterfaces) {
    if (index < 0 || index >= count) return 0;
    const auto& e = slots_[static_cast<std::size_t>(index)];
    return e ? send_one(*e, datagram, to, port) : 0;
  }
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const auto& e = slots_[static_cast<std::size_t>(i)];
    if (!e || e->disabled.load()) continue;
    result = send_one(*e, datagram, to, port);
  }
  return result;
}

int EndpointTable::send_run(int index, std::span<const std::uint8_t> datagrams, std::size_t datagram_length,
                            Ipv4Address to, std::uint16_t port) const {
  const int count = open_count_.load();
  const auto one = [&](const Endpoint& e) {
    return e.socket.is_open() ? e.socket.send_segments(datagrams, datagram_length, to, port) : 0;
  };
  if (index != kAllInterfaces) {
    if (index < 0 || index >= count) return 0;
    const auto& e = slots_[static_cast<std::size_t>(index)];
    return e ? one(*e) : 0;
  }
  int result = 0;
  for (int i = 0; i < count; ++i) {
    const auto& e = slots_[static_cast<std::size_t>(i)];
    if (!e || e->disabled.load()) continue;
    result = one(*e);
  }
  return result;
}

void EndpointTable::close_all(std::chrono::milliseconds limit) {
  const int count = open_count_.load();
  for (int i = 0; i < count; ++i) {
    if (auto& e = slots_[static_cast<std::size_t>(i)]) e->socket.wake();
  }
  for (int i = 0; i < count; ++i) {
    auto& e = slots_[static_cast<std::size_t>(i)];
    if (!e) continue;
    if (e->endpoint_semaphore.try_acquire_for(limit)) {
      e->endpoint_semaphore.release();
      if (e->receive_thread.joinable()) e->receive_thread.join();
    } else if (e->receive_thread.joinable()) {
      // Still busy after the limit (a handler waiting for a lock): let the program
      // end without it. The thread keeps its endpoint alive through its own pointer.
      e->receive_thread.detach();
    }
    e->socket.close();
  }
  open_count_.store(0);
}

Ipv4Address EndpointTable::address(int index) const {
  if (index < 0 || index >= open_count_.load()) return {};
  return slots_[static_cast<std::size_t>(index)]->address;
}

bool EndpointTable::disabled(int index) const {
  if (index < 0 || index >= open_count_.load()) return false;
  return slots_[static_cast<std::size_t>(index)]->disabled.load() != 0;
}

void EndpointTable::set_disabled(int index, bool disabled) {
  if (index < 0 || index >= open_count_.load()) return;
  slots_[static_cast<std::size_t>(index)]->disabled.store(disabled ? 1 : 0);
}

int EndpointTable::socket_descriptor(int index) const {
  if (index < 0 || index >= open_count_.load()) return -1;
  return slots_[static_cast<std::size_t>(index)]->socket.fd();
}

std::string EndpointTable::disabled_interfaces_text() const {
  std::string text;
  for (int i = 0; i < open_count_.load(); ++i) {
    if (disabled(i)) text += address(i).padded_text() + ";";
  }
  return text;
}

}  // namespace kestrelon
