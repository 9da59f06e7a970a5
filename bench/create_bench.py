#!/usr/bin/env python3
"""Create benchmark on the network lab (run by hand, as root; not part of CI).

Builds a virtual disk of --mib MiB with an ext4 and a FAT32 partition full of
files (tests/lab/make_test_disk.sh), serves it from a reference Client on host 1
of a lab of namespaces (tests/lab/netlab.sh) and times `kestrelon-cli create` on
host 0, at each compression level asked for, two ways: the Client of old
(`--stop-and-wait --compress-threads 1`: one block in flight, one compression
thread) and the pipelined Client as it starts by default. In the same lab it
times udpcast sending the pipelined Create's image from host 1 to host 0 (one
receiver, so udp-sender uses unicast). Each condition asked for gets its own
series:

    plain   the lab as it is: no bandwidth limit, no loss
    loss    2 % of the datagrams arriving at the Client's host dropped (nftables)
    gbit    both hosts' links shaped to 1 Gbit/s (tbf); the rate is also shown as
            a share of that line rate (125 MB/s)

It prints the image-byte rates in MB/s (10^6 bytes), the ratios pipelined /
stop-and-wait and pipelined / udpcast, and the Controller's CPU seconds, each
the median of --runs runs, and ends with the same figures as a Markdown table.
Every image a level produces (both ways, every run, every condition) must be
the same byte for byte, and udpcast's copy must equal it.

With --windows it instead times the pipelined Client with each of the given
most blocks in flight (--upload-window), at the first level asked for, under
each condition: how the Client's default was chosen.

With --compression it instead sets the Client's compression against the way
images were compressed before zstd: zlib at level 9 (the Client's --zlib) as the
baseline, then each level asked for as the Client compresses it now, all
pipelined, in the same labs. It prints the image bytes and the rate at which
the Create reads the disk's partitions (disk MB/s), each as a ratio to zlib 9's,
the image-byte rate as a share of the 1 Gbit/s line where the link is shaped,
and the Controller's CPU seconds:

    sudo bench/create_bench.py --compression --levels 1,5,9 --conditions plain,gbit

    sudo bench/create_bench.py [--build build] [--mib 256] [--levels 0,9] [--runs 3]
                               [--conditions plain,loss,gbit] [--sector-by-sector]
                               [--windows 8,16,32,64,128,256 | --compression]
"""
import argparse
import hashlib
import os
import re
import statistics
import subprocess
import sys

from bench_lab import ROOT, TIMEOUT_S, Lab, children_cpu, host_address, programs, same_file, stop, time_udp_sender
from bench_lab import tmpfs

MAKE_DISK = os.path.join(ROOT, "tests", "lab", "make_test_disk.sh")
LINE_MBPS = 125.0  # 1 Gbit/s in MB/s
CONDITIONS = {
    "plain": "no limit",
    "loss": "2 % loss",
    "gbit": "1 Gbit/s",
}
STOP_AND_WAIT = ["--stop-and-wait", "--compress-threads", "1"]
ZLIB = ["--zlib"]


def prepare(lab, condition):
    if condition == "loss":
        lab.set_loss(1, 2)
    elif condition == "gbit":
        for host in (0, 1):
            subprocess.run(lab.argv(host, ["tc", "qdisc", "add", "dev", "eth0", "root", "tbf", "rate", "1gbit",
                                           "burst", "128kb", "latency", "20ms"]), check=True)


def run_create(lab, args, disk, level, out, work, client_switches):
    """Seconds of the upload and the Controller's CPU seconds. The Controller sends
    its request once, so loss can take it; such a Create is made again."""
    for attempt in range(3):
        result = try_create(lab, args, disk, level, out, work, client_switches)
        if not isinstance(result, str):
            return result
        print(f"  (a Create failed, made again: {result.strip().splitlines()[-1] if result.strip() else '?'})",
              flush=True)
    sys.exit(f"kestrelon-cli create failed three times:\n{result}")


