// The words the window uses for how a transfer ended (its status bar, the reasons
// in the list of failed Clients) and for a start without a usable network.
#include "commands/transfer_outcome.h"

#include <gtest/gtest.h>

#include "commands/network_advice.h"

namespace kestrelon {
namespace {

TargetState target(const char* name, int last_octet, TargetStep step, const char* reason = "") {
  return {.name = name, .address = Ipv4Address(10, 0, 0, last_octet), .step = step, .reason = reason};
}

TEST(TransferOutcome, EachWayACopyOrCreateEndsReadsAsOneLine) {
  JournalFacts copy{.kind = "copy", .image = "/srv/images/lab.krn", .bytes = 17'700'000, .seconds = 1.0};
  copy.targets = {target("PC-01", 1, TargetStep::done), target("PC-02", 2, TargetStep::done)};
  EXPECT_EQ(transfer_outcome_line(copy), "Copied lab.krn to 2 of 2 Clients, 17.7 MB/s");
  copy.targets.push_back(target("PC-03", 3, TargetStep::failed, "fell silent"));
  copy.targets.push_back(target("PC-04", 4, TargetStep::skipped, "offline: not discovered"));
  EXPECT_EQ(transfer_outcome_line(copy),
            "Copied lab.krn to 2 of 4 Clients; not done: PC-03 (fell silent), PC-04 (offline: not discovered)");
  copy.targets = {target("PC-03", 3, TargetStep::failed, "no answer to the start request")};
  EXPECT_EQ(transfer_outcome_line(copy), "Copy of lab.krn failed: PC-03 (no answer to the start request)");
  copy.cancelled = true;
  EXPECT_EQ(transfer_outcome_line(copy), "Copy of lab.krn cancelled");

  JournalFacts create{.kind = "create", .image = "lab.krn", .bytes = 4'700'000, .seconds = 1.0};
  create.targets = {target("PC-01", 1, TargetStep::done)};
  EXPECT_EQ(transfer_outcome_line(create), "Created lab.krn from PC-01, 4.7 MB/s");
  create.targets = {target("PC-01", 1, TargetStep::failed, "the disk is full")};
  EXPECT_EQ(transfer_outcome_line(create), "Create of lab.krn from PC-01 failed: the disk is full");
}

TEST(TransferOutcome, FailedClientsGetTheirReasonsByAddress) {
  const std::vector<ClientRowFields> rows = {{.name = "B", .address = "010.000.000.002"},
                                             {.name = "X", .address = "010.000.000.009"}};
  const std::vector<TargetState> outcomes = {target("A", 1, TargetStep::done),
                                             target("B", 2, TargetStep::failed, "cancelled")};
  EXPECT_EQ(failure_reasons(rows, outcomes), (std::vector<std::string>{"cancelled", ""}));
}

// The message without any address is the window's test; here the other cases.
TEST(NetworkAdvice, SaysWhatIsMissingAndWhatToDo) {
  EXPECT_NE(network_setup_advice("Error setting up TCP/IP (Is is installed?) :IP_ADD_MEMBERSHIP (19)")
                .find("multicast"),
            std::string::npos);
  EXPECT_EQ(network_setup_advice("Could not open lab.krn"), "");

  EXPECT_NE(network_note({}, false).find("no interface could be opened"), std::string::npos);
  EXPECT_NE(network_note({Ipv4Address(127, 0, 0, 1)}, false).find("only loopback"), std::string::npos);
  EXPECT_EQ(network_note({Ipv4Address(127, 0, 0, 1)}, true), "") << "loopback was asked for";
  EXPECT_EQ(network_note({Ipv4Address(127, 0, 0, 1), Ipv4Address(10, 0, 0, 1)}, false), "");
}

}  // namespace
}  // namespace kestrelon
