#pragma once
// The network half of Create: one Client uploads one of its disks in numbered
// OP_CREATE_DATA packets, each acknowledged or refused one by one; the joined
// payloads are the upload stream, whose records are written into the image file.
// A Client that takes the offer of answers on request (receive_engine_answers.h)
// is answered only where it asks, so a pipelined upload costs no send per block.
//
// Threads: on_create_data runs on a receive thread under the receive lock;
// start, supervise and finish run on the user-interface thread. An internal mutex
// keeps the file and the stream out of reach of finish while a packet is being
// handled, so the file is never closed under a write.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/client_record.h"
#include "net/endpoint_table.h"
#include "net/packet_handlers.h"
#include "net/user_messages.h"
#include "platform/clock.h"
#include "transfer/buffered_file_writer.h"
#include "transfer/image_record_writer.h"
#include "transfer/receiving_dialog_hooks.h"
#include "transfer/transfer_stats.h"
#include "transfer/upload_stream.h"

namespace kestrelon {

// How a Create ended, as finish reports it.
enum class CreateOutcome {
  completed,     // the end record was seen and the file closed whole: it is kept
  cancelled,     // the user cancelled (or ended the dialog before the end record)
  silent,        // the Client stopped sending
  disk_full,     // the disk filled up
  write_failed,  // the file could not be written for another reason
  invalid_stream,  // the Client kept sending a block whose record can never be completed
  too_large,       // the Client sent more than its disk's partitions can hold
  no_partition_summary,  // the image ended without a partition summary
};

struct ReceiveTiming {
  Tick inactivity_ms = 7000;                   // the command-line word "gut"
  std::chrono::milliseconds end_linger{1500};  // repeats of the last block are still answered
};

class ReceiveEngine final : public CreateDataHandler {
 public:
  enum State : int {
    kIdle = 0,
    kStarting1 = 1,
    kStarting2 = 2,
    kReceiving = 3,
    kEndSeen = 4,
    kFinished = 5,  // the supervision has dealt with the end, a failure or silence
  };

  static constexpr const char* kSilentText = "The client did not complete the transfer!";
  static constexpr const char* kDiskFullText = "The disk is full!";
  // Followed by the system's text for the error.
  static constexpr const char* kWriteFailedText = "The image file could not be written: ";
  static constexpr const char* kInvalidStreamText =
      "The client's upload stream is invalid: it holds a record that can never be completed!";
  static constexpr const char* kTooLargeText =
      "The client sent more data than the partitions of its disk can hold; the image was not kept!";
  static constexpr const char* kNoSummaryText =
      "The client's image holds no partition summary, so it could never be copied; it was not kept!";
  static constexpr int kAbortRepeats = 3;
  // What an image may hold beyond the data of the disk's partitions (copied sector
  // by sector, of the whole disk) as the Client announced them: its header and
  // tables, a boot track, compression that does not pay. Beyond it the upload is
  // given up: it is no image of that disk, and would fill the Controller's disk.
  static constexpr std::int64_t kFixedSlackBytes = 2 << 20;
  static constexpr std::int64_t kSlackShare = 64;  // and 1/64 of the partitions' data

  // Refusals in a row of the same block for want of room in the stream buffer
  // after which the upload is given up: nothing else can make room.
  static constexpr int kStalledRepeats = 20;
  // How long the receive thread waits for more datagrams before it sleeps, while
  // a Client that took answers on request uploads (EndpointTable::set_receive_linger).
  static constexpr std::chrono::microseconds kPipelinedLinger{50};

  struct StartParams {
    BufferedFileWriter file;          // open for create and write
    ClientRecord client;              // the uploading Client; its selected disk is read
    std::string description;          // laid over the image header
    int compression_position = 9;     // the slider, 0 to 9
    bool sector_by_sector = false;    // "Force sector-by-sector copying"
    ReceivingDialogHooks* dialog = nullptr;  // owned by the Create flow
  };

  ReceiveEngine(EndpointTable& endpoints, TransferStats& stats, UserMessages& messages, const Clock& clock,
                ReceiveTiming timing = {});
  ReceiveEngine(const ReceiveEngine&) = delete;
  ReceiveEngine& operator=(const ReceiveEngine&) = delete;

  // Takes the open file and asks the Client for its disk. The caller then runs
  // the Receiving dialog modally and calls finish with its end.
  void start(StartParams params);

