#!/usr/bin/env python3
"""Whole-program scenarios of the Linux build: the real `horolan` executable, a real
chronyd on a loopback address, and the clock shim preloaded so that the program never
changes this machine's clock (it would: tests run as root).

Usage: e2e_native.py --exe HOROLAN --shim CLOCKSHIM.so --peers PEERSDIR --out DIR GROUP...
Groups: sync, guard, session, options. Exit code 0 when every scenario of the groups passed.
"""
import argparse
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

from e2e_common import Chronyd, Failure, check, ini_text, ini_values, read_bytes, wait_for

# Our own loopback address, so that the SNTP client's suite (127.0.0.2) may run beside us.
SERVER = "127.0.0.3"
SILENT = "127.0.0.5"
USER = pwd.getpwuid(os.geteuid()).pw_name
WARNING_BALLOON = 'balloon [warning] "設定警告": "NTPサーバーが指定されていません。"'
NINE_HOURS = 9 * 3600


class Program:
    """One copy of the executable in a temporary folder of its own, with its own home,
    configuration and runtime folders; always started with the clock shim."""

    started_ones = []  # so that a failed scenario leaves nothing running

    def __init__(self, h, name="horolan", runtime=None):
        self.h = h
        self.root = tempfile.mkdtemp(prefix="e2e-", dir=h.out)
        for d in ("bin", "home", "config", "runtime"):
            os.makedirs(os.path.join(self.root, d))
        self.exe = os.path.join(self.root, "bin", name)
        shutil.copy2(h.exe, self.exe)
        self.runtime = runtime or os.path.join(self.root, "runtime")
        os.chmod(self.runtime, 0o700)
        self.clock_log = os.path.join(self.root, "clock.log")
        self.settings_dir = os.path.join(self.root, "config", "Fernwick")
        self.proc = None
        self.stderr = b""
        self.stdout = b""

    def settings_path(self):
        base = os.path.basename(self.exe).rsplit(".", 1)[0] if "." in os.path.basename(self.exe) else os.path.basename(self.exe)
        return os.path.join(self.settings_dir, base + ".ini")

    def write_settings(self, values):
        os.makedirs(self.settings_dir, exist_ok=True)
        with open(self.settings_path(), "wb") as f:
            f.write(ini_text(USER, values))

    def write_beside(self, values):
        with open(self.exe + ".ini", "wb") as f:
            f.write(ini_text(USER, values))

    def write_list(self, names):
        os.makedirs(self.settings_dir, exist_ok=True)
        with open(os.path.join(self.settings_dir, "NTP.lst"), "wb") as f:
            f.write("".join(n + "\r\n" for n in names).encode("cp932"))

    def env(self, tz, refuse):
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": os.path.join(self.root, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_RUNTIME_DIR": self.runtime,
            "TZ": tz,
            "LANG": "C.UTF-8",
            "LD_PRELOAD": self.h.shim,
            "HOROLAN_CLOCKSHIM_LOG": self.clock_log,
            # The shim comes before the sanitizer runtime, which then must not object.
            "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=1",
        }
        if refuse:
            env["HOROLAN_CLOCKSHIM_REFUSE"] = "1"
        return env

    def start(self, args=(), tz="UTC", refuse=False, no_dns=False, journal=False):
        env = self.env(tz, refuse)
        if no_dns:
            env["HOROLAN_CLOCKSHIM_NO_DNS"] = "1"  # names fail here, never on the network
        # Never start the program without the shim: it would set the real clock.
        if not os.path.isfile(env["LD_PRELOAD"]) or not self.h.shim_works:
            raise Failure("refusing to start the program without a working clock shim")
        self.err_path = os.path.join(self.root, "stderr.txt")
        self.out_path = os.path.join(self.root, "stdout.txt")
        self.started = time.time()
        Program.started_ones.append(self)
        err = open(self.err_path, "wb")
        if journal:  # as systemd names a service's stderr when it is the journal
            st = os.fstat(err.fileno())
            env["JOURNAL_STREAM"] = "%d:%d" % (st.st_dev, st.st_ino)
        self.proc = subprocess.Popen(
            [self.exe] + list(args), env=env, cwd=self.root, stdin=subprocess.DEVNULL,
            stdout=open(self.out_path, "wb"), stderr=err)
        return self

    def running(self):
        return self.proc.poll() is None

    def err(self):
        return read_bytes(self.err_path).decode("utf-8", "replace")

    def out(self):
        return read_bytes(self.out_path).decode("utf-8", "replace")

    def wait(self, timeout):
        try:
            rc = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise Failure("%s did not end within %d s; stderr:\n%s" % (self.exe, timeout, self.err()))
        self.ended = time.time()
        return rc

    def terminate(self, timeout=15):
        self.proc.send_signal(signal.SIGTERM)
        return self.wait(timeout)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def clock_calls(self):
        """(call, seconds) of every clock call the shim caught in this program."""
        calls = []
        for line in read_bytes(self.clock_log).decode().splitlines():
            name, value, _pid = line.split()
            calls.append((name, float(value)))
        return calls

    def clock_sets(self):
        """The times the program set the clock to, in order."""
        return [v for c, v in self.clock_calls() if c not in ("loaded", "getaddrinfo_refused")]

    def check_shim_was_loaded(self):
        check(any(c == "loaded" for c, _ in self.clock_calls()), "the clock shim was not in the process")


