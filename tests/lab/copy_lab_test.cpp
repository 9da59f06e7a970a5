// Copies across the network lab: `kestrelon-cli copy` on host 0 multicasts one
// image to reference Clients on the other hosts, which keep what they receive
// (--store); every stored image must equal the source byte for byte. Images are
// small so the suite stays short; bench/ measures speed on large ones.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include <fstream>
#include <nlohmann/json.hpp>

#include "commands/journal_record.h"
#include "lab_network.h"
#include "support/image_files.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;
using lab::LabProcess;

std::string client_name(int host) { return "PC-" + std::to_string(host); }

class CopyLab {
 public:
  explicit CopyLab(int clients) : net_(clients), clients_(clients) {
    ::setenv("KESTRELON_SETTINGS_DIR", (dir_.path() + "/settings").c_str(), 1);
    // The transfer journal of the programs started here.
    ::setenv("XDG_STATE_HOME", (dir_.path() + "/state").c_str(), 1);
  }
  bool ok() const { return net_.ok(); }
  const std::string& error() const { return net_.error(); }
  LabNetwork& net() { return net_; }

  // A pattern image of `length` bytes whose partition summary claims nothing, so
  // every Client has room for it.
  void make_image(std::uint64_t length) {
    test::write_file(image(), test::image_bytes({.length = length, .partition_count = 0}));
  }
  // The same with one partition of `data_sectors` to restore, which a Client's
  // disk must have room for.
  void make_image(std::uint64_t length, std::uint32_t data_sectors) {
    test::write_file(image(), test::image_bytes({.length = length,
                                                 .partition_count = 1,
                                                 .full_sectors = {data_sectors},
                                                 .data_sectors = {data_sectors}}));
  }
  std::string journal() const { return dir_.path() + "/state/kestrelon/transfers.jsonl"; }
  // kestrelon-cli with `args` on host 0; its exit status and output.
  int cli(const std::vector<std::string>& args, std::string& output) {
    std::vector<std::string> argv{KESTRELON_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    LabProcess p = net_.spawn(0, argv);
    const auto status = p.wait(60s);
    output = p.output();
    return status.value_or(-1);
  }
  std::string image() const { return dir_.path() + "/lab.krn"; }
  std::string stored(int host) const { return dir_.path() + "/store-" + std::to_string(host) + "/lab.krn"; }

  // Starts a reference Client on every Client host; `extra[host]` adds options.
  void start_clients(const std::vector<std::vector<std::string>>& extra = {}) {
    for (int host = 1; host <= clients_; ++host) {
      const std::string store = dir_.path() + "/store-" + std::to_string(host);
      ASSERT_EQ(net_.exec(0, "mkdir -p " + store), 0);
      std::vector<std::string> argv{KESTRELON_CLIENT_PATH, "--address", LabNetwork::address(host).text(),
                                    "--name", client_name(host), "--store", store, "--store-size", "1G",
                                    "--verbose"};
      if (static_cast<std::size_t>(host) < extra.size())
        argv.insert(argv.end(), extra[static_cast<std::size_t>(host)].begin(), extra[static_cast<std::size_t>(host)].end());
      processes_.push_back(net_.spawn(host, argv));
      ASSERT_TRUE(processes_.back().started());
    }
  }

  // Runs the copy to every Client host on host 0; returns the exit status and
  // keeps the command's output.
  int copy(std::vector<std::string> switches = {}, int discover_seconds = 20) {
    std::vector<std::string> argv{KESTRELON_CLI_PATH, "copy", image(), "--discover-seconds",
                                  std::to_string(discover_seconds)};
    for (int host = 1; host <= clients_; ++host) {
      argv.push_back("--client");
      argv.push_back(client_name(host));
    }
    argv.insert(argv.end(), switches.begin(), switches.end());
    LabProcess cli = net_.spawn(0, argv);
    const auto status = cli.wait(180s);
    output_ = cli.output();
    return status.value_or(-1);
  }
  const std::string& output() const { return output_; }
  // The Controller's output and every Client's step-by-step report, for a failure.
  std::string report() const {
    std::string text = output_;
    for (std::size_t i = 0; i < processes_.size(); ++i) {
      text += "\n--- " + client_name(static_cast<int>(i) + 1) + ":\n" + processes_[i].output();
    }
    return text;
  }

  bool stored_equals_source(int host) const {
    const auto got = test::read_file(stored(host));
    return !got.empty() && got == test::read_file(image());
  }

 private:
  test::TempDir dir_;
  LabNetwork net_;
  int clients_;
  std::vector<LabProcess> processes_;
  std::string output_;
};

// (Clients, percent of datagrams lost on the second Client host, image length)
class CopyLabTest : public ::testing::TestWithParam<std::tuple<int, double, std::uint64_t>> {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
};

TEST_P(CopyLabTest, EveryClientStoresTheImageByteForByte) {
  const auto [clients, loss, length] = GetParam();
  CopyLab lab(clients);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(length);
  if (loss > 0) {
    ASSERT_TRUE(lab.net().set_loss(clients >= 2 ? 2 : 1, loss));
  }
  lab.start_clients();
  ASSERT_EQ(lab.copy(), 0) << lab.report();
  EXPECT_NE(lab.output().find("to " + std::to_string(clients) + " client(s)"), std::string::npos) << lab.output();
  for (int host = 1; host <= clients; ++host) EXPECT_TRUE(lab.stored_equals_source(host)) << "host " << host;
}

INSTANTIATE_TEST_SUITE_P(
    ClientsAndLoss, CopyLabTest,
    ::testing::Values(std::make_tuple(1, 0.0, 1350u * 1500u),  // an exact multiple of the block size
                      std::make_tuple(1, 2.0, 2'000'001u), std::make_tuple(3, 0.0, 2'000'001u),
                      std::make_tuple(3, 2.0, 1350u * 1600u), std::make_tuple(6, 0.0, 3'000'017u),
                      std::make_tuple(6, 2.0, 3'000'017u)),
    [](const auto& p) {
      return std::to_string(std::get<0>(p.param)) + "Clients" + (std::get<1>(p.param) > 0 ? "TwoPercentLoss" : "NoLoss");
    });

// Single lab tests: each needs the lab, nothing more.
class LabTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
};
using CopyLabFailureTest = LabTest;

