#include "client_node.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

#include "copy_receive.h"
#include "image_restorer.h"
#include "net/wire_format.h"
#include "restore_guard.h"
#include "transfer/receive_engine_answers.h"

namespace kestrelon::client {

using namespace kestrelon::wire;

ClientNode::ClientNode(NodeSettings settings, DiskSet& disks, const FaultPlan& faults, ClientLog& log)
    : settings_(std::move(settings)),
      who_(settings_.address.text()),
      disks_(disks),
      faults_(faults, static_cast<std::uint64_t>(settings_.index)),
      log_(log) {}

ClientNode::~ClientNode() {
  if (transfer_) transfer_->cancel("the program is ending");
}

bool ClientNode::open(std::string* error) {
  const auto failed = [&](const char* what, int rc) {
    if (error) *error = std::string(what) + " " + who_ + ":4747 failed: " + std::strerror(rc);
    control_.close();
    return false;
  };
  if (int rc = control_.open(); rc != 0) return failed("opening a socket for", rc);
  control_.set_reuse_address(true);
  if (int rc = control_.bind(settings_.address, kControlPort); rc != 0) return failed("binding", rc);
  if (int rc = control_.set_nonblocking(true); rc != 0) return failed("setting up", rc);
  return true;
}

void ClientNode::drain_control(Tick now) {
  std::array<std::uint8_t, 2048> buffer;
  for (;;) {
    const ReceiveResult r = control_.receive(buffer);
    if (r.status != ReceiveResult::Status::datagram) return;
    receive(Channel::control, std::span(buffer.data(), r.length), r.from, now);
  }
}

void ClientNode::drain_data(Tick now, DatagramBatch& batch) {
  if (!transfer_) return;
  const int fd = transfer_->data_fd();
  if (fd < 0) return;
  // A bounded number of reads per call, so a flood cannot starve the other Clients.
  for (int reads = 0; reads < 16 && transfer_ && transfer_->data_fd() == fd; ++reads) {
    const int messages = batch.receive(fd);
    batch.for_each([&](std::span<const std::uint8_t> datagram, Ipv4Address from) {
      // A datagram may end the transfer (OP_ABORT); the rest of the batch is then no one's.
      if (transfer_ && transfer_->data_fd() == fd) receive(Channel::data, datagram, from, now);
    });
    if (messages < DatagramBatch::kMessages) break;
  }
  if (transfer_) transfer_->on_data_batch_end(now);
  reap(now);
}

void ClientNode::on_group_datagram(std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now) {
  receive(Channel::control, datagram, from, now);
}

void ClientNode::receive(Channel channel, std::span<const std::uint8_t> datagram, Ipv4Address from, Tick now) {
  switch (faults_.incoming()) {
    case Fate::drop:
      return;
    case Fate::duplicate:
      handle(channel, datagram, from, now);
      handle(channel, datagram, from, now);
      return;
    case Fate::delay:
      held_.push_back(Held{now + static_cast<Tick>(faults_.plan().delay_ms), true, channel,
                           Datagram(datagram.begin(), datagram.end()), from, 0});
      return;
    case Fate::pass:
      handle(channel, datagram, from, now);
      return;
  }
}

void ClientNode::handle(Channel channel, std::span<const std::uint8_t> d, Ipv4Address from, Tick now) {
  const auto opcode = opcode_of_controller_datagram(d);
  if (!opcode) return;  // not ours: stray traffic on a shared port
  if (channel == Channel::data) {
    if (!transfer_) return;
    // The data group is open to every host: an abort there ends the copy only
    // when the Controller that runs it sends it.
    if (*opcode == OP_ABORT && !from_controller(from, "OP_ABORT")) return;
    transfer_->on_data(d, now);
    return;
  }
  switch (*opcode) {
    case OP_DISCOVER:
      answer_discover(d, from);
      return;
    case OP_COPY_START:
    case OP_CREATE_REQUEST:
      // One transfer at a time: another host's request must not end the one
      // under way (its Controller starts over by asking again itself).
      if (transfer_ && !from_controller(from, "a request")) return;
      if (*opcode == OP_COPY_START) {
        start_copy(d, from, now);
      } else {
        start_create(d, from, now);
      }
      return;
    default:
      // Create answers, aborts and OP_ACKER steer the transfer: only from its Controller.
      if (transfer_ && from_controller(from, "opcode " + std::to_string(*opcode))) {
        transfer_->on_control(*opcode, d, from, now);
      }
      reap(now);
      return;
  }
}

bool ClientNode::from_controller(Ipv4Address from, const std::string& what) {
  if (from == transfer_controller_) return true;
  log_.detail(who_, "ignored " + what + " from " + from.text() + ", which does not run this Client's transfer");
  return false;
}

void ClientNode::answer_discover(std::span<const std::uint8_t> d, Ipv4Address from) {
  const auto discover = decode_discover(d);
  if (!discover || discover->reply_address.is_zero() || from.is_zero()) return;
  const Datagram announce = encode_announce(AnnounceFields{settings_.address, settings_.name, disks_.entries()});
  ++announces_;
  // To the host that asked, on the control port, whatever address and port the
  // request names: a request naming another host would make this Client send
  // its announces there (a reflector).
  send_with_faults(announce, from, kControlPort);
}

void ClientNode::start_copy(std::span<const std::uint8_t> d, Ipv4Address from, Tick now) {
  const auto start = decode_copy_start(d);
  if (!start) return;
  if (auto* copy = dynamic_cast<CopyReceive*>(transfer_.get()); copy && copy->answer_repeated_start(*start, from)) {
    return;
  }
  replace_transfer(nullptr);
  // A refused request counts as a failed transfer (for --once).
  const auto refuse = [&](const std::string& why) {
    log_.note(who_, "copy of \"" + start->file_name + "\" refused: " + why);
    ++finished_;
  };
  std::string error;
  std::unique_ptr<CopySink> sink;
  restoring_disk_.reset();
  if (settings_.store_dir) {
    sink = StoreSink::open(*settings_.store_dir, start->file_name, &error);
    if (!sink) return refuse(error);
  } else {
    if (!settings_.restores_allowed) return refuse("emulated Clients share their disks; use --store");
    if (start->disk >= disks_.disks().size()) {
      return refuse("this Client has no disk " + std::to_string(start->disk) + " (it has " +
                    std::to_string(disks_.disks().size()) + ")");
    }
    const std::string& path = disks_.disks()[start->disk].path;
    auto disk = DiskDevice::open(path, true, &error);
    if (!disk) return refuse(error);
    // Judged by the descriptor just opened, not by an earlier look at the path,
    // which may name something else by now.
    if (disk->is_block_device() && !settings_.allow_write) {
      return refuse(path + " is a block device; restoring onto it needs --allow-write");
    }
    if (const auto why = restore_refusal(*disk)) return refuse(*why);
    note_copy_options(start->flags);
    const RestoreOptions restore{(start->flags & kFlagKeepPartitionSize) != 0, start->file_name};
    sink = std::make_unique<ImageRestorer>(std::move(disk), restore);
    restoring_disk_ = start->disk;
  }
  CopyTiming timing;
  if (settings_.reorder_blocks > 0) timing.reorder_blocks = settings_.reorder_blocks;
  auto copy = std::make_unique<CopyReceive>(*this, log_, from, *start, std::move(sink), timing);
  if (!copy->open_data(&error)) return refuse(error);
  copy->begin(now);
  transfer_ = std::move(copy);
  transfer_controller_ = from;
}

void ClientNode::note_copy_options(std::uint16_t flags) {
  log_.detail(who_, (flags & kFlagKeepPartitionSize) != 0
                        ? "partitions keep their size"
                        : "the last data partition takes the room of a disk larger than the image's");
  if (flags & kFlagSectorBySector) log_.detail(who_, "every sector of the image is written (as always)");
}

void ClientNode::start_create(std::span<const std::uint8_t> d, Ipv4Address from, Tick now) {
  const auto request = decode_create_request(d);
  if (!request) return;
  // Every request starts a new upload from block 0: the Controller sends one per
  // Create, so a second one means it started over.
  replace_transfer(nullptr);
  const auto refuse = [&](const std::string& why) {
    log_.note(who_, "create refused: " + why);
    ++finished_;
  };
  if (request->disk >= disks_.disks().size()) {
    return refuse("this Client has no disk " + std::to_string(request->disk) + " (it has " +
                  std::to_string(disks_.disks().size()) + ")");
  }
  if (const DiskInfo& info = disks_.disks()[request->disk]; info.broken_copy) return refuse(broken_copy_text(info));
  std::string error;
  auto disk = DiskDevice::open(disks_.disks()[request->disk].path, false, &error);
  if (!disk) return refuse(error);
  BuildRequest build;
  build.level = std::min<int>(request->level, 9);
  build.sector_by_sector = (request->flags & kFlagSectorBySector) != 0;
  build.threads = settings_.upload.compress_threads;
  build.method = settings_.upload.method;
  if (faults_.plan().slow_read_ms > 0) disk->slow_down(std::chrono::milliseconds(faults_.plan().slow_read_ms));
  auto builder = ImageBuilder::open(std::move(disk), build, &error);
  if (!builder) return refuse(error);
  log_.detail(who_, "create of disk " + std::to_string(request->disk) + " at level " + std::to_string(build.level) +
                        (build.sector_by_sector ? ", every sector" : ""));
  auto upload = std::make_unique<CreateUpload>(*this, log_, from, std::make_unique<UploadStream>(std::move(builder)),
                                               settings_.upload, answers_on_request::offered(d));
  transfer_ = std::move(upload);
  transfer_controller_ = from;
  static_cast<CreateUpload*>(transfer_.get())->begin(now);
  reap(now);
}

void ClientNode::replace_transfer(std::unique_ptr<Transfer> next) {
  if (transfer_) {
    transfer_->cancel("a new request replaces it");
    ++finished_;
    transfer_.reset();
    settle_restored_disk();
  }
  transfer_ = std::move(next);
}

void ClientNode::reap(Tick) {
  if (!transfer_ || !transfer_->finished()) return;
  ++finished_;
  if (transfer_->succeeded()) ++succeeded_;
  transfer_.reset();
  settle_restored_disk();
}

void ClientNode::settle_restored_disk() {
  if (!restoring_disk_) return;
  // A restore rewrote the disk, whole or not: announce what it holds now.
  std::string error;
  if (!disks_.refresh(*restoring_disk_, &error)) {
    log_.note(who_, "reading the restored disk failed: " + error);
  } else if (const DiskInfo& d = disks_.disks()[*restoring_disk_]; d.broken_copy) {
    log_.note(who_, broken_copy_text(d));
  }
  restoring_disk_.reset();
}

void ClientNode::tick(Tick now) {
  while (!held_.empty() && tick_reached(now, held_.front().due)) {
    Held h = std::move(held_.front());
    held_.pop_front();
    if (h.incoming) {
      handle(h.channel, h.bytes, h.peer, now);
    } else {
      send_now(h.bytes, h.peer, h.port);
    }
  }
  if (transfer_) transfer_->on_tick(now);
  reap(now);
}

std::optional<Tick> ClientNode::next_deadline() const {
  std::optional<Tick> next;
  if (!held_.empty()) next = held_.front().due;
  if (transfer_) {
    if (const auto t = transfer_->next_deadline(); t && (!next || tick_later(*next, *t))) next = t;
  }
  return next;
}

void ClientNode::send_to(const Datagram& datagram, Ipv4Address controller) {
  send_with_faults(datagram, controller, kControlPort);
}

void ClientNode::send_with_faults(const Datagram& datagram, Ipv4Address to, std::uint16_t port) {
  switch (faults_.outgoing()) {
    case Fate::drop:
      return;
    case Fate::duplicate:
      send_now(datagram, to, port);
      send_now(datagram, to, port);
      return;
    case Fate::delay:
      held_.push_back(Held{tick_count() + static_cast<Tick>(faults_.plan().delay_ms), false, Channel::control,
                           datagram, to, port});
      return;
    case Fate::pass:
      send_now(datagram, to, port);
      return;
  }
}

void ClientNode::send_now(const Datagram& datagram, Ipv4Address to, std::uint16_t port) {
  int error = 0;
  if (control_.send_to(datagram, to, port, &error) < 0) {
    log_.detail(who_, "sending to " + to.text() + " failed: " + std::strerror(error));
  }
}

void ClientNode::fault_exit() {
  log_.note(who_, "exiting at the block named by --exit-after");
  std::fflush(stderr);
  std::_Exit(3);
}

}  // namespace kestrelon::client
