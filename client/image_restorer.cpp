#include "image_restorer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "restore_guard.h"
#include "swap_header.h"
#include "system_naming.h"

namespace kestrelon::client {

ImageRestorer::ImageRestorer(std::unique_ptr<DiskDevice> disk, RestoreOptions options)
    : disk_(std::move(disk)), path_(disk_->path()), options_(std::move(options)) {}

bool ImageRestorer::fail(std::string why) {
  error_ = std::move(why);
  failed_ = true;
  return false;
}

bool ImageRestorer::consume(std::span<const std::uint8_t> bytes) {
  if (failed_) return false;
  // A fault of the image itself is the reader's to tell; a failed write, ours.
  if (!reader_.feed(bytes) && !failed_) return fail(reader_.error());
  return !failed_;
}

bool ImageRestorer::on_header(const image::ImageHeader& header) {
  header_ = header;
  std::string why;
  auto target = fit_table(header_, disk_->sectors(), options_.keep_partition_size, &why);
  if (!target) return fail(why + " (" + path_ + ")");
  target_ = std::move(*target);
  // Everything above leaves the disk as it was; from here on it holds a
  // broken-off copy until finish() has written the table.
  if (!wipe_for_restore(*disk_, options_.image_name, &why)) return fail(why);
  for (const Partition& p : target_.table.partitions) {
    const std::uint64_t start = target_.shift.map(p.start_lba) * kSectorSize;
    watched_.push_back(Watched{start, p.sectors * kSectorSize, p.start_lba * kSectorSize, p.number});
    hold(start, std::min(kHeadGuard, p.sectors * kSectorSize));
  }
  // A disk imaged whole without a partition table may hold a file system from
  // sector 0 on: its start waits like a partition's.
  if (target_.table.kind == TableKind::none && !header_.areas.empty() && header_.areas[0].start_lba == 0) {
    const std::uint64_t bytes = header_.areas[0].sectors * kSectorSize;
    watched_.push_back(Watched{0, bytes});
    hold(0, std::min(kHeadGuard, bytes));
  }
  std::sort(watched_.begin(), watched_.end(), [](const Watched& a, const Watched& b) { return a.start < b.start; });
  written_.assign(header_.areas.size(), 0);
  return true;
}

void ImageRestorer::hold(std::uint64_t at, std::uint64_t length) {
  // A sound image holds back a few MiB at most; a hostile one is not let run
  // the Client out of memory (what it would hold back is written at once).
  constexpr std::uint64_t kMaxHeld = 64 << 20;
  if (length == 0 || held_bytes_ + length > kMaxHeld) return;
  // Held ranges never overlap: a range that meets one already held is left out.
  auto next = held_.lower_bound(at);
  if (next != held_.end() && next->first < at + length) return;
  if (next != held_.begin()) {
    const auto before = std::prev(next);
    if (before->first + before->second.size() > at) return;
  }
  held_.emplace(at, std::vector<std::uint8_t>(length, 0));
  held_bytes_ += length;
}

void ImageRestorer::probe_before(std::uint64_t position) {
  for (Watched& w : watched_) {
    if (w.probed || w.start + std::min(kHeadGuard, w.bytes) > position) continue;
    w.probed = true;
    const auto head = held_.find(w.start);
    if (head == held_.end()) continue;
    w.probe = probe_file_system(head->second, w.bytes);
    for (const ByteRange& r : guard_ranges(w.probe, w.bytes)) hold(w.start + r.offset, r.length);
  }
}

bool ImageRestorer::write_guarded(std::uint64_t at, std::span<std::uint8_t> bytes) {
  const std::uint64_t end = at + bytes.size();
  const auto clear = [&](std::uint64_t from, std::uint64_t to, std::vector<std::uint8_t>* keep, std::uint64_t keep_at) {
    from = std::max(from, at);
    to = std::min(to, end);
    if (from >= to) return;
    if (keep)
      std::copy(bytes.begin() + static_cast<long>(from - at), bytes.begin() + static_cast<long>(to - at),
                keep->begin() + static_cast<long>(from - keep_at));
    std::fill(bytes.begin() + static_cast<long>(from - at), bytes.begin() + static_cast<long>(to - at), 0);
  };
  for (auto lba = std::lower_bound(target_.keep_clear.begin(), target_.keep_clear.end(), at / kSectorSize);
       lba != target_.keep_clear.end() && *lba * kSectorSize < end; ++lba) {
    clear(*lba * kSectorSize, (*lba + 1) * kSectorSize, nullptr, 0);
  }
  auto h = held_.upper_bound(at);
  if (h != held_.begin()) --h;
  for (; h != held_.end() && h->first < end; ++h) clear(h->first, h->first + h->second.size(), &h->second, h->first);
  // Sector 0 keeps the marker of a broken-off copy until the end.
  const std::size_t skip = at < kSectorSize ? std::min<std::size_t>(bytes.size(), kSectorSize - at) : 0;
  return disk_->write_at(at + skip, bytes.subspan(skip));
}

template <class Step>
bool ImageRestorer::moved_pieces(std::uint64_t at, std::uint64_t length, Step&& step) const {
  const LayoutShift& shift = target_.shift;
  const std::uint64_t boundary = shift.boundary * kSectorSize, by = shift.sectors * kSectorSize;
  if (by == 0 || at + length <= boundary) return step(at, std::uint64_t{0}, length);
  if (at >= boundary) return step(at + by, std::uint64_t{0}, length);
  // An area across the grown partition's end (a disk copied sector by sector).
  const std::uint64_t before = boundary - at;
  return step(at, std::uint64_t{0}, before) && step(boundary + by, before, length - before);
}

bool ImageRestorer::zero_up_to(std::size_t area, std::uint64_t offset) {
  const image::Area& a = header_.areas[area];
  // Sector 0 keeps the marker of a broken-off copy until the end.
  const std::uint64_t from = std::max(a.start_lba * kSectorSize + written_[area], std::uint64_t{kSectorSize});
  const std::uint64_t to = a.start_lba * kSectorSize + offset;
  const auto zero = [&](std::uint64_t disk_at, std::uint64_t, std::uint64_t length) {
    return disk_->zero_range(disk_at, length);
  };
  if (to > from && !moved_pieces(from, to - from, zero)) {
    return fail("clearing sectors from " + std::to_string(a.start_lba + written_[area] / kSectorSize) + " of " + path_ +
                " failed: " + std::strerror(errno));
  }
  written_[area] = std::max(written_[area], offset);
  return true;
}

bool ImageRestorer::on_chunk(const image::ImageReader::Chunk& c) {
  const std::uint64_t at = header_.areas[c.head.partition].start_lba * kSectorSize + c.head.offset;
  if (!zero_up_to(c.head.partition, c.head.offset)) return false;
  const auto write = [&](std::uint64_t disk_at, std::uint64_t from, std::uint64_t length) {
    probe_before(disk_at);
    if (!write_guarded(disk_at, c.raw.subspan(from, length))) {
      return fail("writing sector " + std::to_string(disk_at / kSectorSize) + " of " + path_ +
                  " failed: " + std::strerror(errno));
    }
    probe_before(disk_at + length);
    return true;
  };
  if (!moved_pieces(at, c.raw.size(), write)) return false;
  written_[c.head.partition] = c.head.offset + c.head.raw_length;
  return true;
}

bool ImageRestorer::finish() {
  if (failed_) return false;
  if (!reader_.finish()) return fail(reader_.error());
  for (std::size_t a = 0; a < header_.areas.size(); ++a) {
    if (!zero_up_to(a, header_.areas[a].sectors * kSectorSize)) return false;
  }
  probe_before(UINT64_MAX);
  return write_last();
}

bool ImageRestorer::write_last() {
  const auto failed_writing = [&](const std::string& what) {
    return fail("writing " + what + " of " + path_ + " failed: " + std::strerror(errno));
  };
  settle_layout();
  // The marker goes first: the disk has no partition table until the end all the same.
  if (!disk_->zero_range(0, kSectorSize)) return failed_writing("sector 0");
  for (const auto& [at, bytes] : held_) {
    if (!disk_->write_at(at, bytes)) return failed_writing("the start of a file system");
  }
  if (!disk_->sync()) return fail("flushing " + path_ + " failed: " + std::strerror(errno));

  // A FAT partition that grows is written at its old size: fatresize grows the
  // partition with the file system.
  const std::vector<image::TableSector>* table = &target_.sectors;
  if (const auto& g = target_.growth) {
    const auto grown = std::find_if(watched_.begin(), watched_.end(),
                                    [&](const Watched& w) { return w.start == g->start_lba * kSectorSize; });
    const FileSystemKind kind = grown == watched_.end() ? FileSystemKind::unknown : grown->probe.kind;
    growth_ = GrowthJob{path_, *g, kind, {}};
    if (is_fat(kind)) {
      growth_->grown_table = target_.sectors;
      table = &target_.ungrown;
    }
  }
  for (const image::TableSector& t : *table) {
    if (!disk_->write_at(t.lba * kSectorSize, t.bytes)) return failed_writing("the partition table");
  }
  if (!disk_->sync()) return fail("flushing " + path_ + " failed: " + std::strerror(errno));
  if (!disk_->reread_partitions()) {
    // The data is written; only the kernel's view of the partitions is old.
    error_ = "the kernel did not take the new partition table of " + path_ + ": " + std::strerror(errno);
  }
  return true;
}

void ImageRestorer::settle_layout() {
  const auto mib = [](std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; };
  if (const auto& g = target_.growth) {
    const auto grown =
        std::find_if(watched_.begin(), watched_.end(), [&](const Watched& w) { return w.number == g->number; });
    const FileSystemKind kind = grown == watched_.end() ? FileSystemKind::unknown : grown->probe.kind;
    report_.push_back("partition " + std::to_string(g->number) + " (" + file_system_name(kind) +
                      ") takes the larger disk's room: " + mib(g->old_sectors * kSectorSize) + " grown to " +
                      mib(g->new_sectors * kSectorSize) +
                      (kind == FileSystemKind::ext || kind == FileSystemKind::ntfs || is_fat(kind)
                           ? "; its file system is grown after the copy"
                           : "; its file system is not one this Client can grow"));
  }
  for (const Watched& w : watched_) {
    if (w.number == 0 || w.start == w.image_start) continue;
    std::string line = "partition " + std::to_string(w.number) + " (" + file_system_name(w.probe.kind) +
                       ") moved by " + mib(w.start - w.image_start) + ", to sector " +
                       std::to_string(w.start / kSectorSize);
    const auto head = held_.find(w.start);
    if (w.probe.kind == FileSystemKind::swap && head != held_.end()) {
      line += remake_swap_header(head->second, w.probe.page_size, w.bytes)
                  ? "; swap made again there with its UUID and label"
                  : "; its swap header could not be made again";
    }
    report_.push_back(line);
  }
}

AfterCopyReport ImageRestorer::after_done(const AfterCopyOrders& orders) {
  AfterCopyReport report;
  disk_.reset();  // the tools open the disk or its partitions for themselves
  if (growth_) {
    const GrowthJob job = *growth_;
    growth_.reset();
    report.lines = grow_file_system(job);
  }
  std::vector<NamingPartition> partitions;
  for (const Partition& p : target_.table.partitions) partitions.push_back({p.number, p.start_lba, p.sectors});
  if (!orders.computer_name.empty()) {
    NamingResult named = name_systems(path_, partitions, orders.computer_name);
    report.naming = named.outcome;
    report.lines.insert(report.lines.end(), named.lines.begin(), named.lines.end());
  }
  // Said where it matters: only a copied Windows has a security identifier.
  if (orders.unique_sid && holds_windows(path_, partitions)) report.lines.push_back(kUniqueSidNote);
  return report;
}

}  // namespace kestrelon::client
