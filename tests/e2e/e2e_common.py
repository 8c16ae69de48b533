"""Pieces the whole-program scenarios share: failures, waiting, settings files, and chronyd as the
time server (through tests/peers/chronyd_peer.py, on a loopback address, stopped by
its own control datagram and then by PID)."""
import os
import socket
import subprocess
import sys
import time


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def ini_text(section, values):
    """A settings file as the program writes it: code page 932, CR LF."""
    body = "".join("%s=%s\r\n" % kv for kv in values.items())
    return ("[%s]\r\n" % section + body).encode("cp932")


def ini_values(data, section):
    """The keys of one section of an INI file, as text."""
    values, inside = {}, False
    for line in data.decode("cp932").splitlines():
        if line.startswith("["):
            inside = line.strip() == "[%s]" % section
        elif inside and "=" in line:
            k, v = line.split("=", 1)
            values[k] = v
    return values


def wait_for(predicate, timeout, message):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return
        time.sleep(0.1)
    if not predicate():
        raise Failure(message)


class Chronyd:
    running = {}

    def __init__(self, h, address):
        self.workdir = os.path.join(h.out, "chronyd-" + address)
        os.makedirs(self.workdir, exist_ok=True)
        ready = os.path.join(self.workdir, "ready")
        if os.path.exists(ready):
            os.remove(ready)
        self.proc = subprocess.Popen([sys.executable, os.path.join(h.peers, "chronyd_peer.py"), self.workdir, address],
                                     stdin=subprocess.DEVNULL)
        self.port = 0
        deadline = time.time() + 20
        while time.time() < deadline:
            text = read_bytes(ready).decode()
            if text.startswith("ready "):
                self.port = int(text.split()[1])
                return
            if text.startswith("failed"):
                break
            time.sleep(0.1)
        self.stop()
        raise Failure("chronyd on %s did not start: %s" % (address, read_bytes(ready).decode().strip()))

    @classmethod
    def need(cls, h, address):
        if address not in cls.running:
            cls.running[address] = Chronyd(h, address)
        return cls.running[address]

    def stop(self):
        if self.port:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.sendto(b"stop", ("127.0.0.1", self.port))
            s.close()
            self.port = 0
        try:
            self.proc.wait(15)
        except subprocess.TimeoutExpired:
            self.proc.terminate()  # our own child, by its PID
            self.proc.wait(5)

    @classmethod
    def stop_all(cls):
        for c in cls.running.values():
            c.stop()
        cls.running.clear()
