// A room on the lab: the Controller learns each Client's MAC address as it lists
// it and keeps it in the Client inventory; a group member that comes back at
// another address (DHCP) is still found; `wake` sends each member's magic packet
// to the network it was seen on, where a host standing in for the switched-off
// PCs' network cards sees it. `copy --wake --min-clients --max-wait` marks the
// members that can receive the image pending, wakes them, starts once enough of
// them have come (one starts only when its card sees its packet, one never; the
// protected master, on all along, counts for nothing) or at the deadline, and
// copies to those present byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/pending_transfers.h"
#include "lab_network.h"
#include "support/image_files.h"
#include "support/wake_watch.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using lab::LabNetwork;
using lab::LabProcess;
using Json = nlohmann::json;

constexpr int kWatcher = 3;  // a host with no Client: its card sees the broadcasts

class RoomLab : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_LAB(); }

  int cli(LabNetwork& net, std::vector<std::string> args, std::string& output, std::chrono::seconds limit = 60s) {
    args.insert(args.begin(), {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + dir.file("settings"),
                               "KESTRELON_PROFILE=" + dir.file("kestreln.ini"), "XDG_STATE_HOME=" + dir.file("state"),
                               "KESTRELON_PENDING_DIR=" + dir.file("pending"), KESTRELON_CLI_PATH});
    LabProcess p = net.spawn(0, args);
    const auto status = p.wait(limit);
    output = p.output();
    return status.value_or(-1);
  }
  LabProcess client(LabNetwork& net, int host, Ipv4Address address) {
    return net.spawn(host, {KESTRELON_CLIENT_PATH, "--address", address.text(), "--name", name(host), "--store",
                            dir.file("store-" + std::to_string(host)), "--store-size", "1G"});
  }
  std::string mac_of(LabNetwork& net, int host) {
    const std::string file = dir.file("mac-" + std::to_string(host));
    net.exec(host, "cat /sys/class/net/eth0/address > " + file);
    std::ifstream in(file);
    std::string mac;
    in >> mac;
    return mac;
  }
  Json inventory(LabNetwork& net) {
    std::string out;
    EXPECT_EQ(cli(net, {"clients", "--json"}, out), 0) << out;
    return Json::parse(out, nullptr, false);
  }
  static std::string name(int host) { return "member-" + std::to_string(host); }
  static const Json* entry(const Json& inv, const std::string& name) {
    for (const Json& e : inv["clients"])
      if (e["name"] == name) return &e;
    return nullptr;
  }

  test::TempDir dir;
};

TEST_F(RoomLab, MembersAreKnownByTheirCardsAndWokenOnTheirNetwork) {
  LabNetwork net(kWatcher);
  ASSERT_TRUE(net.ok()) << net.error();
  std::vector<LabProcess> clients;
  for (int h = 1; h <= 2; ++h) clients.push_back(client(net, h, LabNetwork::address(h)));
  std::string out;
  ASSERT_EQ(cli(net, {"group", "save", "Room", "--client", name(1), "--client", name(2), "--discover-seconds", "20"},
                out),
            0)
      << out;

  // Listing them was enough to learn their cards.
  Json inv = inventory(net);
  for (int h = 1; h <= 2; ++h) {
    const Json* e = entry(inv, name(h));
    ASSERT_NE(e, nullptr) << inv.dump();
    EXPECT_EQ((*e)["mac"], mac_of(net, h)) << inv.dump();
    EXPECT_EQ((*e)["address"], LabNetwork::address(h).text());
    EXPECT_EQ((*e)["interface"], LabNetwork::address(0).text());
  }

  // member-2 comes back at another address; the group still finds it.
  clients[1].kill();
  const Ipv4Address moved = LabNetwork::address_block(2);
  clients[1] = client(net, 2, moved);
  ASSERT_EQ(cli(net, {"group", "show", "Room", "--discover-seconds", "5", "--json"}, out), 0) << out;
  // The move is told on the error stream, the JSON document alone on its line.
  EXPECT_NE(out.find(name(2) + " now answers at " + moved.text()), std::string::npos) << out;
  Json shown;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("{")) shown = Json::parse(line, nullptr, false);
  ASSERT_TRUE(shown.is_object()) << out;
  for (const Json& m : shown["members"]) EXPECT_EQ(m["online"], true) << out;
  inv = inventory(net);
  EXPECT_EQ((*entry(inv, name(2)))["address"], moved.text()) << "the inventory follows the PC";

  // The members switched off: their packets reach the watcher's card.
  for (LabProcess& c : clients) c.kill();
  std::unique_ptr<test::WakeWatch> watch;
  ASSERT_TRUE(net.run_in(kWatcher, [&] { watch = std::make_unique<test::WakeWatch>("eth0"); }));
  ASSERT_TRUE(watch->ok());
  ASSERT_EQ(cli(net, {"wake", "--group", "room"}, out), 0) << out;
  EXPECT_NE(out.find("magic packet sent to 10.47.255.255"), std::string::npos) << out;
  for (int h = 1; h <= 2; ++h) {
    const auto mac = MacAddress::parse(mac_of(net, h));
    ASSERT_TRUE(mac);
    EXPECT_TRUE(watch->wait_for(*mac, 5s)) << name(h) << " not woken; " << out;
  }
  // A PC never listed cannot be woken, and says why.
  EXPECT_EQ(cli(net, {"wake", "--client", name(1), "--client", "stranger"}, out), 3) << out;
  EXPECT_NE(out.find("stranger: not woken: not in the Client inventory"), std::string::npos) << out;
}

