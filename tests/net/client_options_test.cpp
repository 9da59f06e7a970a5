// The Client's command line: every option is documented, bad input is refused
// with a message that names it, and the fault dice repeat under a seed.
#include "client_options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "fault_plan.h"

namespace kestrelon::client {
namespace {

ParseResult parse(std::vector<std::string> args) { return parse_client_options(args); }

TEST(ClientOptions, ReadsEveryOption) {
  const auto r = parse({"--disk", "a.img", "--disk=b.img", "--name", "pc", "--address", "10.0.0.5", "--store",
                        "/tmp/x", "--allow-write", "--once", "--verbose", "--seed", "7", "--drop-in", "2.5",
                        "--drop-out", "1", "--duplicate-in", "3", "--duplicate-out", "4", "--delay-in", "5",
                        "--delay-out", "6", "--delay-ms", "20", "--silent-after", "40", "--exit-after", "50",
                        "--never-ack", "--repeat-ready", "2"});
  ASSERT_TRUE(r.options) << r.error;
  const ClientOptions& o = *r.options;
  EXPECT_EQ(o.disks, (std::vector<std::string>{"a.img", "b.img"}));
  EXPECT_EQ(o.name, "pc");
  EXPECT_EQ(o.address, Ipv4Address(10, 0, 0, 5));
  EXPECT_EQ(o.store_dir, "/tmp/x");
  EXPECT_TRUE(o.allow_write && o.once && o.verbose);
  EXPECT_EQ(o.faults.seed, 7u);
  EXPECT_DOUBLE_EQ(o.faults.drop_in, 2.5);
  EXPECT_DOUBLE_EQ(o.faults.delay_out, 6);
  EXPECT_EQ(o.faults.delay_ms, 20);
  EXPECT_EQ(o.faults.silent_after_block, 40);
  EXPECT_EQ(o.faults.exit_after_block, 50);
  EXPECT_TRUE(o.faults.never_acknowledge);
  EXPECT_EQ(o.faults.extra_ready, 2);
}

TEST(ClientOptions, DiskAutoFindsThePcsDisks) {
  const auto r = parse({"--disk", "auto", "--interface", "eth0", "--once"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_TRUE(r.options->discover_disks);
  EXPECT_TRUE(r.options->disks.empty());
  EXPECT_EQ(r.options->system_paths.sys, "/sys");
}

TEST(ClientOptions, EmulatedClientsNeedAFirstAddress) {
  EXPECT_FALSE(parse({"--disk", "d.img", "--count", "5"}).options);
  const auto r = parse({"--disk", "d.img", "--count", "512", "--address-from", "10.47.4.1"});
  ASSERT_TRUE(r.options) << r.error;
  EXPECT_EQ(r.options->count, 512);
  EXPECT_FALSE(parse({"--count", "2", "--address-from", "255.255.255.255"}).options);
  EXPECT_FALSE(parse({"--address", "1.2.3.4", "--address-from", "1.2.3.5"}).options);
}

TEST(ClientOptions, AClientNeedsADiskOrASizedStore) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{}, "give at least one --disk, or --store DIR with --store-size SIZE"},
      {{"--store", "/tmp/s"}, "give at least one --disk"},
      {{"--store-size", "8G"}, "--store-size goes with --store"},
      {{"--disk", "d.img", "--store", "/tmp/s", "--store-size", "8G"}, "without --disk"},
      {{"--disk", "d.img", "--interface", "eth0", "--address", "10.0.0.5"}, "either --interface or --address"},
      {{"--store", "/tmp/s", "--store-size", "3X"}, "--store-size: '3X'"},
      {{"--disk", "auto", "--disk", "d.img"}, "--disk auto finds every disk: give no other --disk"},
      {{"--disk", "auto", "--store", "/tmp/s", "--store-size", "8G"}, "without --disk"},
  };
  for (const auto& [args, text] : refused) {
    const auto r = parse(args);
    EXPECT_FALSE(r.options) << (args.empty() ? "no arguments" : args[0]);
    EXPECT_NE(r.error.find(text), std::string::npos) << "got: " << r.error;
  }
  const auto store = parse({"--store", "/tmp/s", "--store-size", "64G", "--interface", "eth0"});
  ASSERT_TRUE(store.options) << store.error;
  EXPECT_EQ(store.options->store_sectors, 64ull << 21);
  EXPECT_EQ(store.options->interface_name, "eth0");
  EXPECT_FALSE(store.options->address) << "an interface names the address; none is taken by default";
}

TEST(ClientOptions, StoreSizesReadAsAnAnnounceCarriesThem) {
  EXPECT_EQ(parse_store_size("512M"), 1u << 20);
  EXPECT_EQ(parse_store_size("4096k"), 8192u);
  EXPECT_EQ(parse_store_size("1000"), 1u) << "bytes, rounded down to whole sectors";
  EXPECT_EQ(parse_store_size("2047G"), 2047ull << 21);
  EXPECT_FALSE(parse_store_size("511")) << "less than one sector";
  EXPECT_FALSE(parse_store_size("2T")) << "2^32 sectors do not fit the announce's 32 bits";
  EXPECT_FALSE(parse_store_size("-5G"));
  EXPECT_FALSE(parse_store_size("G"));
  EXPECT_FALSE(parse_store_size(""));
}

TEST(ClientOptions, BadInputNamesTheProblem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--disk"}, "--disk needs a value"},
      {{"--address", "10.0.0"}, "'10.0.0' is not an IPv4 address"},
      {{"--count", "0", "--address-from", "1.2.3.4"}, "--count: '0'"},
      {{"--drop-in", "101"}, "--drop-in: '101'"},
      {{"--drop-in", "x"}, "--drop-in: 'x'"},
      {{"--name", std::string(41, 'a')}, "1 to 40 bytes"},
      {{"--once=yes"}, "takes no value"},
      {{"--disk", "1", "--disk", "2", "--disk", "3", "--disk", "4", "--disk", "5"}, "at most 4 disks"},
      {{"--drop-out", "60", "--delay-out", "50"}, "more than 100 percent"},
  };
  for (const auto& [args, text] : cases) {
    const auto r = parse(args);
    EXPECT_FALSE(r.options) << args[0];
    EXPECT_NE(r.error.find(text), std::string::npos) << "got: " << r.error;
  }
}

