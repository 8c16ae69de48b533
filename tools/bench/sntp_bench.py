#!/usr/bin/env python3
"""How fast the answer reaches the clock, how often the resident program wakes up, and
how much memory it holds: the Linux build against `rdate -n` and an idle chronyd, all on
loopback. Run by hand, never as a pass/fail test; it binds UDP port 123, so run it in a
network namespace of its own:

  unshare --net bash -c 'ip link set lo up && tools/bench/sntp_bench.py \
      --exe build/linux/app/horolan --shim build/linux/tests/e2e/libhorolan_clockshim.so'

A scripted SNTP responder on 127.0.0.5 notes the CLOCK_MONOTONIC moment just before it
sends each answer; the clock shim, preloaded into every client, notes the moment of the
clock call (and keeps the machine's clock untouched). The difference is the time from
the answer leaving the server to the clock call. Wake-ups are the voluntary context
switches of all the process's threads over the idle window, after its start-up sync.
"""
import argparse
import os
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from e2e_common import ini_text  # noqa: E402

SERVER = "127.0.0.5"
NTP_EPOCH_OFFSET = 2208988800
USER = os.environ.get("USER") or "root"


def ntp_timestamp(t):
    seconds = int(t)
    return struct.pack(">II", (seconds + NTP_EPOCH_OFFSET) & 0xFFFFFFFF, int((t - seconds) * 4294967296.0))


class Responder(threading.Thread):
    """Answers every mode-3 request as a synchronised stratum-2 server."""

    def __init__(self, address):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 123))
        self.sock.settimeout(0.2)
        self.sent = []  # CLOCK_MONOTONIC seconds of each answer, just before sendto
        self.lock = threading.Lock()
        self.stopping = False

    def run(self):
        while not self.stopping:
            try:
                data, peer = self.sock.recvfrom(512)
            except socket.timeout:
                continue
            if len(data) < 48 or data[0] & 7 != 3:
                continue
            version = (data[0] >> 3) & 7
            now = time.time()
            answer = (bytes([(version << 3) | 4, 2, data[2], 0xEC]) + struct.pack(">II", 0x100, 0x100) +
                      b"BNCH" + ntp_timestamp(now - 10) + data[40:48] + ntp_timestamp(now) + ntp_timestamp(now))
            mono = time.clock_gettime(time.CLOCK_MONOTONIC)
            self.sock.sendto(answer, peer)
            with self.lock:
                self.sent.append(mono)

    def last_before(self, mono):
        with self.lock:
            earlier = [t for t in self.sent if t <= mono]
        return earlier[-1] if earlier else None

    def stop(self):
        self.stopping = True
        self.join(2)
        self.sock.close()


def clock_calls(path):
    """(monotonic seconds) of each clock call the shim noted."""
    calls = []
    try:
        with open(path) as f:
            for line in f:
                parts = line.split()
                if parts and parts[0] != "loaded" and len(parts) >= 4:
                    calls.append(float(parts[3]))
    except OSError:
        pass
    return calls


def shim_env(shim, log, extra):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8", "TZ": "UTC",
           "LD_PRELOAD": shim, "HOROLAN_CLOCKSHIM_LOG": log, "HOROLAN_CLOCKSHIM_MONOTONIC": "1"}
    env.update(extra)
    return env


def shim_works(shim, work):
    """A preloaded process asks to set CLOCK_MONOTONIC, which the kernel always refuses:
    only the shim can say yes."""
    log = os.path.join(work, "probe.log")
    probe = ("import ctypes\n"
             "class T(ctypes.Structure): _fields_ = [('s', ctypes.c_long), ('n', ctypes.c_long)]\n"
             "print(ctypes.CDLL(None).clock_settime(1, ctypes.byref(T(5, 0))))\n")
    r = subprocess.run([sys.executable, "-c", probe], env=shim_env(shim, log, {}), capture_output=True, text=True)
    return r.stdout.strip() == "0" and clock_calls(log)