def try_create(lab, args, disk, level, out, work, client_switches):
    client = subprocess.Popen(
        lab.argv(1, [args.client, "--disk", disk, "--address", host_address(1), "--name", "bench-source"] +
                 client_switches),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        argv = [args.cli, "create", "--client", "bench-source", "--out", out, "--overwrite",
                "--compression", str(level), "--discover-seconds", "20"]
        if args.sector_by_sector:
            argv.append("--sector-by-sector")
        before = children_cpu()
        done = subprocess.run(lab.argv(0, argv), capture_output=True, text=True, timeout=TIMEOUT_S,
                              env=dict(os.environ, KESTRELON_SETTINGS_DIR=os.path.join(work, "settings"),
                                       XDG_STATE_HOME=os.path.join(work, "state")))
        cpu = children_cpu() - before
    finally:
        stop([client])
    m = re.search(r"in ([0-9.]+) s: ([0-9.]+) MB/s", done.stdout)
    if done.returncode != 0 or not m:
        return f"status {done.returncode}:\n{done.stdout}\n{done.stderr}"
    return float(m.group(1)), cpu


def run_udpcast(lab, image, work):
    """Seconds for udpcast to send the image from the Client's host to the
    Controller's: with one receiver, udp-sender sends by unicast. A try whose
    receiver never connects (its request or the answer lost) is made again."""
    out = os.path.join(work, "udpcast.img")
    for _ in range(5):
        receiver = subprocess.Popen(lab.argv(0, ["udp-receiver", "--file", out, "--interface", "eth0", "--nokbd"]),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            argv = ["udp-sender", "--file", image, "--interface", "eth0", "--min-receivers", "1", "--nokbd"]
            seconds = time_udp_sender(lab, 1, argv, work, start_within=20)
            if seconds is not None:
                receiver.wait(timeout=30)
        finally:
            stop([receiver])
        if seconds is not None:
            break
        print("  (udpcast did not start; trying again)", flush=True)
    else:
        sys.exit("udpcast did not start in five tries")
    if not same_file(out, image):
        sys.exit("the udpcast copy differs from the image")
    os.remove(out)
    return seconds


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def measure(args, disk, work, condition, level, digests):
    """Median seconds of the old and the new Client and of udpcast, the image
    size and the new Client's Controller CPU seconds."""
    old, new, theirs, size = [], [], [], 0
    for _ in range(args.runs):
        lab = Lab(1)
        try:
            prepare(lab, condition)
            for switches, into in ((STOP_AND_WAIT, old), ([], new)):
                image = os.path.join(work, f"bench-{level}.krn")
                into.append(run_create(lab, args, disk, level, image, work, switches))
                size = os.path.getsize(image)
                seen = digests.setdefault(level, digest(image))
                if digest(image) != seen:
                    sys.exit(f"level {level}: an image differs from the first one ({condition}, "
                             f"{'stop-and-wait' if switches else 'pipelined'})")
            theirs.append(run_udpcast(lab, image, work))
            os.remove(image)
        finally:
            lab.close()
    return (statistics.median(x[0] for x in old), statistics.median(x[0] for x in new), statistics.median(theirs),
            size, statistics.median(x[1] for x in new))


def measure_windows(args, disk, work, condition, level, windows, digests):
    """Median seconds of the pipelined Client with each window, in the same labs."""
    seconds = {w: [] for w in windows}
    size = 0
    for _ in range(args.runs):
        lab = Lab(1)
        try:
            prepare(lab, condition)
            for w in windows:
                image = os.path.join(work, f"bench-{level}.krn")
                seconds[w].append(run_create(lab, args, disk, level, image, work, ["--upload-window", str(w)])[0])
                size = os.path.getsize(image)
                if digest(image) != digests.setdefault(level, digest(image)):
                    sys.exit(f"level {level}: the image of window {w} differs ({condition})")
                os.remove(image)
        finally:
            lab.close()
    return {w: size / statistics.median(s) / 1e6 for w, s in seconds.items()}, size


def window_table(args, disk, work, conditions, level, windows):
    digests = {}
    print(f"{'link':>9} " + " ".join(f"{w:>7}" for w in windows) + "   (MB/s by most blocks in flight)")
    rows = []
    for condition in conditions:
        rates, size = measure_windows(args, disk, work, condition, level, windows, digests)
        rows.append((CONDITIONS[condition], rates))
        print(f"{CONDITIONS[condition]:>9} " + " ".join(f"{rates[w]:>7.1f}" for w in windows), flush=True)
    print(f"\nlevel {level}, image {size / 1e6:.1f} MB; every image equal\n")
    print("| link | " + " | ".join(str(w) for w in windows) + " |")
    print("|---|" + "---|" * len(windows))
    for name, rates in rows:
        print(f"| {name} | " + " | ".join(f"{rates[w]:.1f}" for w in windows) + " |")


def measure_compression(args, disk, work, condition, series, digests):
    """Median seconds, image bytes and Controller CPU seconds of each series (a
    name, a level and the Client's switches), all in the same labs."""
    seconds = {name: [] for name, _, _ in series}
    cpu = {name: [] for name, _, _ in series}
    size = {}
    for _ in range(args.runs):
        lab = Lab(1)
        try:
            prepare(lab, condition)
            for name, level, switches in series:
                image = os.path.join(work, "bench-compression.krn")
                s, c = run_create(lab, args, disk, level, image, work, switches)
                seconds[name].append(s)
                cpu[name].append(c)
                size[name] = os.path.getsize(image)
                if digest(image) != digests.setdefault(name, digest(image)):
                    sys.exit(f"{name}: an image differs from the first one ({condition})")
                os.remove(image)
        finally:
            lab.close()
    return {name: (statistics.median(seconds[name]), size[name], statistics.median(cpu[name]))
            for name, _, _ in series}


def compression_table(args, disk, disk_bytes, work, conditions, levels):
    series = [("zlib 9", 9, ZLIB)] + [(f"zstd {level}", level, []) for level in levels]
    digests = {}
    rows = []
    print(f"{'link':>9} {'series':>7} {'image MB':>9} {'x zlib 9':>9} {'disk MB/s':>10} {'x zlib 9':>9} "
          f"{'image MB/s':>11} {'/line':>6} {'CPU s':>6}")
    for condition in conditions:
        figures = measure_compression(args, disk, work, condition, series, digests)
        base_s, base_size, _ = figures["zlib 9"]
        for name, _, _ in series:
            s, size, cpu = figures[name]
            rate, image_rate = disk_bytes / s / 1e6, size / s / 1e6
            line = f"{image_rate / LINE_MBPS:.2f}" if condition == "gbit" else "-"
            row = (CONDITIONS[condition], name, size / 1e6, size / base_size, rate, base_s / s, image_rate, line, cpu)
            rows.append(row)
            print(f"{row[0]:>9} {row[1]:>7} {row[2]:>9.1f} {row[3]:>9.3f} {row[4]:>10.1f} {row[5]:>9.2f} "
                  f"{row[6]:>11.1f} {row[7]:>6} {row[8]:>6.2f}", flush=True)
    with open("/proc/loadavg") as f:
        load = f.read().split()[0]
    print(f"\nload {load} at the end; every image of a series equal in every run\n")
    print("| link | compression | image MB | × zlib 9 | disk MB/s | × zlib 9 | image MB/s | /line | Controller CPU s |")
    print("|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        print(f"| {r[0]} | {r[1]} | {r[2]:.1f} | {r[3]:.3f} | {r[4]:.1f} | {r[5]:.2f} | {r[6]:.1f} | {r[7]} "
              f"| {r[8]:.2f} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="disk size in MiB (64 or more)")
    parser.add_argument("--levels", default="0,9", help="compression levels, comma-separated")
    parser.add_argument("--runs", type=int, default=3, help="runs per figure (the median is shown)")
    parser.add_argument("--conditions", default="plain,loss,gbit",
                        help="comma-separated: " + ", ".join(CONDITIONS))
    parser.add_argument("--sector-by-sector", action="store_true", help="force sector-by-sector copying")
    parser.add_argument("--windows", help="comma-separated most blocks in flight to compare instead")
    parser.add_argument("--compression", action="store_true",
                        help="compare the levels' compression with zlib 9's instead")
    args = parser.parse_args()
    args.cli, args.client = programs(args.build, "create_bench")
    levels = [int(x) for x in args.levels.split(",")]
    conditions = args.conditions.split(",")
    for c in conditions:
        if c not in CONDITIONS:
            sys.exit(f"create_bench: unknown condition '{c}' (known: {', '.join(CONDITIONS)})")

    rows = []
    digests = {}
    # The disk, the images and udpcast's copy live in memory.
    with tmpfs(args.mib * 3 + 64) as work:
        disk = os.path.join(work, "disk.img")
        partitions = subprocess.run([MAKE_DISK, disk, str(args.mib)], check=True, capture_output=True,
                                    text=True).stdout.split("\n")
        disk_bytes = sum(int(line.split()[1]) * 512 for line in partitions if line.strip())
        with open("/proc/loadavg") as f:
            load = f.read().split()[0]
        if args.windows:
            print(f"disk: {args.mib} MiB, {disk_bytes / 1e6:.1f} MB in partitions; load {load} at the start; "
                  f"median of {args.runs} run(s)")
            window_table(args, disk, work, conditions, levels[0], [int(w) for w in args.windows.split(",")])
            return
        if args.compression:
            print(f"disk: {args.mib} MiB, ext4 + FAT32 about half full, {disk_bytes / 1e6:.1f} MB in partitions; "
                  f"{os.cpu_count()} cores, load {load} at the start; median of {args.runs} run(s)")
            compression_table(args, disk, disk_bytes, work, conditions, levels)
            return
        print(f"disk: {args.mib} MiB, ext4 + FAT32 about half full, {disk_bytes / 1e6:.1f} MB in partitions; "
              f"{'sector by sector; ' if args.sector_by_sector else ''}"
              f"{os.cpu_count()} cores, load {load} at the start; median of {args.runs} run(s)")
        print(f"{'link':>9} {'level':>5} {'image MB':>9} {'s&w MB/s':>9} {'pipe MB/s':>10} {'x s&w':>6} "
              f"{'CPU s':>6} {'udpcast':>8} {'/udpcast':>9} {'/line':>6}")
        for condition in conditions:
            for level in levels:
                old_s, new_s, udp_s, size, cpu = measure(args, disk, work, condition, level, digests)
                old, new, udp = size / old_s / 1e6, size / new_s / 1e6, size / udp_s / 1e6
                line = f"{new / LINE_MBPS:.2f}" if condition == "gbit" else "-"
                rows.append((CONDITIONS[condition], level, size / 1e6, old, new, new / old, cpu, udp, new / udp, line))
                print(f"{CONDITIONS[condition]:>9} {level:>5} {size / 1e6:>9.1f} {old:>9.1f} {new:>10.1f} "
                      f"{new / old:>6.2f} {cpu:>6.2f} {udp:>8.1f} {new / udp:>9.2f} {line:>6}", flush=True)
        with open("/proc/loadavg") as f:
            load = f.read().split()[0]
    print(f"\nload {load} at the end; every image of a level equal, udpcast's copies equal\n")
    print("| link | level | image MB | stop-and-wait MB/s | pipelined MB/s | × stop-and-wait | Controller CPU s "
          "| udpcast MB/s | /udpcast | /line |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        print(f"| {r[0]} | {r[1]} | {r[2]:.1f} | {r[3]:.1f} | {r[4]:.1f} | {r[5]:.2f} | {r[6]:.2f} | {r[7]:.1f} "
              f"| {r[8]:.2f} | {r[9]} |")


if __name__ == "__main__":
    main()
