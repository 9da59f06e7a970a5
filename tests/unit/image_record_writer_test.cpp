// What the upload stream's records do to the image file: positions, the link
// patch, the description over the header, and what happens after a failed write.
#include "transfer/image_record_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>

#include "support/upload_records.h"

namespace kestrelon {
namespace {

using test::Bytes;

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class ImageRecordWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = ::testing::TempDir() + "kestrelon_irw_" + std::to_string(::getpid()) + ".krn";
    ASSERT_EQ(file.open(path), 0);
    writer.reset("");
  }
  void TearDown() override {
    file.close();
    ::unlink(path.c_str());
  }
  // Feeds a whole stream through the same cutting the engine uses.
  void feed(const Bytes& stream) {
    ASSERT_TRUE(upload.append(stream));
    upload.consume(writer);
  }
  Bytes finished_file() {
    EXPECT_EQ(file.close(), 0);
    return read_file(path);
  }

  std::string path;
  BufferedFileWriter file;
  std::vector<std::size_t> counted;
  ImageRecordWriter writer{file, [this](std::size_t n) { counted.push_back(n); }};
  UploadStream upload;
};

TEST_F(ImageRecordWriterTest, SwapMarkPatchesTheMarkedPlaceWithTheSwapPositionAndWritingGoesOnThere) {
  const Bytes link{0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7};
  feed(test::join({test::data_record(test::counting(16)),  // 0..15
                   test::mark_record(),                     // remembered := 16
                   test::data_record(Bytes(8, 0xEE)),       // placeholder 16..23
                   test::data_record(test::counting(100, 50)),  // 24..123
                   test::swap_mark_record(),                // back to 16, remembered := 124
                   test::data_record(link),                 // 16..23 with bytes 4..7 = 124
                   test::seek_mark_record(),                // back to 124
                   test::data_record(Bytes{0xAB, 0xCD})}));  // 124, 125
  Bytes expected = test::counting(16);
  expected.insert(expected.end(), {0xF0, 0xF1, 0xF2, 0xF3, 124, 0, 0, 0});
  const Bytes middle = test::counting(100, 50);
  expected.insert(expected.end(), middle.begin(), middle.end());
  expected.insert(expected.end(), {0xAB, 0xCD});
  EXPECT_EQ(finished_file(), expected);
  EXPECT_FALSE(writer.link_patch_armed());
}

TEST_F(ImageRecordWriterTest, LinkPatchIsLittleEndianAndLeavesAShortRecordsNeighboursAlone) {
  // A file position above 65535 shows the byte order; a 6-byte record has room
  // for two of the four patch bytes only.
  feed(test::join({test::mark_record(), test::data_record(Bytes(10000, 1))}));
  file.seek(0x012345);
  feed(test::join({test::swap_mark_record(),  // to 0, remembered := 0x012345
                   test::data_record(Bytes(6, 0xEE)), test::mark_record()}));
  EXPECT_EQ(writer.remembered_position(), 6);  // the mark after the record: not overwritten
  const Bytes f = finished_file();
  ASSERT_GE(f.size(), 6u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 6), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0x45, 0x23}));
}

TEST_F(ImageRecordWriterTest, DescriptionLandsFromByte256OfTheFirstDataRecordOnly) {
  writer.reset("Lab PC 7");
  feed(test::join({test::data_record(Bytes(300, 0)), test::data_record(Bytes(300, 0))}));
  const Bytes f = finished_file();
  ASSERT_EQ(f.size(), 600u);
  EXPECT_EQ(std::string(f.begin() + 256, f.begin() + 264), "Lab PC 7");
  EXPECT_EQ(f[264], 0);  // the zero after it is the Client's own
  EXPECT_EQ(Bytes(f.begin() + 300 + 256, f.begin() + 300 + 264), Bytes(8, 0));
}

TEST_F(ImageRecordWriterTest, DescriptionIsCutAtTheEndOfTheFirstRecordsData) {
  writer.reset("ABCDEFGHIJ");
  feed(test::join({test::data_record(Bytes(260, 0)), test::data_record(Bytes(20, 0x33))}));
  const Bytes f = finished_file();
  ASSERT_EQ(f.size(), 280u);
  EXPECT_EQ(std::string(f.begin() + 256, f.begin() + 260), "ABCD");
  EXPECT_EQ(Bytes(f.begin() + 260, f.end()), Bytes(20, 0x33));  // the next record is untouched
}

TEST_F(ImageRecordWriterTest, FirstRecordShorterThan256TakesNoDescriptionAndNeitherDoesTheNext) {
  writer.reset("XYZ");
  feed(test::join({test::data_record(Bytes(100, 0)), test::data_record(Bytes(400, 0))}));
  EXPECT_EQ(finished_file(), Bytes(500, 0));
}

TEST_F(ImageRecordWriterTest, RecordsTakenWhileTheFileIsClosedAreNeitherWrittenNorCounted) {
  file.close();
  feed(test::data_record(Bytes(10, 1)));
  EXPECT_TRUE(counted.empty());
}

TEST_F(ImageRecordWriterTest, EndRecordIsSeenAndDisarmsThePatch) {
  feed(test::join({test::swap_mark_record(), test::end_record()}));
  EXPECT_TRUE(writer.end_seen());
  EXPECT_FALSE(writer.link_patch_armed());
}

ssize_t io_error_write(int, const void*, std::size_t, off_t) {
  errno = EIO;
  return -1;
}

TEST(ImageRecordWriterFailure, WriteErrorStopsWritingButRecordsAreStillCounted) {
  const std::string path = ::testing::TempDir() + "kestrelon_irw_eio_" + std::to_string(::getpid());
  BufferedFileWriter file(8, io_error_write);
  ASSERT_EQ(file.open(path), 0);
  int counted = 0;
  ImageRecordWriter writer(file, [&](std::size_t) { ++counted; });
  writer.reset("");
  UploadStream s;
  ASSERT_TRUE(s.append(test::join({test::data_record(Bytes(20, 1)), test::data_record(Bytes(20, 2))})));
  s.consume(writer);
  EXPECT_EQ(writer.write_error(), EIO);
  EXPECT_FALSE(writer.disk_full());
  EXPECT_EQ(counted, 2);
  file.close();
  ::unlink(path.c_str());
}

TEST(ImageRecordWriterFailure, FullDiskIsToldApartFromOtherErrors) {
  BufferedFileWriter file;
  ImageRecordWriter writer(file);
  writer.note_failure(ENOSPC);
  EXPECT_TRUE(writer.disk_full());
  EXPECT_EQ(writer.write_error(), 0);
  writer.note_failure(EIO);
  EXPECT_EQ(writer.write_error(), EIO);
  writer.reset("");
  EXPECT_FALSE(writer.disk_full());
  EXPECT_EQ(writer.write_error(), 0);
}

}  // namespace
}  // namespace kestrelon