class Horolan:
    def __init__(self, args, work, name):
        self.root = os.path.join(work, name)
        for d in ("home", "config/Fernwick", "runtime"):
            os.makedirs(os.path.join(self.root, d))
        os.chmod(os.path.join(self.root, "runtime"), 0o700)
        self.exe = os.path.join(self.root, "horolan")
        shutil.copy2(args.exe, self.exe)
        self.log = os.path.join(self.root, "clock.log")
        self.env = shim_env(args.shim, self.log, {
            "HOME": os.path.join(self.root, "home"), "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "runtime")})
        with open(os.path.join(self.root, "config", "Fernwick", "horolan.ini"), "wb") as f:
            f.write(ini_text(USER, {"UseNTPServer": SERVER, "BootUpdateTime": 1}))
        self.proc = None

    def start(self, argv):
        self.proc = subprocess.Popen([self.exe] + argv, env=self.env, cwd=self.root, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "stderr.txt"), "wb"))
        return self

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)  # our own child, by its PID
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def latency(responder, log):
    calls = clock_calls(log)
    if not calls:
        return None
    sent = responder.last_before(calls[0])
    return None if sent is None else (calls[0] - sent) * 1e6


def context_switches(pid):
    total = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except OSError:
            pass  # a thread that ended meanwhile
    return total


def peak_rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def idle_figures(pid, seconds):
    before = context_switches(pid)
    time.sleep(seconds)
    after = context_switches(pid)
    return (after - before) * 60.0 / seconds, peak_rss_kb(pid)


def wait_until(predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def median_text(values):
    if not values:
        return "no clock call caught"
    return "median %7.1f us  (min %.1f, max %.1f, n=%d)" % (statistics.median(values), min(values), max(values),
                                                           len(values))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True, help="the Linux build of the program")
    ap.add_argument("--shim", required=True, help="the clock shim (libhorolan_clockshim.so)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--idle", type=float, default=30.0, help="seconds of the idle window")
    args = ap.parse_args()
    args.exe, args.shim = os.path.abspath(args.exe), os.path.abspath(args.shim)
    work = tempfile.mkdtemp(prefix="sntp-bench-")
    if not shim_works(args.shim, work):
        print("the clock shim does not capture clock calls: nothing started")
        return 1
    responder = Responder(SERVER)
    responder.start()
    children = []
    try:
        ours, theirs = [], []
        rdate = shutil.which("rdate")
        # Turn about, so that both clients meet the same load on this machine.
        for i in range(args.runs):
            h = Horolan(args, work, "once%d" % i).start(["-1"])
            children.append(h)
            h.proc.wait(60)
            value = latency(responder, h.log)
            if value is not None:
                ours.append(value)
            if not rdate:
                continue
            log = os.path.join(work, "rdate%d.log" % i)
            subprocess.run([rdate, "-n", "-4", SERVER], env=shim_env(args.shim, log, {}),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            value = latency(responder, log)
            if value is not None:
                theirs.append(value)
        print("answer -> clock call, horolan -1 : " + median_text(ours))
        print("answer -> clock call, rdate -n   : " + (median_text(theirs) if rdate else "rdate not installed"))

        # Resident: the start-up sync, then nothing is outstanding until the next one.
        h = Horolan(args, work, "resident").start([])
        children.append(h)
        if not wait_until(lambda: clock_calls(h.log), 30):
            print("resident horolan: no start-up sync within 30 s")
        time.sleep(2)
        wakeups, rss = idle_figures(h.proc.pid, args.idle)
        print("resident horolan : %6.1f wake-ups per idle minute, peak RSS %6.1f MB" % (wakeups, rss / 1024.0))
        h.stop()

        chronyd = shutil.which("chronyd")
        if chronyd:
            d = os.path.join(work, "chronyd")
            os.makedirs(d)
            conf = os.path.join(d, "chronyd.conf")
            with open(conf, "w") as f:
                f.write("server %s iburst\nport 0\ncmdport 0\npidfile %s\ndriftfile %s\n"
                        % (SERVER, os.path.join(d, "chronyd.pid"), os.path.join(d, "chronyd.drift")))
            # -x: chronyd never touches the clock; the shim is there as well, to be sure.
            c = subprocess.Popen([chronyd, "-x", "-d", "-u", USER, "-f", conf],
                                 env=shim_env(args.shim, os.path.join(d, "clock.log"), {}),
                                 stdout=subprocess.DEVNULL, stderr=open(os.path.join(d, "log.txt"), "wb"))
            try:
                time.sleep(12)  # its first burst of queries
                wakeups, rss = idle_figures(c.pid, args.idle)
                print("idle chronyd     : %6.1f wake-ups per idle minute, peak RSS %6.1f MB" % (wakeups, rss / 1024.0))
            finally:
                c.terminate()  # our own child, by its PID
                c.wait(10)
    finally:
        for h in children:
            h.stop()
        responder.stop()
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
