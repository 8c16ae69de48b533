#!/usr/bin/env python3
"""Whole-program scenarios of the Windows build under Wine, on a virtual display of our
own: the single-instance guard, a run-once start against chronyd on loopback (Wine
refuses to set the clock, error 1314), the settings dialog worked through our driver
(OK and Cancel), the first-run wizard, the tray menu and the version box. Each window
is saved as a screenshot in the test-output folder for people to look at.

Usage: e2e_wine.py --exe Horolan.exe --driver e2e_driver.exe --peers DIR --out DIR --prefix WINEPREFIX
"""
import argparse
import fcntl
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time

from e2e_common import Chronyd, Failure, check, ini_text, ini_values, read_bytes, wait_for

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
SERVER = "127.0.0.4"  # apart from the other suites' chronyd addresses
USER = pwd.getpwuid(os.geteuid()).pw_name
WM_RBUTTONDOWN, WM_MBUTTONDOWN = 0x204, 0x207
VK_RETURN, VK_DOWN = 0x0D, 0x28
SETUP = ("-", "Setup")


class Wine:
    def __init__(self, h):
        self.h = h
        self.env = dict(os.environ, WINEPREFIX=h.prefix, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        loader = subprocess.run(["bash", os.path.join(TOOLS, "wine-loader.sh"), h.exe], capture_output=True, text=True)
        if loader.returncode == 77:
            print("SKIP: " + loader.stderr.strip())
            sys.exit(77)
        if loader.returncode != 0:
            raise Failure("no Wine loader: " + loader.stderr.strip())
        self.wine = loader.stdout.strip()
        if self.wine.endswith("/wine64"):
            self.env["WINELOADER"] = self.wine
        self.xvfb = None
        self.start_display()
        with open(h.prefix + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.exists(os.path.join(h.prefix, "system.reg")):
                subprocess.run([self.wine, "wineboot", "-i"], env=self.env, capture_output=True, timeout=300)
                subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        self.appdata = os.path.join(h.prefix, "drive_c", "users", USER, "AppData", "Roaming", "Fernwick")
        self.shots = []

    def start_display(self):
        for n in range(140, 180):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            self.xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.env["DISPLAY"] = ":%d" % n
            wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % n), 10, "Xvfb did not start")
            return
        raise Failure("no free display number")

    def close(self):
        try:
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=60)
        except subprocess.TimeoutExpired:
            # Only this test's prefix: what is left in it was started by this test.
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=60)
        finally:
            if self.xvfb:
                self.xvfb.terminate()  # our own Xvfb, by its PID
                self.xvfb.wait(10)

    def start(self, exe, args=(), log_name=None, **env):
        log = open(os.path.join(self.h.out, log_name or "wine-%s.log" % os.path.basename(exe)), "wb")
        return subprocess.Popen([self.wine, exe] + list(args), env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                                stdout=log, stderr=log)

    def drive(self, *args, ok=True):
        # Files, not pipes: Wine's own processes started meanwhile inherit the handles and
        # would hold a pipe open long after the driver has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            try:
                rc = subprocess.run([self.wine, self.h.driver] + [str(a) for a in args], env=self.env,
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=120).returncode
            except subprocess.TimeoutExpired:
                raise Failure("driver %s did not answer" % " ".join(map(str, args)))
            out.seek(0)
            err.seek(0)
            text, problem = out.read().decode("cp932", "replace"), err.read().decode("cp932", "replace")
        if ok and rc != 0:
            raise Failure("driver %s failed: %s\nwindows shown:\n%s" % (" ".join(map(str, args)), problem,
                                                                        self.drive("list", ok=False)))
        return text.replace("\r", "")

    def shot(self, name):
        if not shutil.which("import"):
            print("no ImageMagick: screenshot %s skipped" % name)
            return
        time.sleep(1)  # let the window finish painting
        path = os.path.join(self.h.out, name + ".png")
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", path], check=True, timeout=60)
        self.shots.append(path)

    def settings(self):
        return ini_values(read_bytes(os.path.join(self.appdata, "Horolan.ini")), USER)

    def reset_settings(self, values=None):
        shutil.rmtree(self.appdata, ignore_errors=True)
        if values is not None:
            os.makedirs(self.appdata)
            with open(os.path.join(self.appdata, "Horolan.ini"), "wb") as f:
                f.write(ini_text(USER, values))