TEST_F(CopyLabFailureTest, AClientThatDiesMidCopyIsReportedAndTheOthersComplete) {
  CopyLab lab(3);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(4'000'000);
  // The Client on host 2 ends its process at block 1000 of about 2963.
  lab.start_clients({{}, {}, {"--exit-after", "1000"}});
  // A short acknowledgement timeout lets a hand-over (should the dead Client have
  // led) happen within seconds rather than 15.
  EXPECT_EQ(lab.copy({"-rt", "100", "-rc", "10"}), 1) << lab.output();
  const std::string& out = lab.output();
  const auto list = out.find("List of failed Clients:\n");
  ASSERT_NE(list, std::string::npos) << out;
  // The list's rows, each indented, up to the next line that is not one.
  std::string rows;
  for (std::size_t at = out.find('\n', list) + 1; out.compare(at, 2, "  ") == 0; at = out.find('\n', at) + 1)
    rows += out.substr(at, out.find('\n', at) - at) + "\n";
  EXPECT_NE(rows.find("PC-2"), std::string::npos) << out;
  EXPECT_EQ(rows.find("PC-1"), std::string::npos) << "PC-1 completed: " << out;
  EXPECT_EQ(rows.find("PC-3"), std::string::npos) << "PC-3 completed: " << out;
  EXPECT_NE(out.find("1 of 3 client(s) did not complete the copy."), std::string::npos) << out;
  EXPECT_TRUE(lab.stored_equals_source(1));
  EXPECT_TRUE(lab.stored_equals_source(3));
}

// The JSON objects among a command's output lines (its messages go there too).
std::vector<nlohmann::json> json_lines(const std::string& output) {
  std::vector<nlohmann::json> objects;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t end = std::min(output.find('\n', start), output.size());
    if (output[start] == '{') objects.push_back(nlohmann::json::parse(output.substr(start, end - start)));
    start = end + 1;
  }
  return objects;
}

// The last "client" event about `name`.
nlohmann::json last_event_of(const std::vector<nlohmann::json>& events, const std::string& name) {
  nlohmann::json found;
  for (const auto& e : events)
    if (e.value("event", "") == "client" && e.value("name", "") == name) found = e;
  return found;
}

