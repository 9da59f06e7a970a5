#pragma once
// A copy engine on a real endpoint (127.0.0.1) with scripted Clients on
// 127.0.0.50 onwards: each has a control socket for the unicasts it is sent and
// a listener on the data group. Tests step the engine's clock and tick it by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "net/byte_order.h"
#include "net/endpoint_table.h"
#include "net/program_locks.h"
#include "support/controller_parts.h"
#include "support/datagrams.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/udp_peer.h"
#include "transfer/copy_engine.h"

namespace kestrelon::test {

using namespace std::chrono_literals;

inline const Ipv4Address kController(127, 0, 0, 1);

inline Ipv4Address client_address(int i) { return Ipv4Address(127, 0, 0, static_cast<std::uint8_t>(50 + i)); }

// The Transfer dialog as the engine sees it.
struct RecordingHooks : TransferDialogHooks {
  std::atomic<int> range_high{-1};
  std::atomic<int> position{-1};
  std::atomic<int> cancels{0};
  void set_progress_range(int, int high) override { range_high = high; }
  void set_position(std::int32_t p) override { position = p; }
  void request_cancel() override { ++cancels; }
};

struct DataBlock {
  std::int32_t block = -1;
  std::uint16_t count = 0;
  std::vector<std::uint8_t> data;  // the whole 1350-byte field
};

inline DataBlock decode_data(const std::vector<std::uint8_t>& d) {
  DataBlock b;
  if (d.size() != wire::kCopyDataLength || read_be16(d, 6) != wire::OP_COPY_DATA) return b;
  b.block = static_cast<std::int32_t>(read_be32(d, 8));
  b.count = read_be16(d, 12);
  EXPECT_EQ(read_be32(d, 14), read_be32(d, 8)) << "the block number is repeated";
  b.data.assign(d.begin() + 22, d.begin() + 22 + 1350);
  return b;
}

// A scripted Client: a control socket for unicasts and a data group listener.
struct ScriptedClient {
  explicit ScriptedClient(Ipv4Address a)
      : address(a), control(a, wire::kControlPort), data(a, wire::kDataPort, wire::kDataGroup) {}
  Ipv4Address address;
  UdpPeer control;
  UdpPeer data;
};

class CopyRig : public ::testing::Test, protected ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    dispatcher.set_copy_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController}}; }));
    ASSERT_EQ(endpoints.open_count(), 1);
    engine.attach_dialog(&hooks);
  }
  void TearDown() override {
    engine.attach_dialog(nullptr);
    endpoints.close_all();
  }

  // Lists `n` Clients in the client table (disk d = i % 3, heard on endpoint 0)
  // and makes them all targets, each starting with selected disk 0.
  void add_targets(int n) {
    for (int i = 0; i < n; ++i) {
      clients.push_back(std::make_unique<ScriptedClient>(client_address(i)));
      ASSERT_TRUE(clients.back()->control.ok() && clients.back()->data.ok());
      ClientRecord r;
      r.address = client_address(i);
      r.set_name("PC-" + std::to_string(i));
      r.selected_disk = static_cast<std::int16_t>(i % 3);
      r.disk_count = 3;
      tables.clients[static_cast<std::size_t>(i)] = r;
      r.selected_disk = 0;
      r.interface_index = 7;  // stale: Copy start takes the client table's
      tables.targets[static_cast<std::size_t>(i)] = r;
    }
    tables.client_count = tables.target_count = n;
  }

  // A target's record as the engine left it, read under the client table lock
  // the receive threads write it under.
  ClientRecord target(int i) {
    SemaphoreGuard hold(locks.client_table);
    return tables.targets[static_cast<std::size_t>(i)];
  }

  // Writes a pattern file of `length` bytes and opens it.
  void make_image(std::uint64_t length) {
    write_pattern_file(dir.file("lab.krn"), length);
    ASSERT_EQ(image.open(dir.file("lab.krn")), 0);
  }

  std::uint64_t handled() const {
    std::uint64_t n = 0;
    for (auto o : {ReceiveDispatcher::Outcome::handled, ReceiveDispatcher::Outcome::gated,
                   ReceiveDispatcher::Outcome::malformed, ReceiveDispatcher::Outcome::ignored})
      n += dispatcher.count(o);
    return n;
  }
  // Sends a Client datagram to the Controller and waits until it has been handled.
  void deliver(int client, const std::vector<std::uint8_t>& datagram) {
    const std::uint64_t before = handled();
    clients[static_cast<std::size_t>(client)]->control.send(datagram, kController, wire::kControlPort);
    for (int i = 0; i < 400 && handled() == before; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_GT(handled(), before) << "the Controller did not handle the datagram";
  }
  void ack(int client, std::uint32_t block, std::uint32_t done = 0, std::uint32_t total = 0) {
    deliver(client, copy_ack_datagram(block, client_address(client), done, total));
  }
  void nak(int client, std::uint32_t block) { deliver(client, copy_nak_datagram(block, 0, 0)); }
  void done(int client) { deliver(client, copy_done_datagram(client_address(client))); }
  void ready(int client) { deliver(client, copy_ready_datagram()); }

  // Copy start, every target ready, the engine running.
  void start_copy(std::uint64_t length, int targets = 1) {
    add_targets(targets);
    make_image(length);
    ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
    for (auto& c : clients) c->control.receive_all(20);  // the OP_COPY_START datagrams
    for (int i = 0; i < targets; ++i) ready(i);
    ASSERT_TRUE(engine.copy_running());
  }

  // One tick at the current time, then what client `c` received on the data group.
  std::vector<DataBlock> tick(int c = 0) {
    engine.tick();
    return sent_to(c);
  }
  std::vector<DataBlock> sent_to(int c) {
    std::vector<DataBlock> blocks;
    for (auto& r : clients[static_cast<std::size_t>(c)]->data.receive_all(30)) blocks.push_back(decode_data(r.bytes));
    return blocks;
  }
  static std::vector<std::int32_t> numbers(const std::vector<DataBlock>& blocks) {
    std::vector<std::int32_t> n;
    for (const auto& b : blocks) n.push_back(b.block);
    return n;
  }
  static std::vector<std::int32_t> range(std::int32_t first, std::int32_t last) {
    std::vector<std::int32_t> n;
    for (std::int32_t b = first; b <= last; ++b) n.push_back(b);
    return n;
  }
  // Whether the block carries exactly the file's bytes, zero after its count.
  bool carries_file_bytes(const DataBlock& b) const {
    for (std::size_t i = 0; i < 1350; ++i) {
      const std::uint8_t want = i < b.count ? pattern_byte(std::uint64_t(b.block) * 1350 + i) : 0;
      if (b.data[i] != want) return false;
    }
    return true;
  }
  // A datagram with `opcode` among what client `c` received by unicast.
  int unicasts_to(int c, std::uint16_t opcode) {
    int n = 0;
    for (auto& r : clients[static_cast<std::size_t>(c)]->control.receive_all(30))
      if (r.bytes.size() >= 8 && read_be16(r.bytes, 6) == opcode) ++n;
    return n;
  }

  ManualClock clock;
  CopyEngine engine{tables, locks, endpoints, ui, stats, clock};
  RecordingHooks hooks;
  TempDir dir;
  ImageFile image;
  std::vector<std::unique_ptr<ScriptedClient>> clients;
};

}  // namespace kestrelon::test
