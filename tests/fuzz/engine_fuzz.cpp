#include "engine_fuzz.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "net/wire_format.h"
#include "support/datagrams.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "transfer/copy_engine.h"
#include "transfer/receive_engine.h"

namespace kestrelon::fuzz {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kController(127, 0, 0, 1);
const std::array<Ipv4Address, 4> kSenders = {Ipv4Address(127, 0, 0, 50), Ipv4Address(127, 0, 0, 51),
                                             Ipv4Address(127, 0, 0, 60), Ipv4Address(127, 0, 0, 61)};
constexpr std::uint64_t kImageLength = 1350 * 40 + 17;
constexpr std::int32_t kImageBlocks = 41;
constexpr std::array<std::uint16_t, 8> kOpcodes = {wire::OP_COPY_ACK,   wire::OP_COPY_NAK,     wire::OP_COPY_DONE,
                                                   wire::OP_COPY_READY, wire::OP_CREATE_DATA, wire::OP_ANNOUNCE,
                                                   12,                  wire::OP_DISCOVER};
constexpr std::size_t kLongestDatagram = 1600;

[[noreturn]] void breach(const char* what) {
  std::fprintf(stderr, "engine fuzz: %s\n", what);
  std::abort();
}

struct Immediate : UserMessages {
  void show_message(const std::string&) override {}
  void post_to_ui(std::function<void()> work) override { work(); }
};

struct NoDialog : TransferDialogHooks, ReceivingDialogHooks {
  void set_progress_range(int, int) override {}
  void set_position(std::int32_t) override {}
  void request_cancel() override {}
  void end_with_ok() override {}
  void end_with_cancel() override {}
};

ssize_t discard(int, const void*, std::size_t count, off_t) { return static_cast<ssize_t>(count); }

// What lives for the whole process: the Controller's endpoint (in a private
// network namespace when this runs as root; without one the copy engine's tick
// does nothing) and the files.
struct Process {
  Immediate ui;
  ProgramLocks locks;
  NoticeBoard board{ui};
  ReceiveDispatcher dispatcher{locks.receive, board};
  EndpointTable endpoints{dispatcher, ui};
  test::TempDir dir;
  std::string image = dir.file("fuzz.krn");
  std::string created = dir.file("created.krn");

  Process() {
    test::write_pattern_file(image, kImageLength);
    if (test::enter_private_network()) {
      endpoints.start_network("", [] { return AddressList{0, {kController}}; });
    }
  }
  ~Process() { endpoints.close_all(); }
};

Process& process() {
  static Process p;
  return p;
}

ClientRecord target(Ipv4Address address) {
  ClientRecord r;
  r.address = address;
  r.set_name(address.text());
  r.disk_count = 1;
  r.disks[0] = test::make_disk(1 << 20, 2, 4096);
  return r;
}

void check_copy(const CopyEngine& copy) {
  if (copy.highest_acknowledged() < -1 || copy.highest_acknowledged() >= kImageBlocks)
    breach("the highest acknowledged block lies outside the file");
  const std::int32_t requested = copy.lowest_requested();
  if (requested != -1 && (requested < 0 || requested >= kImageBlocks)) breach("a resend request outside the file");
  if (copy.next_block() < 0 || copy.next_block() > kImageBlocks) breach("the send position left the file");
  if (copy.ready_count() > 2 || copy.ranked_count() > 2) breach("more answers counted than there are targets");
}

// What answers move in a copy: none of it may move for a host that is no target.
struct CopyView {
  std::int32_t highest = 0, requested = 0;
  int ready = 0, ranked = 0, done = 0;
  std::uint32_t progress_done = 0, progress_total = 0;
  Tick first_done = 0;
  bool operator==(const CopyView&) const = default;
};

CopyView view_of(const CopyEngine& copy, const TransferStats& stats, const ClientTables& tables) {
  return CopyView{copy.highest_acknowledged(),     copy.lowest_requested(),
                  copy.ready_count(),              copy.ranked_count(),
                  tables.targets[0].done + tables.targets[1].done,
                  stats.progress_done.load(),      stats.progress_total.load(),
                  copy.first_done_deadline()};
}

}  // namespace

