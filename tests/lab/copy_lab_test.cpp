// Copies across the network lab: `kestrelon-cli copy` on host 0 multicasts one
// image to reference Clients on the other hosts, which keep what they receive
// (--store); every stored image must equal the source byte for byte. Images are
// small so the suite stays short; bench/ measures speed on large ones.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

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
  }
  bool ok() const { return net_.ok(); }
  const std::string& error() const { return net_.error(); }
  LabNetwork& net() { return net_; }

  // A pattern image of `length` bytes whose partition summary claims nothing, so
  // every Client has room for it.
  void make_image(std::uint64_t length) {
    test::write_file(image(), test::image_bytes({.length = length, .partition_count = 0}));
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
  int copy(std::vector<std::string> switches = {}) {
    std::vector<std::string> argv{"/usr/bin/env", "XDG_STATE_HOME=" + dir_.path() + "/state", KESTRELON_CLI_PATH,
                                  "copy", image(), "--discover-seconds", "20"};
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

class CopyLabFailureTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }
};

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
  EXPECT_NE(out.find("PC-2", list), std::string::npos) << out;
  EXPECT_EQ(out.find("PC-1", list), std::string::npos) << "PC-1 completed: " << out;
  EXPECT_EQ(out.find("PC-3", list), std::string::npos) << "PC-3 completed: " << out;
  EXPECT_NE(out.find("1 of 3 client(s) did not complete the copy."), std::string::npos) << out;
  EXPECT_TRUE(lab.stored_equals_source(1));
  EXPECT_TRUE(lab.stored_equals_source(3));
}

}  // namespace
}  // namespace kestrelon
