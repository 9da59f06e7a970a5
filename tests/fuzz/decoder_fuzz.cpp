// Feeds arbitrary bytes to every decoder and through the receive dispatcher, with
// handlers that read every decoded field, and to the reader of the Client's
// image files; then reads the same bytes as a script of datagrams for the
// transfer engines (engine_fuzz.h).
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/image_reader.h"
#include "net/notice_board.h"
#include "net/receive_dispatcher.h"
#include "client_wire.h"
#include "net/wire_decode.h"
#include "engine_fuzz.h"

namespace {

volatile std::uint64_t g_sink;

void touch(const kestrelon::wire::Announce& a) {
  std::uint64_t s = a.address.value() + a.name_text().size();
  for (int d = 0; d < a.disk_count; ++d) {
    const auto& disk = a.disks[static_cast<std::size_t>(d)];
    s += disk.size_sectors + disk.bios_number;
    for (int p = 0; p < disk.partition_count; ++p) s += disk.partitions[static_cast<std::size_t>(p)].size_sectors;
  }
  g_sink = s;
}

void touch(const kestrelon::wire::CopyNameAnswer& a) {
  g_sink = a.client.value() + a.computer_name.size() + a.text.size() + static_cast<std::uint64_t>(a.outcome);
}

struct ReadEverything : kestrelon::AnnounceHandler,
                        kestrelon::CopyPacketHandler,
                        kestrelon::CreateDataHandler,
                        kestrelon::CopyNameHandler {
  void on_copy_name_answer(const kestrelon::wire::CopyNameAnswer& a, kestrelon::Ipv4Address) override { touch(a); }
  void on_announce(const kestrelon::wire::Announce& a, int, kestrelon::Ipv4Address) override { touch(a); }
  bool copy_running() const override { return true; }
  void on_copy_ack(const kestrelon::wire::CopyAck& a, int, kestrelon::Ipv4Address) override { g_sink = a.block + a.done_kib + a.total_kib; }
  void on_copy_nak(const kestrelon::wire::CopyNak& n, int, kestrelon::Ipv4Address) override {
    g_sink = n.block + n.total_kib;
  }
  void on_copy_done(const kestrelon::wire::CopyDone& d, int, kestrelon::Ipv4Address) override { g_sink = d.client.value(); }
  void on_copy_ready(kestrelon::Ipv4Address from, int e) override { g_sink = from.value() + static_cast<std::uint64_t>(e); }
  void on_create_data(const kestrelon::wire::CreateData& c, kestrelon::Ipv4Address, int) override {
    std::uint64_t s = c.block;
    for (auto b : c.data) s += b;
    g_sink = s;
  }
};

struct ReadImage final : kestrelon::client::image::ImageReader::Handler {
  bool on_header(const kestrelon::client::image::ImageHeader& h) override {
    g_sink = h.areas.size() + h.table_sectors.size() + h.partitions.size();
    return true;
  }
  bool on_chunk(const kestrelon::client::image::ImageReader::Chunk& c) override {
    std::uint64_t s = c.number + c.at;
    for (auto b : c.raw) s += b;
    g_sink = s;
    return true;
  }
};

// The bytes as an image file, arriving in two slices as copy blocks would.
void read_as_image(std::span<const std::uint8_t> d) {
  ReadImage handler;
  kestrelon::client::image::ImageReader reader(handler);
  const std::size_t cut = d.empty() ? 0 : d[d.size() / 2] * d.size() / 256;
  if (reader.feed(d.first(cut)) && reader.feed(d.subspan(cut))) reader.finish();
}

struct DropMessages : kestrelon::UserMessages {
  void show_message(const std::string&) override {}
  void post_to_ui(std::function<void()>) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace wire = kestrelon::wire;
  const std::span<const std::uint8_t> d(data, size);
  if (auto a = wire::decode_announce(d)) touch(*a);
  if (auto h = wire::decode_header(d)) g_sink = h->opcode;
  if (auto c = wire::decode_copy_ack(d)) g_sink = c->total_kib;
  if (auto c = wire::decode_copy_nak(d)) g_sink = c->total_kib;
  if (auto c = wire::decode_copy_done(d)) g_sink = c->client.value() + (c->report.empty() ? 0 : c->report.back().size());
  if (auto c = wire::decode_create_data(d)) g_sink = c->data.size() ? c->data.back() : 0;
  if (auto c = wire::decode_copy_name_answer(d)) touch(*c);
  // The Client's decoder of the same opcode, from the Controller.
  if (auto c = kestrelon::client::decode_copy_name(d)) g_sink = c->target.value() + c->computer_name.size();
  read_as_image(d);

  static DropMessages ui;
  static kestrelon::NoticeBoard board(ui);
  static kestrelon::Semaphore lock;
  static ReadEverything handlers;
  static kestrelon::ReceiveDispatcher& dispatcher = *[] {
    auto* r = new kestrelon::ReceiveDispatcher(lock, board);
    r->set_announce_handler(&handlers);
    r->set_copy_handler(&handlers);
    r->set_create_handler(&handlers);
    r->set_copy_name_handler(&handlers);
    return r;
  }();
  dispatcher.dispatch(d, 0);

  kestrelon::fuzz::fuzz_engines(d);
  return 0;
}
