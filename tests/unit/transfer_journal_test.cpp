// The transfer journal: one JSON line per Copy or Create, appended without ever
// holding up the transfer, and read back line by line.
#include "app/transfer_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "commands/journal_record.h"
#include "support/image_files.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

class TransferJournalTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  TransferJournal journal{dir.file("state/kestrelon/transfers.jsonl")};
};

TEST_F(TransferJournalTest, LinesAreAppendedAndReadBackSkippingBrokenOnes) {
  EXPECT_TRUE(journal.read().missing);
  ASSERT_TRUE(journal.append({{"kind", "copy"}, {"n", 1}})) << "its folder is made";
  { std::ofstream(journal.file(), std::ios::app) << "{\"kind\":\"cop\n"; }  // a line cut short
  ASSERT_TRUE(journal.append({{"kind", "create"}, {"name", "bad \xff byte"}}));
  const TransferJournal::Contents contents = journal.read();
  EXPECT_FALSE(contents.missing);
  EXPECT_EQ(contents.unreadable, 1);
  ASSERT_EQ(contents.records.size(), 2u);
  EXPECT_EQ(contents.records[0].dump(), R"({"kind":"copy","n":1})") << "keys keep their order";
  EXPECT_EQ(contents.records[1]["name"], "bad \xEF\xBF\xBD byte") << "bytes that are not UTF-8 are replaced";
}