# ---- Scenarios ------------------------------------------------------------------------

def sync_case(h, label, name, args, beside, settings, tz, shift, refuse=False):
    p = Program(h, name)
    p.write_settings(dict({"UseNTPServer": SERVER}, **settings))
    if beside:
        p.write_beside(beside)
    p.start(args, tz=tz, refuse=refuse)
    rc = p.wait(40)
    p.check_shim_was_loaded()
    err = p.err()
    # Run-once says whether the clock was set.
    check(rc == (1 if refuse else 0), "%s: exit code %d; stderr:\n%s" % (label, rc, err))
    sets = p.clock_sets()
    # Set twice to the same time (a step across a daylight-saving change); a refusal stops at the first.
    want = 1 if refuse else 2
    check(len(sets) == want and len(set(sets)) == 1, "%s: expected %d equal clock settings, got %r" % (label, want, sets))
    # The server is this machine's clock: the time set lies within the run, shifted.
    low, high = p.started + shift - 1, p.ended + shift + 1
    check(low <= sets[0] <= high, "%s: clock set to %.3f, expected within [%.3f, %.3f]" % (label, sets[0], low, high))
    tips = [l for l in err.splitlines() if l.startswith("horolan tray: tip")]
    balloons = [l for l in err.splitlines() if l.startswith("horolan tray: balloon")]
    if refuse:
        check(not any("前回は" in t for t in tips), "%s: a refused setting was reported as done: %r" % (label, tips))
        check(len(balloons) == 1 and "privilege" in balloons[0],
              "%s: expected one balloon telling why the clock was not set, got %r" % (label, balloons))
    else:
        check(any("前回は" in t for t in tips), "%s: no tooltip after the setting: %r" % (label, tips))
        # A machine whose zone is not Japan's hears once that other programs' times are now off.
        zone = [b for b in balloons if "タイムゾーン警告" in b]
        check(len(zone) == (0 if tz == "JST-9" else 1) and len(balloons) == len(zone),
              "%s: unexpected balloons for TZ=%s: %r" % (label, tz, balloons))


