#pragma once
// The Controller's parts beneath its transfer engines, wired as the program
// wires them, for tests of an engine or a flow on real sockets.
#include "net/client_record.h"
#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/program_locks.h"
#include "net/receive_dispatcher.h"
#include "support/recording_ui.h"
#include "transfer/transfer_stats.h"

namespace kestrelon::test {

// The user-interface port, the locks, the receive path and the client tables.
struct ControllerParts {
  RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard board{ui};
  ReceiveDispatcher dispatcher{locks.receive, board};
  EndpointTable endpoints{dispatcher, ui};
  ClientTables tables;
  TransferStats stats;
};

}  // namespace kestrelon::test
