#include "client_options.h"

#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>

#include "net/disk_layout.h"

namespace kestrelon::client {
namespace {

constexpr int kMaxClients = 4096;

std::optional<long long> parse_integer(const std::string& text, long long lo, long long hi) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<double> parse_percent(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(v >= 0 && v <= 100)) return std::nullopt;
  return v;
}

}  // namespace

std::string client_usage() {
  return R"(Usage: kestrelon-client [options]

A Client of the Kestrelon disk-imaging system. It answers discovery requests,
receives multicast copies onto a disk (or into a folder), and uploads images of
its disks. Disks are raw disk image files or block devices, partitioned with an
MBR or a GPT, of 512-byte sectors.

Disks and identity:
  --disk PATH           a disk, up to 4 times (the first is BIOS drive 0x80, the
                        Controller's drive 1). Partitions are read from its MBR
                        (logical partitions included) or its GPT; the first 12
                        are announced. At least one is needed, unless --store and
                        --store-size are given.
  --disk auto           every fixed disk of this PC instead (SATA, NVMe, virtio,
                        USB), in a stable order, internal disks first; the log
                        names each and those left out: removable media, mounted
                        disks, disks of other sector sizes, and the medium the PC
                        started from (FAT label KSTRLN-BOOT). The Controller
                        lists the first four.
  --name NAME           the name announced (at most 40 bytes; default: host name).
                        With --count, each Client adds "-NNN" (its index).
  --address A           the local IPv4 address this Client binds (port 4747) and
                        announces.
  --interface NAME      the same, with the first IPv4 address of interface NAME.
                        Without --address, --interface or --address-from the
                        Client stays on this machine (127.0.0.1): it answers on a
                        real network only when one of them names its address.
  --count K             emulate K Clients in this process (1 to 4096), with the
                        addresses A, A+1, ... A+K-1 from --address-from; they share
                        the disks, which they only read (use --store for copies).
  --address-from A      the first address of --count.

Transfers:
  --store DIR           keep each received copy byte for byte as DIR/NAME (the
                        image file name the Controller sends; DIR/ADDRESS/NAME when
                        emulating several Clients) instead of restoring it.
  --store-size SIZE     with --store and no --disk: announce one empty disk of
                        SIZE (64G, 512M, ... or bytes), so that the Controller's
                        disk space check lets copies of up to SIZE through.
  --allow-write         allow restoring onto a block device (image files are
                        always writable).
  --once                exit after the first transfer ends: status 0 when it
                        succeeded (a copy: once the Controller has shown it took
                        the Client's done, by its end of the copy or by falling
                        silent), 1 when it failed or was aborted.

A restore first wipes the disk's old partition table and file system starts and
writes the new partition table last: a disk whose copy broke off has no
partition table, and says so in its first sector and in this Client's log. It
never writes onto a mounted disk or the medium the PC started from. The options
that travel with a copy: "Keep partition size" off gives a disk's added room
to the last data partition, and its file system with it (resize2fs,
ntfsresize, fatresize, where installed), moving what follows it (swap, made
again with its UUID and label) to the disk's end; on, partitions keep their
sizes.
"Force sector-by-sector copying" makes a Create read every sector from the
start of the disk to the end of its last partition, zeros and gaps included.
"Create Unique NT SID" has no effect: this Client does not change Windows
security identifiers, and says so in its log after a copy that wrote a Windows.
A computer name the Controller gives with the copy (its name plan) is written
after a whole copy into each copied Linux system on ext2/3/4 (/etc/hostname,
/etc/hosts, a new /etc/machine-id) and Windows on NTFS (its SYSTEM hive).
  --verbose             report every transfer step on standard error.
  --stop-and-wait       upload images one block at a time, each sent only once
                        the one before it is acknowledged (default: up to 128
                        blocks in flight, fewer while blocks get lost).
  --upload-window N     at most N blocks in flight during an upload (1 to 1024;
                        default 128; 1 is --stop-and-wait).
  --compress-threads N  compress an image's chunks on N threads (1 to 64;
                        default: one per core). The image is the same either way.
  --zlib                compress images with zlib, as this Client did before it
                        used zstd: larger and several times slower; for
                        comparison. Every Client restores both.

Fault injection (for tests; the dice are seeded, so a run repeats exactly):
  --seed N              seed of the dice (default 1).
  --drop-in P, --drop-out P
                        drop P percent of incoming / outgoing datagrams.
  --duplicate-in P, --duplicate-out P
                        handle / send P percent of datagrams twice.
  --delay-in P, --delay-out P
                        hold back P percent of datagrams by --delay-ms.
  --delay-ms MS         the hold-back time (default 50).
  --silent-after N      go silent in a transfer after block N (copy: received,
                        create: sent): no further answers for that transfer.
  --exit-after N        exit the process (status 3) at block N of a transfer.
  --never-ack           never send a copy acknowledgement (OP_COPY_ACK).
  --repeat-ready N      send OP_COPY_READY N extra times.
  --drop-out-of-order   keep no copy block that arrives before a missing one (a
                        Client that needs its blocks in order).
  --slow-read MS        make every read of a disk during a Create take MS
                        milliseconds longer (a slow or failing disk).

  --help                show this text.
  --version             show the program's version.

Exit status: 0 success, 1 a transfer failed (with --once), 2 bad options or an
unusable disk or address, 3 --exit-after.
)";
}

