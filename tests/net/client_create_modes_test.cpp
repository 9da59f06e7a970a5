// The two ways the reference Client uploads, against the two ways the receive
// engine answers, over loopback with lost, repeated and held-back datagrams in
// both directions: the Client that follows the plain protocol (stop-and-wait, one
// compression thread) against the engine that offers answers on request, and the
// pipelined Client against an engine that does not offer them (the engine as
// it answered before the offer existed). Every image is the same, byte for byte,
// and restores the disk.
#include <gtest/gtest.h>

#include <chrono>

#include "client_disk_checks.h"
#include "copy_sink.h"
#include "image_restorer.h"
#include "running_client.h"
#include "support/controller_parts.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/recording_receiving_dialog.h"
#include "transfer/receive_engine.h"

namespace kestrelon::client {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 81);

class ClientCreateModes : public ::testing::Test, protected test::ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    source = dir.file("source.img");
    fill_mixed_disk(source);
    dispatcher.set_create_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController}}; }));
    ASSERT_TRUE(list_as_client(source, kClient, "modes", record));
  }
  void TearDown() override { endpoints.close_all(); }

  // A Client with datagrams lost, repeated and held back both ways.
  ClientOptions faulty(std::uint64_t seed) {
    ClientOptions o;
    o.address = kClient;
    o.disks = {source};
    o.faults.seed = seed;
    o.faults.drop_in = o.faults.drop_out = 2;
    o.faults.duplicate_in = o.faults.duplicate_out = 2;
    o.faults.delay_in = o.faults.delay_out = 2;
    o.faults.delay_ms = 15;
    return o;
  }
  // One Create at level 9, supervised every 50 ms; the image, empty when not kept.
  std::vector<std::uint8_t> run_create(const ClientOptions& options) {
    RunningClient client(options);
    EXPECT_TRUE(client.ok());
    const std::string path = dir.file("created.krn");
    BufferedFileWriter file;
    EXPECT_EQ(file.open(path), 0);
    test::RecordingReceivingDialog dialog;
    engine.start({std::move(file), record, "modes", 9, false, &dialog});
    const auto end = std::chrono::steady_clock::now() + 90s;
    while (dialog.ends().empty() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(50ms);
      engine.supervise();
    }
    if (dialog.ends().empty()) return {};
    return engine.finish(dialog.ends().front()) == CreateOutcome::completed ? test::read_file(path)
                                                                            : std::vector<std::uint8_t>{};
  }
  void expect_restores(const std::vector<std::uint8_t>& image_bytes) {
    const std::string target = dir.file("target.img");
    ASSERT_TRUE(test::make_virtual_disk(target, 64, ""));
    std::string error;
    ImageRestorer restorer(DiskDevice::open(target, true, &error));
    ASSERT_TRUE(restorer.consume(image_bytes)) << restorer.error();
    ASSERT_TRUE(restorer.finish()) << restorer.error();
    expect_same_disks(source, target);
  }

  test::TempDir dir;
  std::string source;
  ReceiveEngine engine{endpoints, stats, ui, SystemClock::instance(), ReceiveTiming{7000, 300ms}};
  ClientRecord record;
};

TEST_F(ClientCreateModes, StopAndWaitAndPipelinedClientsMakeTheSameImageWithOrWithoutTheOffer) {
  // The plain protocol against the offer: the Client does not take it.
  ClientOptions plain = faulty(11);
  plain.stop_and_wait = true;
  plain.compress_threads = 1;
  const auto by_plain = run_create(plain);
  ASSERT_FALSE(by_plain.empty()) << "stop-and-wait against the offering engine";
  EXPECT_EQ(engine.packets_with_tail(), 0u) << "a plain Client sends no tail";
  expect_restores(by_plain);

  // The pipelined Client against an engine that answers every block.
  engine.set_answers_offered(false);
  const auto against_plain_engine = run_create(faulty(12));
  ASSERT_FALSE(against_plain_engine.empty()) << "pipelined against the engine without the offer";
  EXPECT_EQ(engine.packets_with_tail(), 0u) << "without the offer the Client sends no tail";
  EXPECT_TRUE(against_plain_engine == by_plain) << "the images differ";

  // The pipelined Client taking the offer.
  engine.set_answers_offered(true);
  const auto pipelined = run_create(faulty(13));
  ASSERT_FALSE(pipelined.empty()) << "pipelined with answers on request";
  EXPECT_GT(engine.packets_with_tail(), 1000u) << "the Client took the offer";
  EXPECT_TRUE(pipelined == by_plain) << "the images differ";
}

}  // namespace
}  // namespace kestrelon::client
