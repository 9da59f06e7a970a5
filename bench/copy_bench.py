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

    sudo bench/copy_bench.py [--build build] [--mib 256] [--clients 1,3,6] [--runs 1] [--loss 0,2]
                             [--switches ["-fast 1"]]

With --loss, the last Client host drops that share of its incoming UDP (all
programs meet the same loss); a list gives one series per share, in one run. With --switches, each run also copies with those
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


UDPCAST_ATTEMPTS = 3
UDPCAST_CONNECT_S = 15  # every receiver connects within a second when nothing is lost
UDPCAST_FINISH_S = 15  # for the receivers to end once the sender has


def run_udpcast(lab, image, work):
    """udp-sender to one udp-receiver per Client host, as (MB/s, seconds, CPU s).
    Under loss udpcast now and then fails on its own: a receiver whose connect
    exchange was lost never connects (and the sender waits for ever), or one
    misses the end and never exits. Such an attempt is abandoned, said, and made
    again, so every figure is of a copy that every receiver completed."""
    for _ in range(UDPCAST_ATTEMPTS):
        result = udpcast_attempt(lab, image, work)
        if not isinstance(result, str):
            return result
        print(f"  (udpcast to {lab.clients}: {result}; again)", flush=True)
    sys.exit(f"udpcast failed {UDPCAST_ATTEMPTS} times")


def udpcast_attempt(lab, image, work):
    """One udpcast copy: its figures, or what went wrong."""
    size = os.path.getsize(image)
    outs = [os.path.join(work, f"udpcast-{host}.img") for host in range(1, lab.clients + 1)]
    receivers = [subprocess.Popen(lab.argv(host, ["udp-receiver", "--file", out, "--interface", "eth0", "--nokbd"]),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                 for host, out in enumerate(outs, start=1)]
    try:
        argv = ["udp-sender", "--file", image, "--interface", "eth0", "--min-receivers", str(lab.clients),
                "--nokbd", "--nopointopoint"]
        before = children_cpu()
        seconds = time_udp_sender(lab, 0, argv, work, start_within=UDPCAST_CONNECT_S)
        cpu = children_cpu() - before
        if seconds is None:
            return f"not every receiver connected within {UDPCAST_CONNECT_S} s"
        for host, r in enumerate(receivers, start=1):
            try:
                r.wait(timeout=UDPCAST_FINISH_S)
            except subprocess.TimeoutExpired:
                return f"the receiver on host {host} had not ended {UDPCAST_FINISH_S} s after the sender"
        for out in outs:
            if not same_file(out, image):
                have = os.path.getsize(out) if os.path.exists(out) else 0
                return f"copy {os.path.basename(out)} differs from the image ({have} of {size} bytes)"
        return size / seconds / 1e6, seconds, cpu
    finally:
        stop(receivers)
        for out in outs:
            if os.path.exists(out):
                os.remove(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="the build folder")
    parser.add_argument("--mib", type=int, default=256, help="image size in MiB")
    parser.add_argument("--clients", default="1,3,6", help="Client counts, comma-separated")
    parser.add_argument("--runs", type=int, default=1, help="runs per count (the median is shown)")
    parser.add_argument("--loss", default="0",
                        help="percent of incoming UDP dropped on the last Client host; a comma-separated list "
                             "gives one series per share")
    parser.add_argument("--switches", nargs="?", const="-fast 1", default=None,
                        help='Controller switches for a second series beside the default (alone: "-fast 1")')
    args = parser.parse_args()
    args.cli, args.client = programs(args.build, "copy_bench")
    counts = [int(c) for c in args.clients.split(",")]
    losses = [float(p) for p in args.loss.split(",")]

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
        print(f"image: {args.mib} MiB random; loss (%) on the last Client host; "
              f"designed ceiling {CEILING_MBS:.1f} MB/s; "
              f"{os.cpu_count()} cores; median of {args.runs} run(s)")
        modes = [("default", [])]
        if args.switches is not None:
            modes.append((args.switches, args.switches.split()))
        heading = f"{'loss':>4} {'clients':>7}"
        for name, _ in modes:
            heading += f" | {name + ' MB/s':>14} {'CPU s':>6} {'core':>5} {'resent':>7} {'/ceiling':>8} {'/udpcast':>8}"
        print(heading + f" | {'udpcast MB/s':>12} {'CPU s':>6}")
        for loss in losses:
            for n in counts:
                print(series_line(args, image, work, modes, loss, n), flush=True)


def series_line(args, image, work, modes, loss, n):
    """The medians of `args.runs` runs at `loss` percent to `n` Clients, as one line of the table."""
    ours = {name: [] for name, _ in modes}
    theirs = []
    for _ in range(args.runs):
        lab = Lab(n)
        try:
            if loss:
                lab.set_loss(n, loss)
            for name, switches in modes:
                ours[name].append(run_kestrelon(lab, args, image, work, switches))
            theirs.append(run_udpcast(lab, image, work))
        finally:
            lab.close()
    u_rate, _, u_cpu = (statistics.median(x[i] for x in theirs) for i in range(3))
    line = f"{loss:>4g} {n:>7}"
    for name, _ in modes:
        rate, seconds, cpu, resent = (statistics.median(x[i] for x in ours[name]) for i in range(4))
        line += (f" | {rate:>14.1f} {cpu:>6.2f} {cpu / seconds:>5.2f} {resent:>6.1f}% "
                 f"{rate / CEILING_MBS:>8.2f} {rate / u_rate:>8.2f}")
    return line + f" | {u_rate:>12.1f} {u_cpu:>6.2f}"


if __name__ == "__main__":
    main()
