#include "platform/clock.h"

namespace kestrelon {

SystemClock& SystemClock::instance() {
  static SystemClock clock;
  return clock;
}

}  // namespace kestrelon
