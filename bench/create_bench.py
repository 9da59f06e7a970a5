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
import random
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NETLAB = os.path.join(ROOT, "tests", "lab", "netlab.sh")
MAKE_DISK = os.path.join(ROOT, "tests", "lab", "make_test_disk.sh")


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def host_address(host):
    return f"10.47.0.{host + 1}"


class Lab:
    """A lab named like the test harness's (kl<pid>x<n>), so netlab.sh sweep finds it."""

    def __init__(self, clients):
        self.name = f"kl{os.getpid()}x{random.randrange(1 << 30):x}"
        subprocess.run([NETLAB, "up", self.name, str(clients)], check=True)

    def argv(self, host, argv):
        return [NETLAB, "exec", self.name, str(host)] + argv

    def close(self):
        subprocess.run([NETLAB, "down", self.name], check=False)


def stop(process):
    if process.poll() is None:
        process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def run_create(lab, args, disk, level, out, work):
    client = subprocess.Popen(
        lab.argv(1, [args.client, "--disk", disk, "--address", host_address(1), "--name", "bench-source"]),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        argv = ["timeout", "1200", args.cli, "create", "--client", "bench-source", "--out", out, "--overwrite",
                "--compression", str(level), "--discover-seconds", "20"]
        if args.sector_by_sector:
            argv.append("--sector-by-sector")
        before = children_cpu()
        done = subprocess.run(lab.argv(0, argv), capture_output=True, text=True,
                              env=dict(os.environ, KESTRELON_SETTINGS_DIR=os.path.join(work, "settings")))
        cpu = children_cpu() - before
    finally:
        stop(client)
    m = re.search(r"in ([0-9.]+) s: ([0-9.]+) MB/s", done.stdout)
    if done.returncode != 0 or not m:
        sys.exit(f"kestrelon-cli create failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return float(m.group(1)), cpu


def run_udpcast(lab, image, work):
    out = os.path.join(work, "udpcast.img")
    # The lab's addresses have no broadcast address: the receiver's hello goes to the
    # all-hosts group instead.
    receiver = subprocess.Popen(lab.argv(0, ["udp-receiver", "--file", out, "--interface", "eth0", "--nokbd",
                                             "--mcast-rdv-address", "224.0.0.1"]),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        argv = ["timeout", "600", "udp-sender", "--file", image, "--interface", "eth0", "--min-receivers", "1", "--nokbd"]
        sender = subprocess.Popen(lab.argv(1, argv), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        started = None
        buffer = b""
        while True:
            chunk = sender.stderr.read1(4096)
            if not chunk:
                break
            buffer += chunk
            if started is None and b"Starting transfer" in buffer:
                started = time.monotonic()
        sender.wait()
        ended = time.monotonic()
        receiver.wait(timeout=30)
    finally:
        stop(receiver)
    if sender.returncode != 0 or started is None:
        sys.exit(f"udp-sender failed ({sender.returncode}): {buffer.decode(errors='replace')[-500:]}")
    if subprocess.run(["cmp", "-s", out, image]).returncode != 0:
        sys.exit("the udpcast copy differs from the image")
    os.remove(out)
    return ended - started


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="disk size in MiB (64 or more)")
    parser.add_argument("--levels", default="0,9", help="compression levels, comma-separated")
    parser.add_argument("--runs", type=int, default=1, help="runs per level (the median is shown)")
    parser.add_argument("--sector-by-sector", action="store_true", help="force sector-by-sector copying")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("create_bench: needs root (network namespaces, tmpfs)")
    args.cli = os.path.join(args.build, "cli", "kestrelon-cli")
    args.client = os.path.join(args.build, "client", "kestrelon-client")
    for tool in (args.cli, args.client, shutil.which("udp-sender") or "/usr/bin/udp-sender"):
        if not os.access(tool, os.X_OK):
            sys.exit(f"create_bench: {tool} is missing (build first; udpcast comes from scripts/deps.sh)")
    levels = [int(x) for x in args.levels.split(",")]

    work = tempfile.mkdtemp(prefix="kestrelon-bench-")
    # The disk, the image and udpcast's copy live in memory, so disks do not set the pace.
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={args.mib * 3 + 64}m", "tmpfs", work], check=True)
    try:
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
    finally:
        subprocess.run(["umount", work], check=False)
        os.rmdir(work)


if __name__ == "__main__":
    main()
