#!/usr/bin/env python3
"""Copy benchmark on the network lab (run by hand, as root; not part of CI).

For each Client count it brings up a lab of namespaces (tests/lab/netlab.sh),
starts reference Clients that store what they receive on a tmpfs, and times
`kestrelon-cli copy` of one random image from host 0. In the same run and the
same lab it times udpcast's udp-sender to as many udp-receivers. It prints the
Controller's rate in MB/s (10^6 bytes), its CPU seconds and share of a core
over the copy, the share of blocks sent again, the ratio to the designed ceiling
of 20 blocks of 1350 bytes per millisecond (27 MB/s), and the ratio to udpcast.
Every stored copy is compared with the source.

    sudo bench/copy_bench.py [--build build] [--mib 256] [--clients 1,3,6] [--runs 1] [--loss PCT]
                             [--switches ["-fast 1"]]

With --loss, the last Client host drops that share of its incoming UDP (all
programs meet the same loss). With --switches, each run also copies with those
Controller switches (alone: "-fast 1", the fast mode), shown beside the default.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys

from bench_lab import ROOT, TIMEOUT_S, Lab, children_cpu, host_address, programs, same_file, stop, time_udp_sender
from bench_lab import tmpfs

CEILING_MBS = 20 * 1350 * 1000 / 1e6  # blocks per ms x bytes per block x ms per s


def run_kestrelon(lab, args, image, work, switches=()):
    stores = []
    clients = []
    for host in range(1, lab.clients + 1):
        store = os.path.join(work, f"store-{host}")
        os.makedirs(store, exist_ok=True)
        stores.append(os.path.join(store, os.path.basename(image)))
        clients.append(subprocess.Popen(
            lab.argv(host, [args.client, "--address", host_address(host), "--name", f"bench-{host}",
                            "--store", store, "--store-size", "64G"]),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    try:
        argv = [args.cli, "copy", image, "--discover-seconds", "20"]
        for host in range(1, lab.clients + 1):
            argv += ["--client", f"bench-{host}"]
        argv += list(switches)
        before = children_cpu()
        done = subprocess.run(lab.argv(0, argv), capture_output=True, text=True, timeout=TIMEOUT_S,
                              env=dict(os.environ, KESTRELON_SETTINGS_DIR=os.path.join(work, "settings"),
                                       XDG_STATE_HOME=os.path.join(work, "state")))
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
        before = children_cpu()
        seconds = time_udp_sender(lab, 0, argv, work)
        cpu = children_cpu() - before
        for r in receivers:
            r.wait(timeout=30)
    finally:
        stop(receivers)
    for out in outs:
        if not same_file(out, image):
            sys.exit(f"udpcast copy {out} differs from the image")
        os.remove(out)
    return size / seconds / 1e6, seconds, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="image size in MiB")
    parser.add_argument("--clients", default="1,3,6", help="Client counts, comma-separated")
    parser.add_argument("--runs", type=int, default=1, help="runs per count (the median is shown)")
    parser.add_argument("--loss", type=float, default=0, help="percent of incoming UDP dropped on the last Client host")
    parser.add_argument("--switches", nargs="?", const="-fast 1", default=None,
                        help='Controller switches for a second series beside the default (alone: "-fast 1")')
    args = parser.parse_args()
    args.cli, args.client = programs(args.build, "copy_bench")
    counts = [int(c) for c in args.clients.split(",")]

    # The source and every copy live in memory.
    with tmpfs(args.mib * (max(counts) + 2) + 64) as work:
        image = os.path.join(work, "bench.krn")
        with open(image, "wb") as f:
            for _ in range(args.mib):
                f.write(os.urandom(1 << 20))
        # A partition count of 0 at byte 5513: random bytes would claim up to 255
        # partitions, which the Controller refuses.
        with open(image, "r+b") as f:
            f.seek(5513)
            f.write(b"\0")
        print(f"image: {args.mib} MiB random; loss {args.loss}% on the last Client host; "
              f"designed ceiling {CEILING_MBS:.1f} MB/s; "
              f"{os.cpu_count()} cores; median of {args.runs} run(s)")
        modes = [("default", [])]
        if args.switches is not None:
            modes.append((args.switches, args.switches.split()))
        heading = f"{'clients':>7}"
        for name, _ in modes:
            heading += f" | {name + ' MB/s':>14} {'CPU s':>6} {'core':>5} {'resent':>7} {'/ceiling':>8} {'/udpcast':>8}"
        print(heading + f" | {'udpcast MB/s':>12} {'CPU s':>6}")
        for n in counts:
            ours = {name: [] for name, _ in modes}
            theirs = []
            for _ in range(args.runs):
                lab = Lab(n)
                try:
                    if args.loss:
                        lab.set_loss(n, args.loss)
                    for name, switches in modes:
                        ours[name].append(run_kestrelon(lab, args, image, work, switches))
                    theirs.append(run_udpcast(lab, image, work))
                finally:
                    lab.close()
            u_rate, _, u_cpu = (statistics.median(x[i] for x in theirs) for i in range(3))
            line = f"{n:>7}"
            for name, _ in modes:
                rate, seconds, cpu, resent = (statistics.median(x[i] for x in ours[name]) for i in range(4))
                line += (f" | {rate:>14.1f} {cpu:>6.2f} {cpu / seconds:>5.2f} {resent:>6.1f}% "
                         f"{rate / CEILING_MBS:>8.2f} {rate / u_rate:>8.2f}")
            print(line + f" | {u_rate:>12.1f} {u_cpu:>6.2f}", flush=True)

if __name__ == "__main__":
    main()