TEST_F(TransferJournalTest, AJournalThatCannotBeWrittenFailsAtOnce) {
  EXPECT_FALSE(TransferJournal({}).append({{"kind", "copy"}})) << "no home folder known";
  std::filesystem::create_directories(journal.file().parent_path());
  ASSERT_EQ(::mkfifo(journal.file().c_str(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(journal.append({{"kind", "copy"}})) << "a FIFO without a reader";
  // Opening it for writing would wait for a reader for ever.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << "and it was not waited for";
  const TransferJournal in_a_file(dir.file("plain") + "/transfers.jsonl");
  test::write_file(dir.file("plain"), {1});
  EXPECT_FALSE(in_a_file.append({{"kind", "copy"}})) << "its folder is a file";
}

TEST_F(TransferJournalTest, TheFileFollowsTheStateFolderOfTheEnvironment) {
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string saved = state ? state : "";
  ::setenv("XDG_STATE_HOME", "/var/tmp/st", 1);
  EXPECT_EQ(TransferJournal::default_file(), "/var/tmp/st/kestrelon/transfers.jsonl");
  ::setenv("XDG_STATE_HOME", "relative/st", 1);
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  if (!home.empty()) {
    EXPECT_EQ(TransferJournal::default_file(), home + "/.local/state/kestrelon/transfers.jsonl")
        << "a relative state folder is ignored";
  }
  if (state) {
    ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }
}

std::string contents_of(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A line cut by a writer that died goes before the next is written; a whole
// record that only lacks its line break stays. The file is the user's own, and
// one that cannot be written is told about.
TEST_F(TransferJournalTest, ACutLineIsRepairedBeforeTheNextAndAFailureIsTold) {
  ASSERT_TRUE(journal.append({{"n", 1}}));
  EXPECT_EQ(std::filesystem::status(journal.file()).permissions() & std::filesystem::perms::mask,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::ofstream(journal.file(), std::ios::app) << R"({"n":2,"targets":[{"na)";
  ASSERT_TRUE(journal.append({{"n", 3}}));
  std::ofstream(journal.file(), std::ios::app) << R"({"n":4})";
  ASSERT_TRUE(journal.append({{"n", 5}}));
  EXPECT_EQ(contents_of(journal.file()), "{\"n\":1}\n{\"n\":3}\n{\"n\":4}\n{\"n\":5}\n");

  std::vector<std::string> warnings;
  journal.set_warning_sink([&](const std::string& text) { warnings.push_back(text); });
  std::filesystem::remove(journal.file());
  std::filesystem::create_directories(journal.file());  // a folder in its place
  EXPECT_FALSE(journal.append({{"kind", "copy"}}));
  EXPECT_EQ(warnings, std::vector<std::string>{"The transfer journal " + journal.file().string() +
                                               " could not be written (Is a directory): this transfer is missing "
                                               "from the history."});
}

TEST_F(TransferJournalTest, PastItsBoundTheJournalStartsAfreshAndIsReadFromTheEnd) {
  std::filesystem::create_directories(journal.file().parent_path());
  {
    std::ofstream out(journal.file(), std::ios::binary);
    const std::string line = "{\"n\":0,\"pad\":\"" + std::string(1000, 'p') + "\"}\n";
    for (std::uintmax_t written = 0; written < TransferJournal::kRotateBytes; written += line.size()) out << line;
  }
  for (int n = 1; n <= 5; ++n) ASSERT_TRUE(journal.append({{"n", n}}));
  EXPECT_EQ(contents_of(journal.file()).substr(0, 8), "{\"n\":1}\n") << "the older lines moved on";
  const TransferJournal::Contents across = journal.read_last(7);
  ASSERT_EQ(across.records.size(), 7u) << "the older file continues the history";
  EXPECT_EQ(across.records[1]["n"], 0);
  EXPECT_EQ(across.records[2]["n"], 1);
  EXPECT_EQ(across.records[6]["n"], 5);
  EXPECT_GT(journal.read().records.size(), 8000u);
}

TEST(JournalRecord, ACopyLineHoldsEveryClientWithItsOutcomeAndTheResult) {
  TargetState done{.name = "pc-1", .address = Ipv4Address(10, 0, 0, 11), .step = TargetStep::done};
  TargetState skipped{.name = "pc-9", .step = TargetStep::skipped, .reason = "offline: not discovered"};
  TargetState failed{.name = "pc-3", .address = Ipv4Address(10, 0, 0, 13), .step = TargetStep::failed,
                     .reason = "fell silent"};
  failed.last_heard = LastHeard{.answer = CopyAnswer::acknowledgement, .block = 999, .before_end_ms = 15'049};
  const JournalFacts facts{.kind = "copy",
                           .program = "kestrelon-cli",
                           .started_ms = 1'714'521'603'000,
                           .ended_ms = 1'714'521'903'000,
                           .image = "images/../lab.krn",
                           .bytes = 27'000'000,
                           .seconds = 2.0,
                           .retries = 4,
                           .acknowledgements = 900,
                           .targets = {done, skipped, failed}};
  const JournalRecord r = journal_record(facts);
  EXPECT_EQ(r["kind"], "copy");
  EXPECT_EQ(r["image"], (std::filesystem::current_path() / "lab.krn").string()) << "absolute and normal";
  EXPECT_EQ(r["rate_mbps"], 13.5);
  EXPECT_EQ(r["result"], "partial");
  ASSERT_EQ(r["targets"].size(), 3u);
  EXPECT_EQ(r["targets"][0].dump(), R"({"name":"pc-1","address":"10.0.0.11","outcome":"done"})");
  EXPECT_TRUE(r["targets"][1]["address"].is_null());
  EXPECT_EQ(r["targets"][2]["last_heard"].dump(),
            R"({"answer":"acknowledgement","block":999,"seconds_before_end":15.0})");
  const std::string started = r["started"];
  EXPECT_EQ(started.size(), 25u) << started;  // 2024-05-01T02:00:03+02:00
  EXPECT_EQ(started[22], ':');

  EXPECT_EQ(transfer_result({done}, false), "succeeded");
  EXPECT_EQ(transfer_result({skipped, failed}, true), "cancelled");
  EXPECT_EQ(transfer_result({skipped, failed}, false), "failed");
  EXPECT_EQ(transfer_result({}, false), "failed") << "nothing copied";
}

}  // namespace
}  // namespace kestrelon
