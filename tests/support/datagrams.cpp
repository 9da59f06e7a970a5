#include "support/datagrams.h"

#include <algorithm>

#include "net/byte_order.h"

namespace kestrelon::test {
namespace {

void put16(std::vector<std::uint8_t>& d, std::size_t at, std::uint16_t v) {
  if (d.size() < at + 2) d.resize(at + 2);
  write_be16(d, at, v);
}
void put32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
  if (d.size() < at + 4) d.resize(at + 4);
  write_be32(d, at, v);
}
void trailer(std::vector<std::uint8_t>& d) {
  const std::size_t at = d.size();
  put16(d, at, 9544);
  put16(d, at + 2, 0);
}

}  // namespace

std::vector<std::uint8_t> client_header(std::uint16_t opcode, std::uint16_t version) {
  std::vector<std::uint8_t> d(8);
  put16(d, 0, 9544);
  put16(d, 2, version);
  put16(d, 4, 3);
  put16(d, 6, opcode);
  return d;
}

std::vector<std::uint8_t> announce_datagram(const AnnounceSpec& s) {
  auto d = client_header(5);
  put32(d, 8, s.address.value());
  d.resize(54, 0);
  std::copy_n(s.name.begin(), std::min<std::size_t>(s.name.size(), 40), d.begin() + 12);
  put16(d, 52, static_cast<std::uint16_t>(s.claimed_disks >= 0 ? s.claimed_disks : static_cast<int>(s.disks.size())));
  for (std::size_t i = 0; i < s.disks.size(); ++i) {
    const DiskEntry& disk = s.disks[i];
    const std::size_t base = 54 + 302 * i;
    d.resize(base + 302, 0);
    put16(d, base, disk.bios_number);
    put16(d, base + 2, disk.geometry1);
    put16(d, base + 4, disk.geometry2);
    put16(d, base + 6, disk.geometry3);
    put16(d, base + 8, static_cast<std::uint16_t>(s.claimed_partitions >= 0 ? s.claimed_partitions
                                                                            : disk.partition_count));
    put32(d, base + 10, disk.size_sectors);
    for (int p = 0; p < disk.partition_count && p < kMaxPartitions; ++p) {
      const PartitionEntry& e = disk.partitions[static_cast<std::size_t>(p)];
      const std::size_t at = base + 14 + 24 * static_cast<std::size_t>(p);
      d[at] = e.number;
      d[at + 1] = e.boot;
      d[at + 2] = e.type;
      d[at + 3] = e.logical;
      put32(d, at + 6, e.first_extra);
      put32(d, at + 10, e.size_sectors);
      put32(d, at + 14, e.second_extra);
    }
  }
  trailer(d);
  return d;
}

std::vector<std::uint8_t> copy_ack_datagram(std::uint32_t block, Ipv4Address client, std::uint32_t done,
                                            std::uint32_t total) {
  auto d = client_header(3);
  put32(d, 8, block);
  put32(d, 12, client.value());
  put32(d, 16, done);
  put32(d, 20, total);
  trailer(d);
  return d;
}

std::vector<std::uint8_t> copy_nak_datagram(std::uint32_t block, std::uint32_t done, std::uint32_t total) {
  auto d = client_header(4);
  put32(d, 8, block);
  put32(d, 12, done);
  put32(d, 16, total);
  trailer(d);
  return d;
}

std::vector<std::uint8_t> copy_done_datagram(Ipv4Address client) {
  auto d = client_header(6);
  put32(d, 8, client.value());
  trailer(d);
  return d;
}

std::vector<std::uint8_t> copy_ready_datagram() {
  auto d = client_header(8);
  trailer(d);
  return d;
}

std::vector<std::uint8_t> create_data_datagram(std::uint32_t block, const std::vector<std::uint8_t>& data,
                                               std::uint32_t done, std::uint32_t total) {
  auto d = client_header(18);
  put32(d, 8, block);
  put16(d, 12, static_cast<std::uint16_t>(data.size()));
  put32(d, 14, done);
  put32(d, 18, total);
  d.insert(d.end(), data.begin(), data.end());
  trailer(d);
  return d;
}

DiskEntry make_disk(std::uint32_t size_sectors, int partitions, std::uint32_t partition_sectors) {
  DiskEntry disk;
  disk.bios_number = 0x80;
  disk.geometry1 = 1024;
  disk.geometry2 = 255;
  disk.geometry3 = 63;
  disk.size_sectors = size_sectors;
  disk.partition_count = std::min(partitions, kMaxPartitions);
  for (int p = 0; p < disk.partition_count; ++p) {
    PartitionEntry& e = disk.partitions[static_cast<std::size_t>(p)];
    e.number = static_cast<std::uint8_t>(p + 1);
    e.boot = p == 0 ? 0x80 : 0;
    e.type = 0x83;
    e.logical = p >= 4 ? 1 : 0;
    e.first_extra = 2048u * static_cast<std::uint32_t>(p + 1);
    e.size_sectors = partition_sectors;
    e.second_extra = 7;
  }
  return disk;
}

}  // namespace kestrelon::test