def failover_case(h):
    """A server that never answers, then a good one in NTP.lst: warned after three
    failures, set from the list's next entry, exit status 0."""
    silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    silent.bind((SILENT, 123))  # takes the requests and never answers
    try:
        p = Program(h)
        p.write_settings({"UseNTPServer": SILENT})
        p.write_list([SILENT, SERVER])
        p.start(["-1"], no_dns=True)
        rc = p.wait(90)
    finally:
        silent.close()
    err = p.err()
    check(rc == 0, "failover: exit code %d; stderr:\n%s" % (rc, err))
    warnings = [l for l in err.splitlines() if "同期警告" in l]
    check(len(warnings) == 1 and SILENT in warnings[0], "failover: expected one warning naming %s: %r" % (SILENT, warnings))
    sets = p.clock_sets()
    check(len(sets) == 2 and p.started + NINE_HOURS - 1 <= sets[0] <= p.ended + NINE_HOURS + 1,
          "failover: clock settings %r" % sets)
    tips = [l for l in err.splitlines() if l.startswith("horolan tray: tip") and "前回は" in l]
    check(tips and ("NTP Server : " + SERVER) in tips[-1], "failover: the tooltip does not name %s: %r" % (SERVER, tips))
    check(ini_values(read_bytes(p.settings_path()), USER).get("UseNTPServer") == SILENT,
          "failover: the chosen server was changed")


def unresolvable_case(h):
    """Only names without an address: run-once gives up within 15 s with exit status 1."""
    p = Program(h)
    p.write_settings({"UseNTPServer": "no-such-host.invalid"})
    p.write_list(["no-such-host.invalid", "nor-this-one.invalid"])
    p.start(["-1"], no_dns=True)
    rc = p.wait(15)
    err = p.err()
    check(rc == 1, "unresolvable: exit code %d; stderr:\n%s" % (rc, err))
    check(p.ended - p.started < 15, "unresolvable: took %.1f s" % (p.ended - p.started))
    check(p.clock_sets() == [], "unresolvable: the clock was set")
    check("同期エラー" in err and "サーバー名からアドレスを得られません。" in err,
          "unresolvable: the reason is not on stderr:\n" + err)


def group_sync(h):
    """Run-once starts against chronyd: each sets the clock once and ends."""
    Chronyd.need(h, SERVER)
    m, s = 90, 30
    adv = m * 60 + s
    cases = [
        # label, executable name, arguments, INI beside it, settings, TZ, expected shift
        ("-1", "horolan", ["-1"], None, {}, "UTC", NINE_HOURS),
        ("/1 later with an advance", "horolan", ["x", "/1"], None,
         {"OffsetMin": m, "OffsetSec": s}, "UTC", NINE_HOURS + adv),
        # The host's zone is applied to the local time: JST machine, JST clock.
        ("name ending in x1", "HorolanX1", [], None, {}, "JST-9", 0),
        ("RunOnce beside the executable", "horolan", [], {"RunOnce": "1"},
         {"OffsetSec": 59}, "UTC", NINE_HOURS + 59),
        ("refused clock", "horolan", ["-1"], None, {}, "UTC", NINE_HOURS),
    ]
    errors = []

    def run(case):
        try:
            if callable(case):
                case(h)
            else:
                sync_case(h, *case, refuse=case[0] == "refused clock")
        except Failure as e:
            errors.append(str(e))

    # The first attempt comes 10 s after start-up: run the cases side by side.
    threads = [threading.Thread(target=run, args=(c,)) for c in cases + [failover_case, unresolvable_case]]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise Failure("\n".join(errors))


