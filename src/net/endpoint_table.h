#pragma once
// One UDP endpoint per local IPv4 address: bound to the address and the control
// port, joined to the control group, with its own receive thread. Every datagram
// the Controller sends leaves through `send`.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/receive_dispatcher.h"
#include "net/user_messages.h"
#include "platform/ipv4_address.h"
#include "platform/semaphore.h"
#include "platform/udp_socket.h"

namespace kestrelon {

// The host's addresses, or the error number that kept them from being found.
struct AddressList {
  int error = 0;
  std::vector<Ipv4Address> addresses;
};
using AddressSource = std::function<AddressList()>;

class EndpointTable {
 public:
  static constexpr int kSlots = 256;
  static constexpr int kAllInterfaces = -1;
  static constexpr std::chrono::milliseconds kShutdownWait{5000};
  static constexpr int kReceiveBuffer = 4 << 20;

  EndpointTable(ReceiveDispatcher& dispatcher, UserMessages& messages, int multicast_ttl = 1);
  ~EndpointTable();
  EndpointTable(const EndpointTable&) = delete;
  EndpointTable& operator=(const EndpointTable&) = delete;

  // Opens an endpoint for every address the source gives; an address whose padded
  // text occurs in `disabled_interfaces` is switched off for sends to all. Fails
  // only when the addresses cannot be found; succeeds even with no endpoint open.
  bool start_network(std::string_view disabled_interfaces, const AddressSource& addresses);

  // Opens one endpoint and starts its receive thread. Main thread only.
  bool open_endpoint(Ipv4Address address);

  // Sends to one endpoint (its disabled flag not consulted) or, with
  // kAllInterfaces, through every enabled one. An OP_DISCOVER gets the sending
  // interface's own address at offset 8. Returns the byte count of the (last)
  // send, or 0 when it failed or nothing was sent.
  int send(int index, std::span<const std::uint8_t> datagram, Ipv4Address to, std::uint16_t port) const;

  // Sends a run of datagrams of `datagram_length` bytes each, laid end to end in
  // `datagrams`, like send() (never an OP_DISCOVER), in as few system calls as
  // the system allows. Returns how many datagrams the (last) endpoint sent.
  int send_run(int index, std::span<const std::uint8_t> datagrams, std::size_t datagram_length, Ipv4Address to,
               std::uint16_t port) const;

  // While a pipelined upload runs: a receive thread that finds its socket empty
  // waits this long once before it blocks, so the datagrams that arrive meanwhile
  // are read in one go instead of each waking it (a wake-up costs the sender and
  // the receiver more than the datagram's own handling). Zero turns it off.
  void set_receive_linger(std::chrono::microseconds linger);

  // Wakes every receive thread, waits for each at most `limit`, closes the sockets.
  void close_all(std::chrono::milliseconds limit = kShutdownWait);

  int address_count() const { return address_count_.load(); }
  int open_count() const { return open_count_.load(); }
  int opened_endpoints() const { return opened_endpoints_.load(); }
  Ipv4Address address(int index) const;
  bool disabled(int index) const;
  void set_disabled(int index, bool disabled);

  // The endpoint's socket descriptor (-1 when closed), for diagnostics and tests.
  int socket_descriptor(int index) const;

  // The "DisabledInterfaces" text for the current flags: each disabled address as
  // "%03d.%03d.%03d.%03d" followed by ";".
  std::string disabled_interfaces_text() const;

 private:
  struct Endpoint {
    std::thread receive_thread;
    Ipv4Address address;
    UdpSocket socket;
    Semaphore endpoint_semaphore{1, 1};
    std::atomic<int> disabled{0};
    std::atomic<int> linger_us{0};
    int index = 0;
  };

  void give_back_slot();
  void setup_error(const char* format, int error);
  int send_one(const Endpoint& e, std::span<const std::uint8_t> datagram, Ipv4Address to,
               std::uint16_t port) const;
  static void receive_loop(std::shared_ptr<Endpoint> endpoint, ReceiveDispatcher& dispatcher);

  ReceiveDispatcher& dispatcher_;
  UserMessages& messages_;
  int multicast_ttl_;
  std::atomic<int> address_count_{0};
  std::atomic<int> open_count_{0};
  std::atomic<int> opened_endpoints_{0};
  // Written on the main thread before the endpoint's count becomes visible.
  std::array<std::shared_ptr<Endpoint>, kSlots> slots_{};
};

}  // namespace kestrelon