std::optional<std::uint64_t> parse_store_size(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t shift = 0;
  std::string digits = text;
  switch (text.back()) {
    case 'K': case 'k': shift = 10; break;
    case 'M': case 'm': shift = 20; break;
    case 'G': case 'g': shift = 30; break;
    case 'T': case 't': shift = 40; break;
    default: break;
  }
  if (shift != 0) digits.pop_back();
  const auto n = parse_integer(digits, 1, 1ll << 42);
  if (!n) return std::nullopt;
  const std::uint64_t sectors = (static_cast<std::uint64_t>(*n) << shift) / 512;
  if (sectors == 0 || sectors > 0xFFFFFFFFull) return std::nullopt;
  return sectors;
}

ParseResult parse_client_options(const std::vector<std::string>& args) {
  ClientOptions o;
  ParseResult result;
  const auto error = [&](std::string text) {
    result.options.reset();
    result.error = std::move(text);
    return result;
  };

  using Setter = std::function<bool(const std::string&)>;
  const auto percent = [](double& field) {
    return Setter([&field](const std::string& v) {
      const auto p = parse_percent(v);
      if (p) field = *p;
      return p.has_value();
    });
  };
  const auto address = [](std::optional<Ipv4Address>& field) {
    return Setter([&field](const std::string& v) {
      field = Ipv4Address::parse(v);
      return field.has_value();
    });
  };
  const auto integer = [](auto& field, long long lo, long long hi) {
    return Setter([&field, lo, hi](const std::string& v) {
      const auto n = parse_integer(v, lo, hi);
      if (n) field = static_cast<std::remove_reference_t<decltype(field)>>(*n);
      return n.has_value();
    });
  };
  FaultPlan& f = o.faults;
  const std::map<std::string, std::pair<Setter, const char*>> with_value = {
      {"--disk", {[&](const std::string& v) {
                    if (v == "auto") {
                      o.discover_disks = true;
                    } else {
                      o.disks.push_back(v);
                    }
                    return !v.empty();
                  },
                  "a path, or auto"}},
      {"--name", {[&](const std::string& v) { o.name = v; return !v.empty() && v.size() <= 40; },
                  "a name of 1 to 40 bytes"}},
      {"--address", {address(o.address), "an IPv4 address"}},
      {"--address-from", {address(o.address_from), "an IPv4 address"}},
      {"--count", {integer(o.count, 1, kMaxClients), "a number from 1 to 4096"}},
      {"--interface", {[&](const std::string& v) { o.interface_name = v; return !v.empty(); }, "an interface name"}},
      {"--store", {[&](const std::string& v) { o.store_dir = v; return !v.empty(); }, "a folder"}},
      {"--store-size", {[&](const std::string& v) {
                          const auto sectors = parse_store_size(v);
                          o.store_sectors = sectors.value_or(0);
                          return sectors.has_value();
                        },
                        "a size such as 64G, 512M or a byte count, at most 2T"}},
      {"--seed", {integer(f.seed, 0, static_cast<long long>(0x7FFFFFFFFFFFFFFF)), "a number"}},
      {"--drop-in", {percent(f.drop_in), "a percentage from 0 to 100"}},
      {"--drop-out", {percent(f.drop_out), "a percentage from 0 to 100"}},
      {"--duplicate-in", {percent(f.duplicate_in), "a percentage from 0 to 100"}},
      {"--duplicate-out", {percent(f.duplicate_out), "a percentage from 0 to 100"}},
      {"--delay-in", {percent(f.delay_in), "a percentage from 0 to 100"}},
      {"--delay-out", {percent(f.delay_out), "a percentage from 0 to 100"}},
      {"--delay-ms", {integer(f.delay_ms, 0, 60000), "milliseconds from 0 to 60000"}},
      {"--silent-after", {integer(f.silent_after_block, 0, 0xFFFFFFFFll), "a block number"}},
      {"--exit-after", {integer(f.exit_after_block, 0, 0xFFFFFFFFll), "a block number"}},
      {"--repeat-ready", {integer(f.extra_ready, 0, 100), "a number from 0 to 100"}},
      {"--compress-threads", {integer(o.compress_threads, 1, 64), "a number from 1 to 64"}},
      {"--upload-window", {integer(o.upload_window, 1, 1024), "a number from 1 to 1024"}},
      {"--slow-read", {integer(f.slow_read_ms, 0, 60000), "milliseconds from 0 to 60000"}},
  };
  const std::map<std::string, bool*> flags = {
      {"--allow-write", &o.allow_write}, {"--once", &o.once},           {"--verbose", &o.verbose},
      {"--stop-and-wait", &o.stop_and_wait}, {"--zlib", &o.zlib},
      {"--help", &o.help},               {"--never-ack", &f.never_acknowledge},
      {"--version", &o.version},
      {"--drop-out-of-order", &f.drop_out_of_order},
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> value;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    if (const auto flag = flags.find(arg); flag != flags.end()) {
      if (value) return error("option " + arg + " takes no value");
      *flag->second = true;
      continue;
    }
    const auto opt = with_value.find(arg);
    if (opt == with_value.end()) return error("unknown option '" + args[i] + "'");
    if (!value) {
      if (i + 1 >= args.size()) return error("option " + arg + " needs a value (" + opt->second.second + ")");
      value = args[++i];
    }
    if (!opt->second.first(*value)) {
      return error("option " + arg + ": '" + *value + "' is not " + opt->second.second);
    }
  }
  if (o.help || o.version) {
    result.options = o;
    return result;
  }
  if (o.disks.size() > static_cast<std::size_t>(kMaxDisks)) return error("at most 4 disks (--disk) can be given");
  if (o.discover_disks && !o.disks.empty()) return error("--disk auto finds every disk: give no other --disk");
  if (o.count > 1 && !o.address_from) return error("--count needs --address-from (the first address)");
  if (o.address_from && o.address) return error("give either --address or --address-from, not both");
  if (o.address_from && (o.address_from->value() + static_cast<std::uint32_t>(o.count - 1) < o.address_from->value())) {
    return error("--address-from with --count runs past 255.255.255.255");
  }
  const double out_total = f.drop_out + f.duplicate_out + f.delay_out;
  const double in_total = f.drop_in + f.duplicate_in + f.delay_in;
  if (out_total > 100 || in_total > 100) return error("the fault shares of one direction add up to more than 100 percent");
  if (o.interface_name && (o.address || o.address_from)) {
    return error("give either --interface or --address/--address-from, not both");
  }
  // A Client without a disk announces none, and the Controller's disk space
  // check then refuses every image with partitions: it could never be used.
  if (o.store_sectors != 0 && !o.store_dir) return error("--store-size goes with --store");
  if (o.store_sectors != 0 && (!o.disks.empty() || o.discover_disks)) {
    return error("--store-size is for a Client without --disk");
  }
  if (o.disks.empty() && !o.discover_disks && o.store_sectors == 0) {
    return error("give at least one --disk, or --store DIR with --store-size SIZE");
  }
  result.options = o;
  return result;
}

}  // namespace kestrelon::client