def ended(proc, timeout, what):
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        proc.kill()  # our own wine process, by its PID
        proc.wait()
        raise Failure("%s did not end within %d s" % (what, timeout))


# The dialog as designed: client size, then (class, left, top, width, height, text) of
# the windowed controls the driver can see by position.
DESIGN = [
    ("edit", 8, 24, 145, 20, None),
    ("listbox", 8, 72, 145, 88, None),
    ("edit", 160, 144, 233, 20, None),
    ("button", 256, 232, 64, 20, "OK"),
    ("button", 328, 232, 64, 20, "キャンセル"),
    ("button", 168, 176, 225, 17, "起動時に時刻を更新する"),
    ("button", 167, 200, 225, 17, "0分と30分近辺での同期を行なわない"),
]


def check_layout(w):
    lines = w.drive("layout", *SETUP).splitlines()
    with open(os.path.join(w.h.out, "settings-dialog-layout.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    check(lines and lines[0] == "client 400 264", "the dialog's client area is %r" % (lines[:1],))
    placed = []
    for line in lines[1:]:
        parts = line.split(" ", 5)
        placed.append((parts[0].lower(), int(parts[1]), int(parts[2]), int(parts[3]), int(parts[4]),
                       parts[5] if len(parts) > 5 else ""))
    for cls, x, y, cx, cy, text in DESIGN:
        hit = [p for p in placed if p[:5] == (cls, x, y, cx, cy) and (text is None or p[5] == text)]
        check(hit, "no %s at %d,%d %dx%d %s in the dialog:\n%s" % (cls, x, y, cx, cy, text or "", "\n".join(lines)))


def scenario_dialog(w):
    """Guard, the settings dialog (OK, Cancel), tray menu, version box and exit."""
    w.reset_settings({"UseNTPServer": "ntp.e2e.test", "BootUpdateTime": 0})
    first = w.start(w.h.exe)
    lst = os.path.join(w.appdata, "NTP.lst")
    wait_for(lambda: os.path.exists(lst), 60, "the program did not write its server list")
    time.sleep(1)

    second = w.start(w.h.exe)
    rc = ended(second, 30, "a second copy")
    check(rc == 0, "a second copy exited with %d" % rc)
    check(first.poll() is None, "the first copy ended when the second started")

    w.drive("tray", WM_MBUTTONDOWN)
    w.drive("wait", *SETUP, 15000)
    check_layout(w)
    w.shot("settings-dialog")
    before = read_bytes(lst).split(b"\r\n")
    check("ntp.e2e.test" not in [l.decode("cp932") for l in before], "the test server is already listed")

    # OK with a new server: saved, and first in the rewritten list.
    w.drive("settext", 8, 24, "new.e2e.test")
    w.drive("click", *SETUP, "OK")
    w.drive("gone", *SETUP, 15000)
    check(w.settings().get("UseNTPServer") == "new.e2e.test", "OK did not save the server: %r" % w.settings())
    after = read_bytes(lst).split(b"\r\n")
    check(after == [b"new.e2e.test"] + before, "OK did not put the new server first in NTP.lst")

    # Cancel puts back what was saved; nothing is written.
    w.drive("tray", WM_MBUTTONDOWN)
    w.drive("wait", *SETUP, 15000)
    w.drive("settext", 8, 24, "typed.e2e.test")
    w.drive("click", *SETUP, "キャンセル")
    w.drive("gone", *SETUP, 15000)
    w.drive("tray", WM_MBUTTONDOWN)
    w.drive("wait", *SETUP, 15000)
    shown = w.drive("gettext", 8, 24).strip()
    check(shown == "new.e2e.test", "Cancel left %r in the server field" % shown)
    w.drive("click", *SETUP, "キャンセル")
    w.drive("gone", *SETUP, 15000)
    check(w.settings().get("UseNTPServer") == "new.e2e.test", "Cancel changed the saved server")

    # The right button opens the real menu; its sixth entry is the version box (the
    # second, the logon task's, is there wherever the Task Scheduler is).
    w.drive("tray", WM_RBUTTONDOWN)
    w.drive("wait", "#32768", "-", 15000)
    w.shot("tray-menu")
    for _ in range(5):
        w.drive("key", "#32768", "-", VK_DOWN)
    w.drive("key", "#32768", "-", VK_RETURN)
    w.drive("wait", "#32770", "情報", 15000)
    w.shot("version-info")
    w.drive("click", "#32770", "情報", "OK")
    w.drive("gone", "#32770", "情報", 15000)

    # Ending the program saves the settings once more; the guard lets a new copy in.
    os.remove(os.path.join(w.appdata, "Horolan.ini"))
    w.drive("close", *SETUP)
    rc = ended(first, 30, "the program after its main form was closed")
    check(rc == 0, "the program exited with %d" % rc)
    check(w.settings().get("UseNTPServer") == "new.e2e.test", "closing did not save the settings")


def scenario_wizard(w):
    """First start without a server: the wizard's pages, and its end in the dialog."""
    w.reset_settings()
    proc = w.start(w.h.exe)
    try:
        w.drive("wait", "TSelectForm", "-", 60000)
        time.sleep(2)  # the first window of a fresh start paints late
        w.shot("wizard-page-0")
        # The preset answer is "other": the dialog then opens with an empty server.
        # A provider leads to its own page first.
        w.drive("click", "TSelectForm", "-", "OCN")
        w.drive("click", "TSelectForm", "-", "次へ")
        time.sleep(1)
        check(wizard_shown(w), "the wizard ended on its first page although a provider was chosen")
        w.shot("wizard-page-1")
        w.drive("click", "TSelectForm", "-", "次へ")
        w.drive("gone", "TSelectForm", "-", 15000)
        w.drive("wait", *SETUP, 15000)
        server = w.drive("gettext", 8, 24).strip()
        check(server != "", "the wizard left the server field empty")
        w.shot("settings-after-wizard")
        w.drive("click", *SETUP, "OK")
        w.drive("gone", *SETUP, 15000)
        check(w.settings().get("UseNTPServer") == server, "OK after the wizard did not save %r" % server)
        w.drive("close", *SETUP)
        check(ended(proc, 30, "the program") == 0, "the program did not end with 0")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def wizard_shown(w):
    return subprocess.run([w.wine, w.h.driver, "wait", "TSelectForm", "-", "0"], env=w.env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def scenario_run_once(w):
    """Run-once against chronyd: Wine refuses the clock, and the program ends with status 1
    once the refusal balloon has had its time on the screen."""
    Chronyd.need(w.h, SERVER)
    w.reset_settings({"UseNTPServer": SERVER})
    # Wine's own traces tell what reached the clock and the tray; on a UTC machine the
    # refused setting is 9 hours ahead.
    proc = w.start(w.h.exe, ["-1"], log_name="run-once.log", TZ="UTC", WINEDEBUG="-all,err+sync,trace+systray")
    rc = ended(proc, 60, "a run-once start")
    trace = read_bytes(os.path.join(w.h.out, "run-once.log")).decode("utf-8", "replace")
    refused = re.findall(r"NtSetSystemTime not allowed: difference (-?\d+) ms", trace)
    check(len(refused) == 1, "expected one refused clock setting, Wine saw %r" % refused)
    check(abs(int(refused[0]) - 9 * 3600 * 1000) < 5000, "the clock was to move by %s ms, not 9 h" % refused[0])
    after = trace[trace.index("NtSetSystemTime"):]
    check(re.search(r"dwMessage = 1,", after), "nothing was shown in the tray after the refused setting")
    check(rc == 1, "a run-once start whose clock setting was refused exited with %d" % rc)
    check(w.settings().get("UseNTPServer") == SERVER, "the run-once exit did not save the settings")


SCENARIOS = [("dialog", scenario_dialog), ("wizard", scenario_wizard), ("run-once", scenario_run_once)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--peers", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("only", nargs="*")
    h = ap.parse_args()
    h.out = os.path.join(os.path.abspath(h.out), "e2e-wine")
    os.makedirs(h.out, exist_ok=True)
    w = Wine(h)
    status = 0
    try:
        for name, run in SCENARIOS:
            if h.only and name not in h.only:
                continue
            try:
                run(w)
                print("PASS %s" % name)
            except Failure as e:
                print("FAIL %s: %s" % (name, e))
                status = 1
    finally:
        Chronyd.stop_all()
        w.close()
    print("screenshots: " + " ".join(w.shots))
    return status


if __name__ == "__main__":
    sys.exit(main())
