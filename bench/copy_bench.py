#!/usr/bin/env python3
"""Copy benchmark on the network lab (run by hand, as root; not part of CI).

For each Client count it brings up a lab of namespaces (tests/lab/netlab.sh),
starts reference Clients that store what they receive on a tmpfs, and times
`kestrelon-cli copy` of one random image from host 0. In the same run and the
same lab it times udpcast's udp-sender to as many udp-receivers. It prints the
Controller's rate in MB/s (10^6 bytes), its CPU seconds, the ratio to the
designed ceiling of 20 blocks of 1350 bytes per millisecond (27 MB/s), and the
ratio to udpcast. Every stored copy is compared with the source.

    sudo bench/copy_bench.py [--build build] [--mib 256] [--clients 1,3,6] [--runs 1]
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
CEILING_MBS = 20 * 1350 * 1000 / 1e6  # blocks per ms x bytes per block x ms per s
TIMEOUT_S = 600  # for any one transfer


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def host_address(host):
    return f"10.47.0.{host + 1}"


class Lab:
    """A lab named like the test harness's (kl<pid>x<n>), so netlab.sh sweep finds it."""

    def __init__(self, clients):
        self.name = f"kl{os.getpid()}x{random.randrange(1 << 30):x}"
        self.clients = clients
        subprocess.run([NETLAB, "up", self.name, str(clients)], check=True)
        # udpcast's receivers answer through the interface's broadcast address,
        # which an address added without one lacks; give every host one.
        for host in range(clients + 1):
            ns = f"{self.name}-h{host}"
            for cmd in (["addr", "del", f"{host_address(host)}/16", "dev", "eth0"],
                        ["addr", "add", f"{host_address(host)}/16", "brd", "+", "dev", "eth0"],
                        ["route", "replace", "224.0.0.0/4", "dev", "eth0"]):
                subprocess.run(["ip", "-n", ns] + cmd, check=True)

    def argv(self, host, argv):
        return [NETLAB, "exec", self.name, str(host)] + argv

    def close(self):
        subprocess.run([NETLAB, "down", self.name], check=False)


