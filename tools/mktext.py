#!/usr/bin/env python3
"""Writes a UTF-8 text file as the code page 932 text with CR LF line ends that Windows
users open with Notepad (the read-me of the release archive)."""
import os
import sys


def convert(text: str) -> bytes:
    """Every line ends with CR LF, the last one included, whatever the source used.
    A character that code page 932 cannot hold is an error, never a silent "?"."""
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    out = bytearray()
    for number, line in enumerate(lines, 1):
        try:
            out += line.encode("cp932")
        except UnicodeEncodeError as e:
            bad = line[e.start:e.end]
            raise ValueError(f"line {number}: {bad!r} has no code page 932 form") from None
        out += b"\r\n"
    return bytes(out)


def main(argv=None) -> int:
    args = sys.argv[1:] if argv is None else argv
    if len(args) != 2:
        print("usage: mktext.py <source.txt> <output.txt>", file=sys.stderr)
        return 2
    source, output = args
    with open(source, encoding="utf-8-sig") as f:
        text = f.read()
    try:
        data = convert(text)
    except ValueError as e:
        print(f"{source}: {e}", file=sys.stderr)
        return 1
    partial = output + ".part"
    with open(partial, "wb") as f:
        f.write(data)
    os.replace(partial, output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
