// The kestrelon-client program as a user meets it: its help, and clear errors
// with a non-zero status for bad options and unusable disks. No lab needed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/virtual_disk.h"

namespace {

struct ProgramRun {
  int status;
  std::string output;
};

ProgramRun run_client(const std::string& args) {
  const std::string command = std::string(KESTRELON_CLIENT_PATH) + " " + args + " 2>&1";
  FILE* p = ::popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  while (p && std::fgets(buf, sizeof buf, p)) out += buf;
  const int rc = p ? ::pclose(p) : -1;
  return ProgramRun{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, out};
}

TEST(ClientProgram, HelpDocumentsTheOptions) {
  const ProgramRun r = run_client("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("--disk PATH"), std::string::npos);
  EXPECT_NE(r.output.find("--address-from"), std::string::npos);
  EXPECT_NE(r.output.find("Exit status"), std::string::npos);
}

TEST(ClientProgram, BadOptionsFailWithAMessage) {
  ProgramRun r = run_client("--frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("unknown option '--frobnicate'"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("--help"), std::string::npos);
  r = run_client("--address 300.1.1.1");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("'300.1.1.1' is not an IPv4 address"), std::string::npos) << r.output;
}

TEST(ClientProgram, StartsOnlyWithSomewhereToPutACopyAndOnANamedNetwork) {
  // No disk: it could never receive a copy, as the Controller's space check
  // refuses every image for a Client without disks.
  ProgramRun r = run_client("");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("give at least one --disk, or --store DIR with --store-size SIZE"), std::string::npos)
      << r.output;
  r = run_client("--store /tmp");
  EXPECT_EQ(r.status, 2) << r.output;
  // An interface that does not exist names no address.
  kestrelon::test::TempDir dir;
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(kestrelon::test::make_virtual_disk(disk, 8, "label: dos\n2048,,83\n"));
  r = run_client("--interface no-such-if0 --disk " + disk);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("interface no-such-if0 has no IPv4 address"), std::string::npos) << r.output;
  // The help says where an unnamed Client answers.
  r = run_client("--help");
  EXPECT_NE(r.output.find("stays on this machine (127.0.0.1)"), std::string::npos) << r.output;
}

TEST(ClientProgram, UnreadableDiskFailsWithAMessage) {
  ProgramRun r = run_client("--address 192.0.2.1 --disk /nonexistent/disk.img");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("cannot open disk /nonexistent/disk.img"), std::string::npos) << r.output;

  kestrelon::test::TempDir dir;
  const std::string broken = dir.file("broken.img");
  ASSERT_TRUE(kestrelon::test::make_virtual_disk(broken, 1, ""));
  {
    // A partition entry (type 0x83, start 2048, 409600 sectors) far beyond the end
    // of the 1 MiB disk, and the table signature.
    std::fstream f(broken, std::ios::in | std::ios::out | std::ios::binary);
    const unsigned char entry[16] = {0, 0, 0, 0, 0x83, 0, 0, 0, 0x00, 0x08, 0, 0, 0x00, 0x40, 0x06, 0};
    f.seekp(446);
    f.write(reinterpret_cast<const char*>(entry), sizeof entry);
    f.seekp(510);
    f.write("\x55\xAA", 2);
  }
  r = run_client("--address 192.0.2.1 --disk " + broken);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("outside the disk"), std::string::npos) << r.output;
}

TEST(ClientProgram, AnAddressOfAnotherHostFailsWithAMessage) {
  kestrelon::test::TempDir dir;
  const std::string disk = dir.file("disk.img");
  ASSERT_TRUE(kestrelon::test::make_virtual_disk(disk, 8, "label: dos\n2048,,83\n"));
  // 192.0.2.1 (a documentation address) belongs to no interface here.
  const ProgramRun r = run_client("--address 192.0.2.1 --disk " + disk);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("binding 192.0.2.1:4747 failed"), std::string::npos) << r.output;
}

}  // namespace
