// The whole Create command over real UDP: the flow, the receive engine and the
// window-free Receiving dialog with its supervision, against a scripted Client
// that uploads the way a Client does (each block sent until it is answered).
#include "commands/create_flow.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "net/notice_board.h"
#include "net/receive_dispatcher.h"
#include "net/wire_format.h"
#include "support/datagrams.h"
#include "support/controller_parts.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/scripted_uploader.h"
#include "support/udp_peer.h"
#include "support/upload_records.h"
#include "commands/headless_receiving_dialog.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Ipv4Address kController(127, 0, 0, 1);
const Ipv4Address kClient(127, 0, 0, 70);

// The window-free way through the flow, with scripted answers.
struct HeadlessPort : CreatePort {
  ReceiveEngine* engine = nullptr;
  std::string path;
  ReceiveImageChoice choice;
  std::atomic<bool> cancel{false};
  std::vector<std::string> messages;
  std::vector<std::int32_t> refreshed;
  HeadlessReceivingDialog* dialog = nullptr;

  void show_message(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> choose_image_path(const std::string&) override { return path; }
  std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo&) override { return choice; }
  std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo&) override {
    auto d = std::make_unique<HeadlessReceivingDialog>(HeadlessReceivingDialog::Hooks{
        [this] { engine->supervise(); }, [this](std::int32_t p) { refreshed.push_back(p); }, {},
        [this] { return cancel.load(); }});
    dialog = d.get();
    return d;
  }
  void image_folder_chosen(const std::string&) override {}
};

class CreateFlowNetTest : public ::testing::Test, protected test::ControllerParts {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_PRIVATE_NETWORK();
    dispatcher.set_create_handler(&engine);
    ASSERT_TRUE(endpoints.start_network("", [] { return AddressList{0, {kController}}; }));
    ClientRecord& c = tables.clients[0];
    tables.client_count = 1;
    c.set_name("UPLOADER");
    c.address = kClient;
    c.disk_count = 1;
    c.disks[0] = test::make_disk(1 << 20, 2, 2048);
    port.engine = &engine;
    port.path = ::testing::TempDir() + "kestrelon_flow_net_" + std::to_string(::getpid()) + ".krn";
  }
  void TearDown() override {
    endpoints.close_all();
    ::unlink(port.path.c_str());
  }

  ReceiveEngine engine{endpoints, stats, ui, SystemClock::instance(), ReceiveTiming{7000, 500ms, 300ms}};
  CreateFlow flow{locks, tables, engine, stats};
  HeadlessPort port;
};

TEST_F(CreateFlowNetTest, UploadEndsWholeWithA400CharacterDescriptionAndProgressShown) {
  test::ScriptedUploader client(kClient, kController);
  ASSERT_TRUE(client.ok());
  Bytes header(8000, 0);
  Bytes stream = test::data_record(header);
  for (int i = 0; i < 60; ++i) {
    const Bytes r = test::data_record(test::counting(1500, static_cast<std::uint8_t>(i)));
    stream.insert(stream.end(), r.begin(), r.end());
  }
  const Bytes end = test::end_record();
  stream.insert(stream.end(), end.begin(), end.end());
  client.start({.stream = stream});
  port.choice = {std::string(400, 'D'), 3};  // the most the dialog takes
  { std::ofstream(port.path) << "an earlier image"; }

  const CreateFlowResult r = flow.run({"127.000.000.070"}, false, port);
  client.join();
  EXPECT_TRUE(client.finished());
  EXPECT_EQ(client.level(), 5) << "slider 3";
  EXPECT_EQ(r.end, CreateFlowEnd::uploaded);
  EXPECT_EQ(r.outcome, CreateOutcome::completed);
  EXPECT_TRUE(r.completed());
  EXPECT_TRUE(ui.messages().empty());

  std::ifstream in(port.path, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), 8000u + 60 * 1500);
  EXPECT_EQ(std::string(file.begin() + 256, file.begin() + 656), std::string(400, 'D'));
  EXPECT_EQ(file[656], 0) << "the header's zero byte ends the description";
  EXPECT_EQ(Bytes(file.begin() + 8000, file.begin() + 9500), test::counting(1500, 0));
  ASSERT_FALSE(port.refreshed.empty());
  EXPECT_GE(port.refreshed.back(), 0) << "the last refresh shows where the upload ended";
  EXPECT_EQ(engine.state(), ReceiveEngine::kIdle);
  EXPECT_GT(stats.acknowledgements.load(), 60);
  EXPECT_FALSE(std::filesystem::exists(port.path + ".part")) << "the whole image replaced the earlier one";
}

TEST_F(CreateFlowNetTest, CancelRequestEndsTheUploadAbortsTheClientAndKeepsTheEarlierImage) {
  test::ScriptedUploader client(kClient, kController);
  ASSERT_TRUE(client.ok());
  client.start({.stream = test::join({test::data_record(Bytes(1000, 1)), test::data_record(Bytes(1000, 2)),
                                      test::data_record(Bytes(1000, 3)), test::end_record()}),
                .packet = 500,
                .quiet_from = 3});
  { std::ofstream(port.path) << "an earlier image"; }
  std::thread canceller([this, &client] {
    while (!client.request_seen()) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    port.cancel = true;
  });
  const CreateFlowResult r = flow.run({"127.000.000.070"}, false, port);
  canceller.join();
  client.join();
  EXPECT_EQ(r.outcome, CreateOutcome::cancelled);
  EXPECT_EQ(client.aborts(), 3);
  std::ifstream in(port.path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier image");
  EXPECT_FALSE(std::filesystem::exists(port.path + ".part"));
}

TEST_F(CreateFlowNetTest, ClientGoingQuietEndsTheCreateAfterTheInactivityTime) {
  ReceiveEngine quick{endpoints, stats, ui, SystemClock::instance(), ReceiveTiming{600, 0ms, 0ms}};
  dispatcher.set_create_handler(&quick);
  CreateFlow quick_flow{locks, tables, quick, stats};
  port.engine = &quick;
  test::ScriptedUploader client(kClient, kController);
  ASSERT_TRUE(client.ok());
  client.start({.stream = test::join({test::data_record(Bytes(1000, 1)), test::data_record(Bytes(1000, 2)),
                                      test::end_record()}),
                .packet = 500,
                .quiet_from = 2});
  const auto started = std::chrono::steady_clock::now();
  const CreateFlowResult r = quick_flow.run({"127.000.000.070"}, false, port);
  client.join();
  dispatcher.set_create_handler(&engine);
  EXPECT_EQ(r.outcome, CreateOutcome::silent);
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  EXPECT_GE(std::chrono::steady_clock::now() - started, 600ms);
  EXPECT_EQ(client.aborts(), 3);
  EXPECT_FALSE(std::filesystem::exists(port.path));
}

}  // namespace
}  // namespace kestrelon