TEST_F(RoomLab, ACopyWaitsForEnoughWokenMembersThenGoesToThosePresent) {
  LabNetwork net(4);
  ASSERT_TRUE(net.ok()) << net.error();
  const std::string image = dir.file("room.krn");
  test::write_file(image, test::image_bytes({.length = 3'000'000}));
  std::vector<LabProcess> clients;
  std::string out;
  for (int h = 1; h <= 4; ++h) clients.push_back(client(net, h, LabNetwork::address(h)));
  ASSERT_EQ(cli(net, {"group", "save", "Room", "--client", name(1), "--client", name(2), "--client", name(3),
                      "--client", name(4), "--discover-seconds", "20"},
                out),
            0)
      << out;
  ASSERT_EQ(cli(net, {"clients", "protect", name(4)}, out), 0) << out;
  // The room at night: member-1 was left on, member-2 boots when woken,
  // member-3 is broken, member-4 is the protected master, on: it counts for
  // nothing, so the copy waits for member-2.
  clients[1].kill();
  clients[2].kill();
  ASSERT_EQ(net.exec(0, "mkdir -p " + dir.file("pending")), 0);  // the boot service's folder
  const auto mac2 = MacAddress::parse(mac_of(net, 2));
  ASSERT_TRUE(mac2);
  std::unique_ptr<test::WakeWatch> card2;
  ASSERT_TRUE(net.run_in(2, [&] { card2 = std::make_unique<test::WakeWatch>("eth0"); }));

  LabProcess copy = net.spawn(0, {"/usr/bin/env", "KESTRELON_SETTINGS_DIR=" + dir.file("settings"),
                                  "KESTRELON_PROFILE=" + dir.file("kestreln.ini"),
                                  "XDG_STATE_HOME=" + dir.file("state"), "KESTRELON_PENDING_DIR=" + dir.file("pending"),
                                  KESTRELON_CLI_PATH, "copy", image, "--group", "Room", "--wake", "--min-clients",
                                  "2", "--max-wait", "60", "--json"});
  ASSERT_TRUE(card2->wait_for(*mac2, 30s)) << copy.output();
  const auto pending = read_pending(dir.file("pending"), 0, false);
  EXPECT_EQ(pending.size(), 3u) << "every member that can receive the image pending while the job waits";
  for (const auto& p : pending) EXPECT_NE(p.name, name(4)) << "the protected master is never marked";
  clients[1] = client(net, 2, LabNetwork::address(2));  // member-2 boots into the Client
  const auto status = copy.wait(120s);
  out = copy.output();
  EXPECT_EQ(status, 3) << out;
  for (int h = 1; h <= 2; ++h) {
    EXPECT_EQ(test::read_file(dir.file("store-" + std::to_string(h) + "/room.krn")), test::read_file(image))
        << name(h) << "\n" << out;
  }
  EXPECT_TRUE(read_pending(dir.file("pending"), 0, false).empty()) << "no PC stays pending after the job";
  // The summary: per PC woken, booted, copied or why not.
  Json summary;
  for (std::size_t at = 0, end; at < out.size(); at = end + 1) {
    end = std::min(out.find('\n', at), out.size());
    const Json line = Json::parse(out.substr(at, end - at), nullptr, false);
    if (line.is_object() && line.value("event", "") == "summary") summary = line;
  }
  ASSERT_TRUE(summary.is_object()) << out;
  std::map<std::string, Json> pcs;
  for (const Json& t : summary["targets"]) pcs[t["name"]] = t;
  EXPECT_EQ(pcs[name(1)]["outcome"], "done");
  EXPECT_EQ(pcs[name(1)]["woken"], false);
  EXPECT_EQ(pcs[name(2)]["outcome"], "done");
  EXPECT_EQ(pcs[name(2)]["woken"], true);
  EXPECT_TRUE(pcs[name(2)]["booted_after_seconds"].is_number()) << summary.dump();
  EXPECT_EQ(pcs[name(3)]["outcome"], "skipped");
  const std::string why3 = pcs[name(3)]["reason"];
  EXPECT_TRUE(why3.starts_with("not ready when the copy started, ") && why3.ends_with(" s after it was woken"))
      << summary.dump();
  EXPECT_EQ(pcs[name(4)]["outcome"], "skipped");
  EXPECT_EQ(pcs[name(4)]["reason"], "protected: not overwritten unless asked (--include-protected)");
  EXPECT_FALSE(std::filesystem::exists(dir.file("store-4/room.krn"))) << "the master was overwritten";

  // At the deadline the copy goes to whoever is there (member-4 still counts for nothing).
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_EQ(cli(net, {"copy", image, "--group", "Room", "--wake", "--min-clients", "3", "--max-wait", "5"}, out), 3)
      << out;
  EXPECT_GE(std::chrono::steady_clock::now() - begun, 5s);
  EXPECT_NE(out.find("Copied " + image), std::string::npos) << out;
  EXPECT_NE(out.find("to 2 client(s)"), std::string::npos) << out;
}

}  // namespace
}  // namespace kestrelon
