// The computer names a copy sends, on the wire: OP_COPY_NAME follows each
// target's OP_COPY_START and goes again every second until that Client
// answers; an answer counts only from its own target, for the name it was
// given; a report is kept for the journal.
#include "transfer/copy_names.h"

#include "copy_rig.h"

namespace kestrelon {
namespace {

using test::client_address;

class CopyNamesTest : public test::CopyRig {
 protected:
  void SetUp() override {
    CopyRig::SetUp();
    engine.set_names(&names);
    dispatcher.set_copy_name_handler(&names);
  }
  // The OP_COPY_NAME datagrams client `c` received.
  std::vector<std::vector<std::uint8_t>> names_to(int c) {
    std::vector<std::vector<std::uint8_t>> got;
    for (auto& r : clients[static_cast<std::size_t>(c)]->control.receive_all(30)) {
      if (r.bytes.size() >= 8 && read_be16(r.bytes, 6) == wire::OP_COPY_NAME) got.push_back(r.bytes);
    }
    return got;
  }
  std::vector<std::uint8_t> answer(Ipv4Address client, wire::NameAnswer a, const std::string& name,
                                   const std::string& text = "", wire::NamingOutcome outcome = {}) {
    std::vector<std::uint8_t> d = test::client_header(wire::OP_COPY_NAME);
    d.resize(wire::kNameAnswerTextOffset);
    write_be32(d, 8, client.value());
    write_be16(d, 12, static_cast<std::uint16_t>(a));
    write_be16(d, 14, static_cast<std::uint16_t>(outcome));
    std::copy(name.begin(), name.end(), d.begin() + wire::kComputerNameOffset);
    write_be16(d, 80, static_cast<std::uint16_t>(text.size()));
    d.insert(d.end(), text.begin(), text.end());
    return d;
  }
  CopyNames names{endpoints};
};

TEST_F(CopyNamesTest, NamesFollowTheStartAndGoAgainUntilAnswered) {
  add_targets(3);
  make_image(100000);
  names.plan({{client_address(0), "ROOM12-PC01"}, {client_address(1), "ROOM12-PC02"}});
  ASSERT_TRUE(engine.copy_start(image, CopyOptions{}));
  for (int c = 0; c < 2; ++c) {
    const auto got = names_to(c);
    ASSERT_EQ(got.size(), 1u) << c;
    EXPECT_EQ(got[0].size(), wire::kCopyNameLength);
    EXPECT_EQ(Ipv4Address(read_be32(got[0], 8)), client_address(c)) << "it names its Client";
    EXPECT_EQ(read_be16(got[0], 12), c % 3) << "and the disk the copy writes";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got[0].data() + 16)), "ROOM12-PC0" + std::to_string(c + 1));
  }
  EXPECT_TRUE(names_to(2).empty()) << "a target without a name gets none";

  deliver(0, answer(client_address(0), wire::NameAnswer::taken, "ROOM12-PC01"));
  // Client 0 answering in client 1's name, and client 1 taking another name, count for nothing.
  deliver(0, answer(client_address(1), wire::NameAnswer::taken, "ROOM12-PC02"));
  deliver(1, answer(client_address(1), wire::NameAnswer::taken, "ROOM12-PC07"));
  clock.advance(999);
  engine.tick();
  EXPECT_TRUE(names_to(1).empty()) << "not before a second";
  clock.advance(2);
  engine.tick();
  EXPECT_TRUE(names_to(0).empty()) << "answered";
  EXPECT_EQ(names_to(1).size(), 1u) << "unanswered: sent again";

  deliver(1, answer(client_address(1), wire::NameAnswer::refused, "ROOM12-PC02", "not a computer name"));
  deliver(0, answer(client_address(0), wire::NameAnswer::report, "ROOM12-PC01", "written into Linux",
                    wire::NamingOutcome::named));
  const auto t = names.targets();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_TRUE(t[0].taken);
  ASSERT_TRUE(t[0].outcome);
  EXPECT_EQ(*t[0].outcome, wire::NamingOutcome::named);
  EXPECT_EQ(t[0].report, "written into Linux");
  EXPECT_FALSE(t[1].taken);
  EXPECT_EQ(t[1].refused, "not a computer name");
  EXPECT_TRUE(names.all_reported({client_address(0), client_address(1)})) << "a refused name is not awaited";
  clock.advance(5000);
  engine.tick();
  EXPECT_TRUE(names_to(1).empty()) << "a refused name is not sent again";
}

}  // namespace
}  // namespace kestrelon
