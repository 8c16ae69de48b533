#!/usr/bin/env python3
"""Runs chronyd as a test's SNTP server on one loopback address, port 123.

Usage: chronyd_peer.py WORKDIR ADDRESS [STRATUM]

chronyd runs in the foreground with clock control off (-x) and a local reference,
so that it answers as a synchronised server. Once it answers, WORKDIR/ready holds
"ready <control port>"; a datagram "stop" to 127.0.0.1:<control port> (or the end
of a safety lifetime) stops chronyd by its PID and ends this script. On failure
WORKDIR/ready holds "failed <reason>".
"""
import getpass
import os
import select
import socket
import struct
import subprocess
import sys
import time

LIFETIME = 300  # seconds; a test that never says stop does not leave chronyd behind
NTP_EPOCH_OFFSET = 2208988800


def report(workdir, text):
    tmp = os.path.join(workdir, "ready.tmp")
    with open(tmp, "w") as f:
        f.write(text + "\n")
    os.replace(tmp, os.path.join(workdir, "ready"))


def answers(address, stratum):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.settimeout(0.3)
    try:
        now = time.time() + NTP_EPOCH_OFFSET
        s.sendto(b"\x1b" + bytes(39) + struct.pack(">II", int(now), 0), (address, 123))
        data, _ = s.recvfrom(512)
        return len(data) >= 48 and data[1] == stratum and data[0] >> 6 != 3
    except OSError:
        return False
    finally:
        s.close()


def main():
    workdir, address = sys.argv[1], sys.argv[2]
    stratum = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    os.makedirs(workdir, exist_ok=True)
    conf = os.path.join(workdir, "chronyd.conf")
    with open(conf, "w") as f:
        f.write(
            "local stratum %d\n"
            "bindaddress %s\n"
            "allow 127.0.0.0/8\n"
            "port 123\n"
            "cmdport 0\n"
            "pidfile %s\n"
            "driftfile %s\n"
            % (stratum, address, os.path.join(workdir, "chronyd.pid"), os.path.join(workdir, "chronyd.drift"))
        )
    log = open(os.path.join(workdir, "chronyd.log"), "w")
    try:
        chronyd = subprocess.Popen(
            ["chronyd", "-x", "-d", "-u", getpass.getuser(), "-f", conf], stdout=log, stderr=subprocess.STDOUT
        )
    except OSError as e:
        report(workdir, "failed %s" % e)
        return 1

    try:
        deadline = time.time() + 10
        while not answers(address, stratum):
            if chronyd.poll() is not None or time.time() > deadline:
                report(workdir, "failed chronyd did not answer (see chronyd.log)")
                return 1
            time.sleep(0.1)

        control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        control.bind(("127.0.0.1", 0))
        report(workdir, "ready %d" % control.getsockname()[1])
        end = time.time() + LIFETIME
        while time.time() < end and chronyd.poll() is None:
            readable, _, _ = select.select([control], [], [], 0.5)
            if readable and control.recv(64).strip() == b"stop":
                break
        return 0
    finally:
        if chronyd.poll() is None:
            chronyd.terminate()
            try:
                chronyd.wait(5)
            except subprocess.TimeoutExpired:
                chronyd.kill()
                chronyd.wait()


if __name__ == "__main__":
    sys.exit(main())