def stop(processes):
    for p in processes:
        if p.poll() is None:
            p.terminate()
    for p in processes:
        try:
            p.wait(timeout=5)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def same_file(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def run_kestrelon(lab, args, image, work):
    stores = []
    clients = []
    for host in range(1, lab.clients + 1):
        store = os.path.join(work, f"store-{host}")
        os.makedirs(store, exist_ok=True)
        stores.append(os.path.join(store, os.path.basename(image)))
        clients.append(subprocess.Popen(
            lab.argv(host, [args.client, "--address", host_address(host), "--name", f"bench-{host}",
                            "--store", store]),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    try:
        argv = [args.cli, "copy", image, "--discover-seconds", "20"]
        for host in range(1, lab.clients + 1):
            argv += ["--client", f"bench-{host}"]
        before = children_cpu()
        done = subprocess.run(lab.argv(0, argv), capture_output=True, text=True, timeout=TIMEOUT_S,
                              env=dict(os.environ, KESTRELON_SETTINGS_DIR=os.path.join(work, "settings")))
        cpu = children_cpu() - before
    finally:
        stop(clients)
    m = re.search(r"in ([0-9.]+) s: ([0-9.]+) MB/s", done.stdout)
    sent = re.search(r"([0-9]+) blocks sent for ([0-9]+)", done.stdout)
    if done.returncode != 0 or not m or not sent:
        sys.exit(f"kestrelon-cli copy failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    for s in stores:
        if not same_file(s, image):
            sys.exit(f"stored copy {s} differs from the image")
        os.remove(s)
    resent = 100.0 * (int(sent.group(1)) - int(sent.group(2))) / int(sent.group(2))
    return float(m.group(2)), float(m.group(1)), cpu, resent


def run_udpcast(lab, image, work):
    size = os.path.getsize(image)
    outs = []
    receivers = []
    for host in range(1, lab.clients + 1):
        out = os.path.join(work, f"udpcast-{host}.img")
        outs.append(out)
        receivers.append(subprocess.Popen(
            lab.argv(host, ["udp-receiver", "--file", out, "--interface", "eth0", "--nokbd"]),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    try:
        argv = ["udp-sender", "--file", image, "--interface", "eth0", "--min-receivers", str(lab.clients),
                "--nokbd", "--nopointopoint"]
        log_path = os.path.join(work, "udp-sender.log")
        before = children_cpu()
        with open(log_path, "wb") as log:
            sender = subprocess.Popen(lab.argv(0, argv), stdout=subprocess.DEVNULL, stderr=log)
            started = None
            deadline = time.monotonic() + TIMEOUT_S
            while sender.poll() is None and time.monotonic() < deadline:
                if started is None:
                    with open(log_path, "rb") as f:
                        if b"Starting transfer" in f.read():
                            started = time.monotonic()
                time.sleep(0.005)
            if sender.poll() is None:
                stop([sender])
            ended = time.monotonic()
        cpu = children_cpu() - before
        for r in receivers:
            r.wait(timeout=30)
    finally:
        stop(receivers)
    with open(log_path, "rb") as f:
        buffer = f.read()
    if sender.returncode != 0 or started is None:
        sys.exit(f"udp-sender failed ({sender.returncode}): {buffer.decode(errors='replace')[-500:]}")
    for out in outs:
        if not same_file(out, image):
            sys.exit(f"udpcast copy {out} differs from the image")
        os.remove(out)
    seconds = ended - started
    return size / seconds / 1e6, seconds, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="image size in MiB")
    parser.add_argument("--clients", default="1,3,6", help="Client counts, comma-separated")
    parser.add_argument("--runs", type=int, default=1, help="runs per count (the median is shown)")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("copy_bench: needs root (network namespaces, tmpfs)")
    args.cli = os.path.join(args.build, "cli", "kestrelon-cli")
    args.client = os.path.join(args.build, "client", "kestrelon-client")
    for tool in (args.cli, args.client, shutil.which("udp-sender") or "/usr/bin/udp-sender"):
        if not os.access(tool, os.X_OK):
            sys.exit(f"copy_bench: {tool} is missing (build first; udpcast comes from scripts/deps.sh)")
    counts = [int(c) for c in args.clients.split(",")]

    work = tempfile.mkdtemp(prefix="kestrelon-bench-")
    # The source and every copy live in memory, so disks do not set the pace.
    tmpfs_mib = args.mib * (max(counts) + 2) + 64
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={tmpfs_mib}m", "tmpfs", work], check=True)
    try:
        image = os.path.join(work, "bench.krn")
        with open(image, "wb") as f:
            for _ in range(args.mib):
                f.write(os.urandom(1 << 20))
        # A partition count of 0 at byte 5513: random bytes would claim up to 255
        # partitions, which the Controller refuses.
        with open(image, "r+b") as f:
            f.seek(5513)
            f.write(b"\0")
        print(f"image: {args.mib} MiB random; designed ceiling {CEILING_MBS:.1f} MB/s; "
              f"{os.cpu_count()} cores; median of {args.runs} run(s)")
        print(f"{'clients':>7} {'MB/s':>8} {'CPU s':>7} {'s':>7} {'resent':>7} {'/ceiling':>9} "
              f"{'udpcast MB/s':>13} {'udpcast CPU s':>14} {'/udpcast':>9}")
        for n in counts:
            ours, theirs = [], []
            for _ in range(args.runs):
                lab = Lab(n)
                try:
                    ours.append(run_kestrelon(lab, args, image, work))
                    theirs.append(run_udpcast(lab, image, work))
                finally:
                    lab.close()
            rate, seconds, cpu, resent = (statistics.median(x[i] for x in ours) for i in range(4))
            u_rate, _, u_cpu = (statistics.median(x[i] for x in theirs) for i in range(3))
            print(f"{n:>7} {rate:>8.1f} {cpu:>7.2f} {seconds:>7.2f} {resent:>6.1f}% {rate / CEILING_MBS:>9.2f} "
                  f"{u_rate:>13.1f} {u_cpu:>14.2f} {rate / u_rate:>9.2f}", flush=True)
    finally:
        subprocess.run(["umount", work], check=False)
        os.rmdir(work)


if __name__ == "__main__":
    main()