  // Receive thread, receive lock held. Data from any address but the uploading
  // Client's is counted and dropped unanswered. Only a block taken that moves the
  // Create on keeps it alive: one that brings bytes for the image, or one whose
  // read progress (its done value) is above every one before, as the Client's
  // keep-alive while it reads a long empty stretch is. An uploader that sends
  // only refused blocks, repeats, or empty records without progress falls
  // silent after the inactivity time.
  void on_create_data(const wire::CreateData& data, Ipv4Address from, int endpoint_index) override;

  // Every 500 ms on the user-interface thread: ends the Receiving dialog when the
  // upload has ended, failed or gone silent, and shows why.
  void supervise();

  // After the Receiving dialog has closed: keeps the file when the upload ended
  // whole; otherwise tells the Client to stop and deletes the partial file.
  CreateOutcome finish(ReceivingDialogHooks::End end);

  int state() const { return state_.load(); }
  Tick inactivity_ms() const { return timing_.inactivity_ms; }
  bool compressed() const { return compressed_.load(); }
  std::uint32_t expected_block() const { return expected_block_.load(); }
  // The most data bytes an upload of this Client's selected disk may bring: its
  // partitions, or with every sector the whole disk, and the slack above.
  static std::int64_t upload_limit(const ClientRecord& client, bool sector_by_sector);
  // Upload data dropped because it came from another address, over the run.
  std::uint64_t foreign_packets() const { return foreign_.load(); }
  // Milliseconds from the request to the end record of the last Create that saw
  // one; 0 before.
  Tick upload_milliseconds() const { return upload_ms_.load(); }

  // Whether the Create request offers answers on request (it does unless told
  // otherwise; without the offer the engine answers every packet). Set between
  // Creates.
  void set_answers_offered(bool offered) { answers_offered_ = offered; }
  // Packets of the last Create that took the offer, and answers sent to them.
  std::uint64_t packets_with_tail() const { return tail_packets_.load(); }
  std::uint64_t answers_to_tails() const { return tail_answers_.load(); }

  // The level sent for a slider position: 0 and 1 as they are, 2 to 5 as 5,
  // 6 to 9 as 9.
  static std::uint16_t compression_level(int slider_position);
  // 512 times the summed sizes of the partitions of the record's selected disk.
  static std::int64_t selected_disk_bytes(const ClientRecord& client);

 private:
  bool accept(const wire::CreateData& data);
  // Image bytes the upload has brought: data written and bytes waiting in the
  // stream buffer (record heads that are consumed do not count).
  std::int64_t image_bytes() const;
  void answer(bool taken, const wire::CreateData& data, int endpoint_index);
  void note_refusal(std::uint32_t block);
  void data_counted(std::size_t length);
  void update_progress();
  void delete_file();
  static std::string write_failed_text(int error);

  EndpointTable& endpoints_;
  TransferStats& stats_;
  UserMessages& messages_;
  const Clock& clock_;
  const ReceiveTiming timing_;

  std::atomic<int> state_{kIdle};
  std::atomic<Tick> activity_deadline_{0};
  std::atomic<Tick> started_at_{0};
  std::atomic<Tick> upload_ms_{0};
  std::atomic<bool> compressed_{false};
  std::atomic<std::uint32_t> expected_block_{0};
  std::atomic<ReceivingDialogHooks*> dialog_{nullptr};
  // The failure the supervision ended the upload for; `completed` while there is none.
  std::atomic<CreateOutcome> failure_{CreateOutcome::completed};
  std::atomic<std::uint64_t> foreign_{0};
  // Set on the receive thread when the stream can take no more; the supervision
  // ends the Create.
  std::atomic<bool> stalled_{false};
  // Set on the receive thread when the upload brought more than upload_limit.
  std::atomic<bool> too_large_{false};
  std::atomic<bool> answers_offered_{true};
  std::atomic<std::uint64_t> tail_packets_{0};
  std::atomic<std::uint64_t> tail_answers_{0};

  // Guarded by mutex_: what the receive thread changes while handling a packet.
  std::mutex mutex_;
  Ipv4Address uploading_client_;
  int client_interface_ = 0;
  std::int64_t total_bytes_ = 0;
  std::int64_t remaining_bytes_ = 0;
  std::int64_t limit_bytes_ = 0;
  BufferedFileWriter file_;
  std::string path_;
  ImageRecordWriter records_;
  UploadStream stream_;
  std::uint32_t highest_done_ = 0;   // the highest done value of a block taken
  std::uint32_t refused_block_ = 0;  // the block last refused for want of room
  int refusals_ = 0;                 // how often in a row
  // A refusal has been answered since the last block was taken (answers on request).
  bool refusal_answered_ = false;
};

}  // namespace kestrelon
