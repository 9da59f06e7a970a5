#pragma once
// Program-wide tuning values, set from the command line (CShadowCommandLineInfo)
// and read by the engines and the endpoints.
namespace kestrelon {

struct TuningValues {
  int window_full_timeouts = 50;    // "rc": before another acknowledging Client is chosen
  int ack_timeout_ms = 300;         // "rt": acknowledgement timeout
  int resend_delay_ms = 11;         // "nt": delay before acting on a resend request
  int create_inactivity_ms = 7000;  // "gut": silence that ends a Create
  int multicast_ttl = 1;            // "mttl": multicast time-to-live of every socket
  int fast_copy = 0;                // "fast": non-zero sends a Copy in fast mode
  int rate_cap_mbs = 0;             // "rate": a Copy's send rate at most, MB/s; 0 = no cap
};

}  // namespace kestrelon
