#include "transfer/receive_engine.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "net/wire_format.h"
#include "transfer/receive_engine_answers.h"

namespace kestrelon {

ReceiveEngine::ReceiveEngine(EndpointTable& endpoints, TransferStats& stats, UserMessages& messages,
                             const Clock& clock, ReceiveTiming timing)
    : endpoints_(endpoints),
      stats_(stats),
      messages_(messages),
      clock_(clock),
      timing_(timing),
      records_(file_, [this](std::size_t length) { data_counted(length); }) {}

std::uint16_t ReceiveEngine::compression_level(int slider_position) {
  if (slider_position > 5) return 9;
  if (slider_position >= 2) return 5;
  return static_cast<std::uint16_t>(slider_position < 0 ? 0 : slider_position);
}

std::int64_t ReceiveEngine::selected_disk_bytes(const ClientRecord& client) {
  if (!client.selected_disk_exists()) return 0;
  const DiskEntry& disk = client.disks[static_cast<std::size_t>(client.selected_disk)];
  std::int64_t sectors = 0;
  for (int p = 0; p < disk.partition_count && p < kMaxPartitions; ++p)
    sectors += disk.partitions[static_cast<std::size_t>(p)].size_sectors;
  // 64 bits: a 32-bit byte count overflows for disks of 4 GiB and more.
  return sectors * 512;
}

void ReceiveEngine::start(StartParams params) {
  ClientRecord client = params.client;
  {
    std::lock_guard lock(mutex_);
    compressed_.store(params.compression_position != 0);
    state_.store(kStarting1);
    state_.store(kStarting2);
    stream_.clear();
    expected_block_.store(0);
    path_ = params.file.path();
    file_ = std::move(params.file);
    records_.reset(std::move(params.description));
    uploading_client_ = client.address;
    client_interface_ = client.interface_index;
    total_bytes_ = selected_disk_bytes(client);
    remaining_bytes_ = total_bytes_;
    limit_bytes_ = upload_limit(client, params.sector_by_sector);
    too_large_.store(false);
    failure_.store(CreateOutcome::completed);
    stalled_.store(false);
    refusals_ = 0;
    refusal_answered_ = false;
    highest_done_ = 0;
    tail_packets_.store(0);
    tail_answers_.store(0);
    dialog_.store(params.dialog);
    stats_.clear_progress();
    started_at_.store(clock_.now());
    upload_ms_.store(0);
    activity_deadline_.store(started_at_.load() + timing_.inactivity_ms);
    // Receiving before the request leaves: the first data packet finds the state
    // and the deadline in place.
    state_.store(kReceiving);
  }
  auto request = wire::build_create_request(compression_level(params.compression_position),
                                            static_cast<std::uint16_t>(client.selected_disk),
                                            params.sector_by_sector ? wire::kFlagSectorBySector : 0);
  if (answers_offered_.load()) answers_on_request::write_offer(request);
  endpoints_.send(client_interface_, request, client.address, wire::kControlPort);
}

void ReceiveEngine::on_create_data(const wire::CreateData& data, Ipv4Address from, int endpoint_index) {
  std::lock_guard lock(mutex_);
  // Another host's blocks (or those of an earlier Create's Client whose abort
  // was lost) would be written into this image; they must not keep it alive
  // either.
  if (from != uploading_client_) {
    foreign_.fetch_add(1);
    return;
  }
  const int state = state_.load();
  if (state != kReceiving) activity_deadline_.store(clock_.now() + timing_.inactivity_ms);
  if (state == kReceiving) {
    stats_.report(data.done_kib, data.total_kib);
    const std::int64_t before = image_bytes();
    const bool taken = accept(data);
    const bool read_on = taken && data.done_kib > highest_done_;
    if (read_on) highest_done_ = data.done_kib;
    if (taken && (image_bytes() > before || read_on)) {
      activity_deadline_.store(clock_.now() + timing_.inactivity_ms);
    }
    // The packet that completes the end record has moved the state on and gets no
    // answer; the Client repeats it and is answered in the finished state.
    if (state_.load() != kReceiving) return;
    if (taken) {
      stats_.acknowledgements.fetch_add(1);
    } else {
      stats_.retries.fetch_add(1);
    }
    answer(taken, data, endpoint_index);
  } else if (state == kFinished) {
    answer(true, data, endpoint_index);
  }
}

void ReceiveEngine::answer(bool taken, const wire::CreateData& data, int endpoint_index) {
  namespace aor = answers_on_request;
  const auto opcode = taken ? wire::OP_CREATE_ACK : wire::OP_CREATE_NAK;
  const std::uint32_t block = taken ? data.block : expected_block_.load();
  const auto tail = answers_offered_.load() ? aor::read_tail(data.after_data) : std::nullopt;
  if (!tail) {
    if (taken) {
      endpoints_.send(endpoint_index, wire::build_create_ack(block), uploading_client_, wire::kControlPort);
    } else {
      endpoints_.send(endpoint_index, wire::build_create_nak(block), uploading_client_, wire::kControlPort);
    }
    return;
  }
  if (tail_packets_.fetch_add(1) == 0) endpoints_.set_receive_linger(kPipelinedLinger);
  // The first refusal after a taken block reports a loss at once; the rest of the
  // blocks in flight behind it would only repeat it. A finished upload answers
  // every repeat of its end.
  const bool first_refusal = !taken && !refusal_answered_;
  if (!taken) refusal_answered_ = true;
  if (!tail->answer_this && !first_refusal && state_.load() != kFinished) return;
  tail_answers_.fetch_add(1);
  endpoints_.send(endpoint_index, aor::build_answer(opcode, block, tail->send_number), uploading_client_,
                  wire::kControlPort);
}

bool ReceiveEngine::accept(const wire::CreateData& data) {
  const std::uint32_t expected = expected_block_.load();
  if (data.block != expected) {
    // The block just taken, sent again because its acknowledgement was lost: it is
    // acknowledged again and not used.
    return expected > 0 && data.block == expected - 1;
  }
  // A new upload begins with block 0. Only an accepted block 0 disarms the link
  // patch: a stray late copy of block 0 must not cancel a patch that is due.
  if (data.block == 0) records_.disarm_link_patch();
  // Past the bound nothing more is written; the supervision ends the Create.
  if (too_large_.load()) return false;
  if (!stream_.append(data.data)) {
    note_refusal(data.block);
    return false;
  }
  refusals_ = 0;
  refusal_answered_ = false;
  stream_.consume(records_);
  if (records_.end_seen()) {
    upload_ms_.store(clock_.now() - started_at_.load());
    state_.store(kEndSeen);
  }
  expected_block_.store(expected + 1);
  return true;
}

std::int64_t ReceiveEngine::image_bytes() const {
  return total_bytes_ - remaining_bytes_ + static_cast<std::int64_t>(stream_.buffered());
}

void ReceiveEngine::note_refusal(std::uint32_t block) {
  // The buffer holds only the start of a record that the block cannot complete;
  // as the Client sends the same block again, nothing will ever change.
  refusals_ = refusals_ > 0 && block == refused_block_ ? refusals_ + 1 : 1;
  refused_block_ = block;
  if (refusals_ >= kStalledRepeats) stalled_.store(true);
}

std::int64_t ReceiveEngine::upload_limit(const ClientRecord& client, bool sector_by_sector) {
  std::int64_t bytes = selected_disk_bytes(client);
  // Every sector up to the end of the last partition: gaps and the room of an
  // extended partition too, as much as the whole disk.
  if (sector_by_sector && client.selected_disk_exists()) {
    const DiskEntry& disk = client.disks[static_cast<std::size_t>(client.selected_disk)];
    bytes = std::max<std::int64_t>(bytes, std::int64_t{disk.size_sectors} * 512);
  }
  return bytes + kFixedSlackBytes + bytes / kSlackShare;
}

void ReceiveEngine::data_counted(std::size_t length) {
  remaining_bytes_ -= static_cast<std::int64_t>(length);
  if (total_bytes_ - remaining_bytes_ > limit_bytes_) too_large_.store(true);
  update_progress();
}

void ReceiveEngine::update_progress() {
  if (stats_.progress_total.load() < 2) return;
  ReceivingDialogHooks* dialog = dialog_.load();
  // Once per Create. The dialog only stores the range for its next refresh, so
  // nothing needs to settle first: a receive thread that waited here would let
  // the packets of a pipelined upload overflow its socket.
  if (stats_.fix_divisor_if_unset() && dialog) {
    dialog->set_progress_range(0, kProgressRange);
    dialog->set_position(0);
  }
  if (const auto position = stats_.next_position()) {
    if (dialog) dialog->set_position(*position);
  }
}

void ReceiveEngine::supervise() {
  ReceivingDialogHooks* dialog = dialog_.load();
  auto fail = [&](int from, CreateOutcome why, const std::string& text) {
    int expected = from;
    // Finished before the message opens: packets that arrive while it is shown
    // are acknowledged and dropped.
    if (!state_.compare_exchange_strong(expected, kFinished)) return false;
    failure_.store(why);
    if (dialog) dialog->end_with_cancel();
    messages_.show_message(text);
    return true;
  };
  const int state = state_.load();
  if (state == kReceiving && tick_later(clock_.now(), activity_deadline_.load())) {
    fail(kReceiving, CreateOutcome::silent, kSilentText);
    return;
  }
  if (state == kReceiving && stalled_.load()) {
    fail(kReceiving, CreateOutcome::invalid_stream, kInvalidStreamText);
    return;
  }
  if ((state == kReceiving || state == kEndSeen) && too_large_.load()) {
    fail(state, CreateOutcome::too_large, kTooLargeText);
    return;
  }
  // A failed write also ends an upload whose end record has already been seen:
  // the file misses data, so it must not be kept as a finished image.
  if ((state == kReceiving || state == kEndSeen) && records_.disk_full()) {
    if (fail(state, CreateOutcome::disk_full, kDiskFullText)) records_.clear_disk_full();
    return;
  }
  if ((state == kReceiving || state == kEndSeen) && records_.write_error() != 0) {
    fail(state, CreateOutcome::write_failed, write_failed_text(records_.write_error()));
    return;
  }
  if (state == kEndSeen) {
    int expected = kEndSeen;
    if (state_.compare_exchange_strong(expected, kFinished) && dialog) dialog->end_with_ok();
  }
}

void ReceiveEngine::delete_file() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

CreateOutcome ReceiveEngine::finish(ReceivingDialogHooks::End end) {
  endpoints_.set_receive_linger(std::chrono::microseconds(0));
  // Kept only when the end record was seen and nothing went wrong on the way; the
  // dialog ended with OK before that (the Enter key) would otherwise keep a
  // truncated image as if it were whole.
  int end_seen = kEndSeen;
  state_.compare_exchange_strong(end_seen, kFinished);
  const bool whole = end == ReceivingDialogHooks::End::ok && state_.load() == kFinished && records_.end_seen() &&
                     failure_.load() == CreateOutcome::completed && !records_.disk_full() &&
                     records_.write_error() == 0 && !too_large_.load();
  CreateOutcome outcome = CreateOutcome::completed;
  if (whole) {
    int close_error;
    {
      std::lock_guard lock(mutex_);
      close_error = file_.close();
    }
    // The Client may still repeat its last packet; it is answered meanwhile.
    std::this_thread::sleep_for(timing_.end_linger);
    state_.store(kIdle);
    if (close_error != 0) {
      // The last bytes did not reach the disk: the image is incomplete.
      const bool full = BufferedFileWriter::is_disk_full(close_error);
      outcome = full ? CreateOutcome::disk_full : CreateOutcome::write_failed;
      delete_file();
      messages_.show_message(full ? std::string(kDiskFullText) : write_failed_text(close_error));
    }
  } else {
    outcome = failure_.load() == CreateOutcome::completed ? CreateOutcome::cancelled : failure_.load();
    {
      std::lock_guard lock(mutex_);  // no packet is being handled past this point
      state_.store(kIdle);
    }
    const auto abort = wire::build_abort();
    for (int i = 0; i < kAbortRepeats; ++i)
      endpoints_.send(client_interface_, abort, uploading_client_, wire::kControlPort);
    {
      std::lock_guard lock(mutex_);
      file_.close();
    }
    delete_file();
  }
  std::lock_guard lock(mutex_);
  records_.clear_disk_full();
  dialog_.store(nullptr);
  path_.clear();
  return outcome;
}

std::string ReceiveEngine::write_failed_text(int error) { return kWriteFailedText + std::string(std::strerror(error)); }

}  // namespace kestrelon
