#pragma once
// Datagrams as a Client sends them, built by hand for tests. The reference Client
// has its own encoder; these stay independent of it so each checks the other.
#include <cstdint>
#include <string>
#include <vector>

#include "net/disk_layout.h"
#include "platform/ipv4_address.h"

namespace kestrelon::test {

std::vector<std::uint8_t> client_header(std::uint16_t opcode, std::uint16_t version = 8);

struct AnnounceSpec {
  Ipv4Address address;
  std::string name;               // up to 40 bytes, more is cut
  std::vector<DiskEntry> disks;   // each with its partitions
  int claimed_disks = -1;         // disk count written; -1 = disks.size()
  int claimed_partitions = -1;    // partition count written in every disk; -1 = the disk's own
};
// Every disk block is written whole (302 bytes), followed by a trailer.
std::vector<std::uint8_t> announce_datagram(const AnnounceSpec& shape);

std::vector<std::uint8_t> copy_ack_datagram(std::uint32_t block, Ipv4Address client, std::uint32_t done_kib,
                                            std::uint32_t total_kib);
std::vector<std::uint8_t> copy_nak_datagram(std::uint32_t block, std::uint32_t done_kib, std::uint32_t total_kib);
std::vector<std::uint8_t> copy_done_datagram(Ipv4Address client);
std::vector<std::uint8_t> copy_ready_datagram();
std::vector<std::uint8_t> create_data_datagram(std::uint32_t block, const std::vector<std::uint8_t>& data,
                                               std::uint32_t done_kib, std::uint32_t total_kib);

// A disk with `partitions` partitions of `sectors` sectors each, numbered from 1.
DiskEntry make_disk(std::uint32_t size_sectors, int partitions, std::uint32_t partition_sectors = 2048);

}  // namespace kestrelon::test