TEST_F(CopyLabFailureTest, SkipUnreadyCopiesToTheReadyClientNamesTheOthersAndRecordsOneLine) {
  CopyLab lab(2);
  ASSERT_TRUE(lab.ok()) << lab.error();
  // 20 MB of partitions to restore: PC-2's store announces room for 1 MB only.
  lab.make_image(1'000'000, 40'000);
  lab.start_clients({{}, {}, {"--store-size", "1M"}});
  // The third Client, PC-9, runs nowhere: it is offline.
  EXPECT_EQ(lab.copy({"--client", "PC-9", "--skip-unready", "--json"}, 3), 3) << lab.report();

  const auto events = json_lines(lab.output());
  const auto offline = last_event_of(events, "PC-9");
  EXPECT_EQ(offline.value("outcome", ""), "skipped") << lab.output();
  EXPECT_EQ(offline.value("reason", ""), "offline: not discovered");
  EXPECT_TRUE(offline["address"].is_null());
  const auto small = last_event_of(events, "PC-2");
  EXPECT_EQ(small.value("outcome", ""), "skipped") << lab.output();
  EXPECT_EQ(small.value("reason", "").rfind("disk too small: the image needs 20.5 MB, disk 1 has 1.0 MB", 0), 0u)
      << small.dump();
  EXPECT_EQ(small.value("address", ""), LabNetwork::address(2).text()) << "a plain dotted quad";
  const auto ready = last_event_of(events, "PC-1");
  EXPECT_EQ(ready.value("outcome", ""), "done") << lab.output();
  std::vector<std::string> steps;
  for (const auto& e : events)
    if (e.value("event", "") == "client" && e.value("name", "") == "PC-1") steps.push_back(e["outcome"]);
  EXPECT_EQ(steps, (std::vector<std::string>{"start sent", "ready", "done"}));
  EXPECT_TRUE(lab.stored_equals_source(1));

  ASSERT_FALSE(events.empty());
  const nlohmann::json& summary = events.back();
  EXPECT_EQ(summary.value("event", ""), "summary");
  EXPECT_EQ(summary.value("result", ""), "partial");
  EXPECT_EQ(summary.value("bytes", 0u), 1'000'000u);
  EXPECT_EQ(summary["targets"].size(), 3u);

  // The journal holds this copy as one line, and history gives it back.
  std::ifstream in(lab.journal());
  std::string line, only;
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    only = line;
  }
  ASSERT_EQ(lines, 1) << "journal " << lab.journal();
  std::string history;
  ASSERT_EQ(lab.cli({"history", "--json"}, history), 0) << history;
  EXPECT_EQ(history, only + "\n");
  nlohmann::json recorded = nlohmann::json::parse(only);
  EXPECT_EQ(recorded["kind"], "copy");
  EXPECT_EQ(recorded["program"], "kestrelon-cli");
  EXPECT_EQ(recorded["targets"], summary["targets"]);
}

TEST_F(CopyLabFailureTest, AClientThatFallsSilentIsReportedWithWhatWasLastHeard) {
  CopyLab lab(3);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(4'000'000);
  // PC-3 stops answering after block 1000 of about 2963.
  lab.start_clients({{}, {}, {}, {"--silent-after", "1000"}});
  EXPECT_EQ(lab.copy({"-rt", "100", "-rc", "10", "--json"}), 1) << lab.report();
  const auto events = json_lines(lab.output());
  const auto silent = last_event_of(events, "PC-3");
  ASSERT_EQ(silent.value("outcome", ""), "failed") << lab.output();
  const std::string reason = silent.value("reason", "");
  EXPECT_NE(reason.find("; last heard: "), std::string::npos) << reason;
  ASSERT_TRUE(silent.contains("last_heard")) << silent.dump();
  const auto& heard = silent["last_heard"];
  EXPECT_TRUE(heard["answer"] == "acknowledgement" || heard["answer"] == "resend request") << heard.dump();
  EXPECT_LE(heard.value("block", 100000), 1000) << "nothing after the block it fell silent at";
  EXPECT_GT(heard.value("seconds_before_end", 0.0), 0.0);
  EXPECT_EQ(last_event_of(events, "PC-1").value("outcome", ""), "done");
  EXPECT_EQ(last_event_of(events, "PC-2").value("outcome", ""), "done");
  EXPECT_EQ(events.back().value("result", ""), "partial");
}