def group_guard(h):
    """One copy per executable name; copies started together leave exactly one."""
    first = Program(h)
    first.write_settings({"UseNTPServer": SERVER, "BootUpdateTime": 0})
    first.start()
    wait_for(lambda: 'tip "Horolan"' in first.err(), 15, "the first copy did not put its icon up")

    second = Program(h, runtime=first.runtime)
    second.exe = first.exe  # the same executable, hence the same mutex name
    second.start(["-1"])
    rc = second.wait(10)
    check(rc == 0, "the second copy exited with %d" % rc)
    check(second.err() == "" and second.out() == "", "the second copy said something:\n" + second.err())
    check(first.running(), "the first copy ended when the second started")

    # Another name is another program as far as the guard is concerned.
    other = Program(h, name="horolan2", runtime=first.runtime)
    other.write_settings({"UseNTPServer": SERVER, "BootUpdateTime": 0})
    other.start()
    time.sleep(2)
    check(other.running(), "a copy under another name was stopped by the guard:\n" + other.err())
    check(other.terminate() == 0 and first.terminate() == 0, "SIGTERM did not end the copies with 0")

    # Copies started at the same moment: one keeps running, the rest end with 0.
    racers = []
    for _ in range(4):
        r = Program(h, runtime=first.runtime)
        r.exe = first.exe
        racers.append(r)
    for r in racers:
        r.start()
    # Running is not enough: a slow start may not have reached the guard yet.
    wait_for(lambda: all(not r.running() or 'tip "Horolan"' in r.err() for r in racers), 30,
             "copies started together neither ended nor put their icon up")
    time.sleep(1)
    alive = [r for r in racers if r.running()]
    check(len(alive) == 1, "%d of 4 copies started together are running" % len(alive))
    for r in racers:
        if r is not alive[0]:
            check(r.wait(5) == 0, "a refused copy exited with a non-zero code")
    check(alive[0].terminate() == 0, "the remaining copy did not end with 0 on SIGTERM")

    # A lock folder others may write to is refused: the program ends with an error
    # instead of running unguarded.
    exposed = Program(h)
    os.mkdir(os.path.join(exposed.runtime, "horolan-mutex"), 0o700)
    os.chmod(os.path.join(exposed.runtime, "horolan-mutex"), 0o770)
    exposed.write_settings({"UseNTPServer": SERVER, "BootUpdateTime": 0})
    rc = exposed.start(journal=True).wait(10)
    check(rc == 1, "a start with a group-writable lock folder exited with %d" % rc)
    check(exposed.err().startswith("<3>horolan: the lock directory " + exposed.runtime + "/horolan-mutex "),
          "no error naming the lock folder:\n" + exposed.err())


def group_options(h):
    """--help, --version and an unknown option answer at once, without the guard."""
    version = ".".join(re.search(r"#define HL_VER_%s (\d+)" % part, h.version_info).group(1)
                       for part in ("MAJOR", "MINOR", "RELEASE", "BUILD"))
    for args, rc_want, out_want, err_want in (
            (["--help"], 0, "Usage: horolan [-1] [--help] [--version]\n", ""),
            (["-1", "--version"], 0, "Horolan %s\n" % version, ""),
            (["--bogus"], 2, "", 'horolan: unknown option "--bogus"; horolan --help lists the options\n')):
        p = Program(h)
        rc = p.start(args).wait(10)
        check(rc == rc_want, "%s exited with %d" % (args, rc))
        check(p.out().startswith(out_want) and (out_want or not p.out()), "%s wrote to stdout:\n%s" % (args, p.out()))
        check(p.err() == err_want, "%s wrote to stderr:\n%s" % (args, p.err()))
        check(not os.path.exists(p.settings_dir), "%s touched the settings" % args)


