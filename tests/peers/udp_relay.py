#!/usr/bin/env python3
"""UDP sockets on fixed loopback addresses, driven by a test over a control socket.

Usage: udp_relay.py WORKDIR ADDRESS:PORT...

Opens one socket per ADDRESS:PORT (port 123 of several loopback addresses, say) and
writes "ready <control port>" to WORKDIR/ready; the control socket is on 127.0.0.1.
The test's first datagram to it ("hello") names where reports go. Then:
  relay -> test: socket index (1 byte), sender address (4), sender port (2, big-endian),
                 the datagram received on that socket;
  test -> relay: socket index, destination address, destination port, payload: the
                 payload is sent from that socket;
  test -> relay: "stop" ends the relay.
The test thereby sends from exact addresses and ports, which a Windows process under
Wine cannot (it binds UDP sockets to the interface rather than the address).
"""
import os
import select
import socket
import struct
import sys
import time

LIFETIME = 300  # seconds, in case a test never says stop


def report(workdir, text):
    tmp = os.path.join(workdir, "ready.tmp")
    with open(tmp, "w") as f:
        f.write(text + "\n")
    os.replace(tmp, os.path.join(workdir, "ready"))


def main():
    workdir = sys.argv[1]
    os.makedirs(workdir, exist_ok=True)
    sockets = []
    try:
        for where in sys.argv[2:]:
            host, port = where.rsplit(":", 1)
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.bind((host, int(port)))
            sockets.append(s)
        control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        control.bind(("127.0.0.1", 0))
    except OSError as e:
        report(workdir, "failed %s" % e)
        return 1
    report(workdir, "ready %d" % control.getsockname()[1])

    test = None
    end = time.time() + LIFETIME
    while time.time() < end:
        readable, _, _ = select.select([control] + sockets, [], [], 0.5)
        for s in readable:
            try:
                data, sender = s.recvfrom(65535)
            except OSError:
                continue  # e.g. the port-unreachable report of an answer to a closed socket
            if s is control:
                if data == b"stop":
                    return 0
                if data == b"hello":
                    test = sender
                elif len(data) >= 7 and data[0] < len(sockets):
                    to = (socket.inet_ntoa(data[1:5]), struct.unpack(">H", data[5:7])[0])
                    sockets[data[0]].sendto(data[7:], to)
            elif test is not None:
                header = bytes([sockets.index(s)]) + socket.inet_aton(sender[0]) + struct.pack(">H", sender[1])
                control.sendto(header + data, test)
    return 0


if __name__ == "__main__":
    sys.exit(main())