// A copy started with --after 5s: the checks and the discovery first, then no
// copy start until five seconds after the command began, then the whole copy.
TEST_F(CopyLabFailureTest, ACopyAfterADelaySendsNoStartBeforeItAndThenCompletes) {
  CopyLab lab(2);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(1'000'000);
  lab.start_clients();
  // Timestamps in the events are whole local seconds; the bound is too.
  const std::int64_t launched = static_cast<std::int64_t>(std::time(nullptr));
  std::string output;
  ASSERT_EQ(lab.cli({"copy", lab.image(), "--all", "--after", "5s", "--json", "--discover-seconds", "2"}, output), 0)
      << output;

  const auto events = json_lines(output);
  std::string announced, first_start;
  for (const auto& e : events) {
    if (e.value("event", "") == "message" && e.value("text", "").rfind("the copy starts at ", 0) == 0)
      announced = e.value("time", "");
    if (e.value("event", "") == "client" && e.value("outcome", "") == "start sent" && first_start.empty())
      first_start = e.value("time", "");
  }
  ASSERT_FALSE(announced.empty()) << output;
  ASSERT_FALSE(first_start.empty()) << output;
  // Same format and offset: the texts order as the times do.
  EXPECT_GE(first_start, local_time_text((launched + 5) * 1000)) << output;
  EXPECT_LT(announced, first_start) << "the countdown came before the start";
  EXPECT_EQ(last_event_of(events, "PC-1").value("outcome", ""), "done") << output;
  EXPECT_EQ(last_event_of(events, "PC-2").value("outcome", ""), "done") << output;
  EXPECT_TRUE(lab.stored_equals_source(1));
  EXPECT_TRUE(lab.stored_equals_source(2));
}

// The number that ends just before `marker` in kestrelon-cli's output, or -1.
double number_before(const std::string& output, const std::string& marker) {
  const auto end = output.find(marker);
  if (end == std::string::npos || end == 0) return -1;
  const auto space = output.find_last_of(' ', end - 1);
  const std::size_t begin = space == std::string::npos ? 0 : space + 1;
  try {
    return std::stod(output.substr(begin, end - begin));
  } catch (const std::exception&) {
    return -1;
  }
}

// Fast mode (-fast 1, or --fast of kestrelon-cli) and the rate cap (--rate).
using FastCopyLabTest = LabTest;

TEST_F(FastCopyLabTest, ThreeClientsWithTwoPercentLossOnOneStoreTheImageByteForByte) {
  CopyLab lab(3);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(4'000'037);
  ASSERT_TRUE(lab.net().set_loss(2, 2.0));
  lab.start_clients();
  ASSERT_EQ(lab.copy({"-fast", "1"}), 0) << lab.report();
  for (int host = 1; host <= 3; ++host) EXPECT_TRUE(lab.stored_equals_source(host)) << "host " << host;
}

TEST_F(FastCopyLabTest, AClientThatDropsEveryEarlyBlockStillCompletes) {
  CopyLab lab(2);
  ASSERT_TRUE(lab.ok()) << lab.error();
  lab.make_image(3'000'017);
  // Host 2 loses datagrams and keeps no block that comes after a lost one, so
  // every block resent alone is followed by a request for the next.
  ASSERT_TRUE(lab.net().set_loss(2, 2.0));
  lab.start_clients({{}, {}, {"--drop-out-of-order"}});
  ASSERT_EQ(lab.copy({"--fast"}), 0) << lab.report();
  EXPECT_GT(number_before(lab.output(), " resend request"), 0) << "host 2 asked for its lost blocks: " << lab.output();
  EXPECT_TRUE(lab.stored_equals_source(1));
  EXPECT_TRUE(lab.stored_equals_source(2));
}

TEST_F(FastCopyLabTest, TheRateCapHoldsTheMeasuredRateWithinTenPercent) {
  // A low cap over some seconds: far below what the lab carries even when the
  // machine is busy, so the cap and not the machine sets the pace.
  constexpr double kCap = 5;
  for (const char* mode : {"default", "fast"}) {
    CopyLab lab(2);
    ASSERT_TRUE(lab.ok()) << lab.error();
    lab.make_image(15'000'000);
    lab.start_clients();
    std::vector<std::string> switches{"--rate", "5"};
    if (std::string(mode) == "fast") switches.push_back("--fast");
    ASSERT_EQ(lab.copy(switches), 0) << lab.report();
    // The image's bytes over the time from the first block to the last Client
    // done, from kestrelon-cli's closing line ("... in 3.04 s: 4.93 MB/s."; the
    // progress lines end without a period).
    const double rate = number_before(lab.output(), " MB/s.");
    EXPECT_GE(rate, kCap * 0.9) << mode << ": " << lab.output();
    EXPECT_LE(rate, kCap * 1.1) << mode << ": " << lab.output();
    EXPECT_TRUE(lab.stored_equals_source(1)) << mode;
    EXPECT_TRUE(lab.stored_equals_source(2)) << mode;
  }
}

}  // namespace
}  // namespace kestrelon