void fuzz_engines(std::span<const std::uint8_t> script) {
  Process& p = process();
  auto tables = std::make_unique<ClientTables>();
  for (int i = 0; i < 2; ++i) {
    tables->clients[static_cast<std::size_t>(i)] = tables->targets[static_cast<std::size_t>(i)] =
        target(kSenders[static_cast<std::size_t>(i)]);
  }
  tables->client_count = tables->target_count = 2;
  TransferStats stats;
  ManualClock clock(1000);
  NoDialog dialog;
  CopyEngine copy(*tables, p.locks, p.endpoints, p.ui, stats, clock);
  ReceiveEngine receive(p.endpoints, stats, p.ui, clock, ReceiveTiming{7000, 0ms});
  p.dispatcher.set_copy_handler(&copy);
  p.dispatcher.set_create_handler(&receive);

  ImageFile image;
  if (image.open(p.image) != 0) breach("the image cannot be opened");
  copy.attach_dialog(&dialog);
  if (!copy.copy_start(image, CopyOptions{})) breach("copy start failed");
  if (!script.empty() && (script[0] & 1) != 0) {
    copy.on_copy_ready(kSenders[0], 0);
    copy.on_copy_ready(kSenders[1], 0);
  }
  BufferedFileWriter file(4096, discard);
  if (file.open(p.created) != 0) breach("the image to create cannot be opened");
  receive.start({std::move(file), tables->clients[0], "fuzz", 0, false, &dialog});

  std::vector<std::uint8_t> datagram;
  datagram.reserve(kLongestDatagram + wire::kHeaderLength);
  std::size_t at = 1;
  while (at + 4 <= script.size()) {
    const std::uint8_t control = script[at];
    const std::uint16_t opcode = kOpcodes[script[at + 1] % kOpcodes.size()];
    std::size_t length = ((std::size_t{script[at + 2]} << 8) | script[at + 3]) % (kLongestDatagram + 1);
    at += 4;
    length = std::min(length, script.size() - at);
    datagram.clear();
    if ((control & 0x10) == 0) {
      const auto header = test::client_header(opcode);
      datagram.assign(header.begin(), header.end());
    }
    datagram.insert(datagram.end(), script.begin() + static_cast<long>(at),
                    script.begin() + static_cast<long>(at + length));
    datagram.resize(std::min(datagram.size(), kLongestDatagram));
    at += length;

    const std::size_t sender = control & 3;
    const std::uint64_t foreign_before = receive.foreign_packets();
    const CopyView copy_before = view_of(copy, stats, *tables);
    const auto outcome = p.dispatcher.dispatch(datagram, 0, kSenders[sender]);
    if (sender >= 2 && !(view_of(copy, stats, *tables) == copy_before)) breach("a stranger's datagram moved the copy");
    const bool upload_data = outcome == ReceiveDispatcher::Outcome::handled && datagram.size() >= 8 &&
                             wire::opcode_of(datagram) == wire::OP_CREATE_DATA;
    const std::uint64_t foreign_now = receive.foreign_packets();
    if (upload_data && sender != 0 && foreign_now != foreign_before + 1) breach("another host's upload data was used");
    if (sender == 0 && foreign_now != foreign_before) breach("the uploading Client's data was taken as foreign");

    switch ((control >> 2) & 3) {
      case 1:
        copy.tick();
        break;
      case 2:
        clock.advance(100);
        copy.tick();
        receive.supervise();
        break;
      case 3:
        clock.advance(5000);
        break;
      default:
        break;
    }
    check_copy(copy);
    if (p.board.outstanding() > NoticeBoard::kMaxOutstanding) breach("the notice queue grew past its bound");
  }

  receive.finish(ReceivingDialogHooks::End::cancel);
  copy.engine_stop();
  copy.attach_dialog(nullptr);
  p.dispatcher.set_copy_handler(nullptr);
  p.dispatcher.set_create_handler(nullptr);
}

}  // namespace kestrelon::fuzz