def group_session(h):
    """First start without a server, and settings kept across a SIGTERM."""
    fresh = Program(h)
    fresh.start()
    wait_for(lambda: WARNING_BALLOON in fresh.err(), 15, "no warning balloon on a first start")
    time.sleep(1)
    check(fresh.running(), "the first start ended by itself:\n" + fresh.err())
    check(fresh.terminate() == 0, "SIGTERM did not end the first start with 0")
    fresh.check_shim_was_loaded()
    check(fresh.clock_sets() == [], "a start without a server set the clock")
    data = read_bytes(fresh.settings_path())
    check(data, "SIGTERM wrote no settings file")
    values = ini_values(data, USER)
    designed = {"UseNTPServer": "", "OffsetMin": "0", "OffsetSec": "0", "UpdateTime": "30", "BootUpdateTime": "1",
                "CheckTiming": "0", "ClickModeSelect": "0", "PRIORITY": "1", "CustomURI": "", "ServerList": "-1"}
    for key, want in designed.items():
        check(values.get(key) == want, "saved %s=%r, expected %r (file: %r)" % (key, values.get(key), want, data))
    check(values.get("SetupTop") == "0" and values.get("SetupLeft") == "0", "form position not saved: %r" % values)
    lst = read_bytes(os.path.join(fresh.settings_dir, "NTP.lst"))
    lines = lst.split(b"\r\n")
    check(lst.endswith(b"\r\n") and len(lines) == 24 and lines[-1] == b"", "NTP.lst is not 23 CR LF lines: %r" % lst)
    check(lines[9] == lines[12] and all(lines[:23]), "NTP.lst: the 10th and 13th names differ or a line is empty")

    # With a server set: no warning; what was saved comes back unchanged; an existing
    # list file is read, not replaced.
    kept = Program(h)
    saved = {"UseNTPServer": "ntp.example.test", "OffsetMin": "7", "OffsetSec": "5", "UpdateTime": "45",
             "BootUpdateTime": "0", "CheckTiming": "1", "ClickModeSelect": "2", "PRIORITY": "2",
             "CustomURI": "https://example.test/番組", "SetupTop": "40", "SetupLeft": "30"}
    kept.write_settings(saved)
    own_list = b"a.example.test\nb.example.test\n"
    with open(os.path.join(kept.settings_dir, "NTP.lst"), "wb") as f:
        f.write(own_list)
    kept.start()
    wait_for(lambda: 'tip "Horolan"' in kept.err(), 15, "the program did not put its icon up")
    time.sleep(1)
    check(kept.terminate() == 0, "SIGTERM did not end the program with 0")
    check(WARNING_BALLOON not in kept.err(), "warning balloon although a server is set")
    values = ini_values(read_bytes(kept.settings_path()), USER)
    for key, want in saved.items():
        check(values.get(key) == want, "after a restart %s=%r, expected %r" % (key, values.get(key), want))
    check(read_bytes(os.path.join(kept.settings_dir, "NTP.lst")) == own_list, "an existing NTP.lst was rewritten")


GROUPS = {"sync": group_sync, "guard": group_guard, "session": group_session, "options": group_options}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--shim", required=True)
    ap.add_argument("--peers", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("groups", nargs="+", choices=sorted(GROUPS))
    h = ap.parse_args()
    h.out = os.path.join(os.path.abspath(h.out), "e2e-native")
    os.makedirs(h.out, exist_ok=True)
    h.shim = os.path.abspath(h.shim)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app", "VersionInfo.h")) as f:
        h.version_info = f.read()
    h.shim_works = shim_works(h)
    if not h.shim_works:
        print("FAIL: the clock shim does not capture clock_settime; nothing started")
        return 1
    status = 0
    try:
        for g in h.groups:
            try:
                GROUPS[g](h)
                print("PASS %s" % g)
            except Failure as e:
                print("FAIL %s: %s" % (g, e))
                status = 1
    finally:
        for p in Program.started_ones:
            p.stop()  # our own children, by PID
        Chronyd.stop_all()
    return status


def shim_works(h):
    """Asks a preloaded process to set CLOCK_MONOTONIC, which the kernel always refuses:
    only the shim can say yes, and the machine's clock is never at stake."""
    log = os.path.join(h.out, "shim-probe.log")
    if os.path.exists(log):
        os.remove(log)
    probe = ("import ctypes\n"
             "class T(ctypes.Structure): _fields_ = [('s', ctypes.c_long), ('n', ctypes.c_long)]\n"
             "print(ctypes.CDLL(None).clock_settime(1, ctypes.byref(T(5, 0))))\n")
    env = dict(os.environ, LD_PRELOAD=h.shim, HOROLAN_CLOCKSHIM_LOG=log)
    r = subprocess.run([sys.executable, "-c", probe], env=env, capture_output=True, text=True)
    return r.stdout.strip() == "0" and "clock_settime_other 5.000000000" in read_bytes(log).decode()


if __name__ == "__main__":
    sys.exit(main())
