#!/usr/bin/env python3
"""Create benchmark on the network lab (run by hand, as root; not part of CI).

Builds a virtual disk of --mib MiB with an ext4 and a FAT32 partition full of
files (tests/lab/make_test_disk.sh), serves it from a reference Client on host 1
of a lab of namespaces (tests/lab/netlab.sh) and times `kestrelon-cli create` on
host 0 at each compression level asked for. It prints the upload's rate in MB/s
(10^6 bytes) of disk data (the partitions' bytes) and of image bytes, the
Controller's CPU seconds, and, in the same run and the same lab, the rate of
udpcast sending the same image bytes from host 1 to host 0 (one receiver, so
udp-sender uses unicast) with the ratio of the two image-byte rates.

    sudo bench/create_bench.py [--build build] [--mib 256] [--levels 0,9] [--runs 1] [--sector-by-sector]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys

from bench_lab import ROOT, TIMEOUT_S, Lab, children_cpu, host_address, programs, same_file, stop, time_udp_sender
from bench_lab import tmpfs

MAKE_DISK = os.path.join(ROOT, "tests", "lab", "make_test_disk.sh")


def run_create(lab, args, disk, level, out, work):
    client = subprocess.Popen(
        lab.argv(1, [args.client, "--disk", disk, "--address", host_address(1), "--name", "bench-source"]),
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
        sys.exit(f"kestrelon-cli create failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return float(m.group(1)), cpu


def run_udpcast(lab, image, work):
    """Seconds for udpcast to send the image from the Client's host to the
    Controller's: with one receiver, udp-sender sends by unicast."""
    out = os.path.join(work, "udpcast.img")
    receiver = subprocess.Popen(lab.argv(0, ["udp-receiver", "--file", out, "--interface", "eth0", "--nokbd"]),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        argv = ["udp-sender", "--file", image, "--interface", "eth0", "--min-receivers", "1", "--nokbd"]
        seconds = time_udp_sender(lab, 1, argv, work)
        receiver.wait(timeout=30)
    finally:
        stop([receiver])
    if not same_file(out, image):
        sys.exit("the udpcast copy differs from the image")
    os.remove(out)
    return seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="disk size in MiB (64 or more)")
    parser.add_argument("--levels", default="0,9", help="compression levels, comma-separated")
    parser.add_argument("--runs", type=int, default=1, help="runs per level (the median is shown)")
    parser.add_argument("--sector-by-sector", action="store_true", help="force sector-by-sector copying")
    args = parser.parse_args()
    args.cli, args.client = programs(args.build, "create_bench")
    levels = [int(x) for x in args.levels.split(",")]

    # The disk, the image and udpcast's copy live in memory.
    with tmpfs(args.mib * 3 + 64) as work:
        disk = os.path.join(work, "disk.img")
        partitions = subprocess.run([MAKE_DISK, disk, str(args.mib)], check=True, capture_output=True,
                                    text=True).stdout.split("\n")
        disk_bytes = sum(int(line.split()[1]) * 512 for line in partitions if line.strip())
        print(f"disk: {args.mib} MiB, ext4 + FAT32 about half full, {disk_bytes / 1e6:.1f} MB in partitions; "
              f"{'sector by sector; ' if args.sector_by_sector else ''}"
              f"{os.cpu_count()} cores; median of {args.runs} run(s)")
        print(f"{'level':>5} {'image MB':>9} {'s':>7} {'disk MB/s':>10} {'image MB/s':>11} {'CPU s':>7} "
              f"{'udpcast s':>10} {'udpcast MB/s':>13} {'/udpcast':>9}")
        for level in levels:
            ours, theirs, size = [], [], 0
            for _ in range(args.runs):
                image = os.path.join(work, f"bench-{level}.krn")
                lab = Lab(1)
                try:
                    ours.append(run_create(lab, args, disk, level, image, work))
                    size = os.path.getsize(image)
                    theirs.append(run_udpcast(lab, image, work))
                finally:
                    lab.close()
                os.remove(image)
            seconds = statistics.median(x[0] for x in ours)
            cpu = statistics.median(x[1] for x in ours)
            u_seconds = statistics.median(theirs)
            rate, u_rate = size / seconds / 1e6, size / u_seconds / 1e6
            print(f"{level:>5} {size / 1e6:>9.1f} {seconds:>7.2f} {disk_bytes / seconds / 1e6:>10.1f} "
                  f"{rate:>11.1f} {cpu:>7.2f} {u_seconds:>10.2f} {u_rate:>13.1f} {rate / u_rate:>9.2f}", flush=True)


if __name__ == "__main__":
    main()
