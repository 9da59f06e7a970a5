"""What the benchmarks on the network lab share: the lab itself, the tools they
run, a tmpfs to work in, and timing udpcast's sender. Imported by the benchmark
scripts beside it."""
import contextlib
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NETLAB = os.path.join(ROOT, "tests", "lab", "netlab.sh")
TIMEOUT_S = 600  # for any one transfer


def children_cpu():
    """CPU seconds (user and system) of the child processes waited for so far."""
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

    def set_loss(self, host, percent):
        subprocess.run([NETLAB, "loss", self.name, str(host), str(percent)], check=True)

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


def programs(build, who):
    """kestrelon-cli and kestrelon-client of the build folder; exits when one is missing."""
    cli = os.path.join(build, "cli", "kestrelon-cli")
    client = os.path.join(build, "client", "kestrelon-client")
    if os.geteuid() != 0:
        sys.exit(f"{who}: needs root (network namespaces, tmpfs)")
    for tool in (cli, client, shutil.which("udp-sender") or "/usr/bin/udp-sender"):
        if not os.access(tool, os.X_OK):
            sys.exit(f"{who}: {tool} is missing (build first; udpcast comes from scripts/deps.sh)")
    return cli, client


@contextlib.contextmanager
def tmpfs(mib):
    """A folder on a tmpfs of `mib` MiB: files live in memory, so disks do not set the pace."""
    work = tempfile.mkdtemp(prefix="kestrelon-bench-")
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={mib}m", "tmpfs", work], check=True)
    try:
        yield work
    finally:
        subprocess.run(["umount", work], check=False)
        os.rmdir(work)


def time_udp_sender(lab, host, argv, work, start_within=TIMEOUT_S):
    """Runs udp-sender on `host` and returns the seconds from its "Starting
    transfer" to its end (its receivers already wait). Returns None when the
    transfer has not started within `start_within` seconds: a receiver whose
    connect request or the answer to it was lost may never connect, and the
    sender then waits for it for ever. Exits when it fails."""
    log_path = os.path.join(work, "udp-sender.log")
    with open(log_path, "wb") as log:
        sender = subprocess.Popen(lab.argv(host, argv), stdout=subprocess.DEVNULL, stderr=log)
        started = None
        launched = time.monotonic()
        deadline = launched + TIMEOUT_S
        while sender.poll() is None and time.monotonic() < deadline:
            if started is None:
                with open(log_path, "rb") as f:
                    if b"Starting transfer" in f.read():
                        started = time.monotonic()
                    elif time.monotonic() - launched > start_within:
                        break
            time.sleep(0.005)
        if sender.poll() is None:
            stop([sender])
            if started is None:
                return None
        ended = time.monotonic()
    with open(log_path, "rb") as f:
        text = f.read().decode(errors="replace")
    if sender.returncode != 0 or started is None:
        sys.exit(f"udp-sender failed ({sender.returncode}): {text[-500:]}")
    return ended - started
