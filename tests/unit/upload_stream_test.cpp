// Cutting the upload stream into records: split records, several records per
// packet, the end record, unknown types and a full buffer.
#include "transfer/upload_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/upload_records.h"

namespace kestrelon {
namespace {

using test::Bytes;

// Writes down every record the stream hands over.
struct RecordLog : UploadRecordSink {
  std::vector<std::string> events;
  std::vector<Bytes> data;
  void on_data(std::span<std::uint8_t> d) override {
    events.push_back("data" + std::to_string(d.size()));
    data.emplace_back(d.begin(), d.end());
  }
  void on_mark() override { events.push_back("mark"); }
  void on_seek_mark() override { events.push_back("seek"); }
  void on_swap_mark() override { events.push_back("swap"); }
  void on_end() override { events.push_back("end"); }
};

using Events = std::vector<std::string>;

TEST(UploadStream, DataRecordSplitOverTwoAppendsIsHandedOverOnlyWhenComplete) {
  UploadStream s;
  RecordLog log;
  const Bytes record = test::data_record(test::counting(100));
  ASSERT_TRUE(s.append(std::span(record).first(9)));  // not even the length field yet
  s.consume(log);
  ASSERT_TRUE(s.append(std::span(record).subspan(9, 50)));
  s.consume(log);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(s.buffered(), 59u);
  ASSERT_TRUE(s.append(std::span(record).subspan(59)));
  s.consume(log);
  EXPECT_EQ(log.events, Events{"data100"});
  EXPECT_EQ(log.data[0], test::counting(100));
  EXPECT_EQ(s.buffered(), 0u);
}

TEST(UploadStream, RecordsInOnePacketAreHandedOverInOrderAndAPartialTailWaits) {
  UploadStream s;
  RecordLog log;
  const Bytes tail = test::data_record(test::counting(20, 7));
  const Bytes packet = test::join({test::mark_record(), test::data_record(test::counting(3, 1)),
                                   test::swap_mark_record(), test::data_record(test::counting(5, 9)),
                                   test::seek_mark_record(), Bytes(tail.begin(), tail.begin() + 12)});
  ASSERT_TRUE(s.append(packet));
  s.consume(log);
  EXPECT_EQ(log.events, (Events{"mark", "data3", "swap", "data5", "seek"}));
  EXPECT_EQ(log.data[0], test::counting(3, 1));
  EXPECT_EQ(log.data[1], test::counting(5, 9));
  // The partial record moved to the front and completes with the next packet.
  EXPECT_EQ(s.buffered(), 12u);
  ASSERT_TRUE(s.append(Bytes(tail.begin() + 12, tail.end())));
  s.consume(log);
  EXPECT_EQ(log.data.back(), test::counting(20, 7));
}

TEST(UploadStream, EndRecordDropsEverythingBehindIt) {
  UploadStream s;
  RecordLog log;
  ASSERT_TRUE(s.append(test::join({test::data_record(test::counting(4)), test::end_record(),
                                   test::data_record(test::counting(4)), test::mark_record()})));
  s.consume(log);
  EXPECT_EQ(log.events, (Events{"data4", "end"}));
  EXPECT_EQ(s.buffered(), 0u);
}

TEST(UploadStream, EmptyDataRecordIsARecordOfItsOwn) {
  UploadStream s;
  RecordLog log;
  ASSERT_TRUE(s.append(test::join({test::data_record({}), test::mark_record()})));
  s.consume(log);
  EXPECT_EQ(log.events, (Events{"data0", "mark"}));
}

TEST(UploadStream, UnknownTypeStallsTheStreamForGood) {
  UploadStream s;
  RecordLog log;
  ASSERT_TRUE(s.append(test::join({test::mark_record(), test::record_head(16), test::mark_record()})));
  s.consume(log);
  EXPECT_EQ(log.events, Events{"mark"});
  EXPECT_EQ(s.buffered(), 16u);
  ASSERT_TRUE(s.append(test::mark_record()));
  s.consume(log);
  EXPECT_EQ(log.events, Events{"mark"});
  EXPECT_EQ(s.buffered(), 24u);
}

TEST(UploadStream, NegativeDataLengthIsTreatedAsUnknownNotAsAHugeCopy) {
  UploadStream s;
  RecordLog log;
  // -2 in the length field; enough bytes follow to satisfy a reading as 65534.
  const Bytes bad = test::data_record_claiming(-2, Bytes(1000, 0x11));
  ASSERT_TRUE(s.append(test::join({test::mark_record(), bad})));
  s.consume(log);
  EXPECT_EQ(log.events, Events{"mark"});
  EXPECT_EQ(s.buffered(), bad.size());
}

TEST(UploadStream, AppendBeyondTheCapacityIsRefusedWhole) {
  UploadStream s;
  ASSERT_TRUE(s.append(Bytes(UploadStream::kCapacity - 100, 0)));
  EXPECT_FALSE(s.append(Bytes(101, 0)));
  EXPECT_EQ(s.buffered(), UploadStream::kCapacity - 100);
  EXPECT_TRUE(s.append(Bytes(100, 0)));
  EXPECT_EQ(s.buffered(), UploadStream::kCapacity);
}

TEST(UploadStream, DataRecordsFitOnlyUpToTheBufferSize) {
  UploadStream s;
  RecordLog log;
  const Bytes record = test::data_record(Bytes(32767, 0x5A));
  ASSERT_GT(record.size(), UploadStream::kCapacity);  // 32777 bytes: a Client must use shorter records
  ASSERT_FALSE(s.append(record));
  const Bytes fits = test::data_record(Bytes(UploadStream::kCapacity - 10, 0x5A));
  ASSERT_TRUE(s.append(fits));
  s.consume(log);
  EXPECT_EQ(log.events, Events{"data" + std::to_string(UploadStream::kCapacity - 10)});
}

}  // namespace
}  // namespace kestrelon