TEST(ClientOptions, HelpDocumentsEveryOption) {
  const std::string usage = client_usage();
  for (const char* option : {"--disk", "--name", "--address", "--interface", "--count", "--address-from", "--store",
                             "--store-size", "--allow-write", "--once", "--verbose", "--seed", "--drop-in",
                             "--drop-out", "--duplicate-in", "--duplicate-out", "--delay-in", "--delay-out",
                             "--delay-ms", "--silent-after", "--exit-after", "--never-ack", "--repeat-ready",
                             "--drop-out-of-order", "--stop-and-wait", "--compress-threads", "--upload-window",
                             "--zlib", "--slow-read", "--help", "--version"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
    // Every documented option is also accepted (with a value when it takes one),
    // beside a disk, which every Client needs.
    const auto alone = parse({"--disk", "d.img", option});
    const auto with_value = parse({"--disk", "d.img", option, "1"});
    const auto with_store = parse({"--store", "/tmp/s", option, "1G"});
    EXPECT_TRUE(alone.options || with_value.options || with_store.options ||
                alone.error.find("needs a value") != std::string::npos)
        << option << ": " << alone.error;
  }
  // And nothing is accepted that the help does not mention.
  std::set<std::string> documented;
  for (std::size_t at = usage.find("--"); at != std::string::npos; at = usage.find("--", at + 2)) {
    std::size_t end = at + 2;
    while (end < usage.size() && (std::islower(static_cast<unsigned char>(usage[end])) || usage[end] == '-')) ++end;
    documented.insert(usage.substr(at, end - at));
    at = end - 2;
  }
  EXPECT_EQ(documented.size(), 31u);
}

TEST(FaultDice, SameSeedSameDecisions) {
  FaultPlan plan;
  plan.seed = 42;
  plan.drop_out = 10;
  plan.duplicate_out = 5;
  plan.delay_out = 5;
  plan.drop_in = 20;
  const auto run = [&](std::uint64_t stream) {
    FaultInjector f(plan, stream);
    std::vector<Fate> fates;
    for (int i = 0; i < 2000; ++i) fates.push_back(i % 3 ? f.outgoing() : f.incoming());
    return fates;
  };
  const auto a = run(0), b = run(0), c = run(1);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);  // each emulated Client rolls its own dice
  FaultPlan other = plan;
  other.seed = 43;
  FaultInjector f(other, 0);
  std::vector<Fate> d;
  for (int i = 0; i < 2000; ++i) d.push_back(i % 3 ? f.outgoing() : f.incoming());
  EXPECT_NE(a, d);
}

TEST(FaultDice, SharesComeOutAsAsked) {
  FaultPlan plan;
  plan.drop_out = 10;
  plan.duplicate_out = 5;
  plan.delay_out = 2.5;
  FaultInjector f(plan, 3);
  int drop = 0, dup = 0, delay = 0, pass = 0;
  for (int i = 0; i < 100000; ++i) {
    switch (f.outgoing()) {
      case Fate::drop: ++drop; break;
      case Fate::duplicate: ++dup; break;
      case Fate::delay: ++delay; break;
      case Fate::pass: ++pass; break;
    }
  }
  EXPECT_NEAR(drop, 10000, 500);
  EXPECT_NEAR(dup, 5000, 400);
  EXPECT_NEAR(delay, 2500, 300);
  // No incoming faults were asked for: every incoming datagram passes.
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(f.incoming(), Fate::pass);
}

}  // namespace
}  // namespace kestrelon::client
