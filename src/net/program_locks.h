#pragma once
// The three program-wide locks. Members are constructed in declaration order, which
// is the order the program creates them in: worker semaphore, receive lock,
// client table lock.
//
// Lock order: a thread that needs both takes the receive lock first. Only receive
// threads take the receive lock; the user-interface thread and the copy worker take
// only the client table lock.
#include "platform/semaphore.h"

namespace kestrelon {

struct ProgramLocks {
  Semaphore worker{1, 1};        // at most one copy worker drives the copy engine
  Semaphore receive{1, 1};       // one datagram handled at a time, program-wide
  Semaphore client_table{1, 1};  // the client table, the target table, per-target transfer fields
};

}  // namespace kestrelon
