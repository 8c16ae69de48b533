#!/usr/bin/env python3
"""What Windows reads from Horolan.exe before it runs a line of it: the oldest system
the image says it needs, the DLLs and functions it imports (all present on that system),
and the manifest (visual styles, no elevation asked, no virtualization, the systems the
program knows).

Usage: exe_image.py Horolan.exe
"""
import struct
import sys
import xml.etree.ElementTree as ET

OLDEST = (6, 1)  # Windows 7

# DLLs of a bare Windows 7 that the program may import. Everything else (the compiler's
# runtime DLLs, the api-ms-win-* sets of the universal CRT) would be missing there.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "version.dll",
               "comctl32.dll", "winmm.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll", "ws2_32.dll",
               "wsock32.dll", "taskschd.dll"}

# Functions that toolchain runtimes reach for and that came after Windows 7 (checked
# against the Windows SDK's minimum-version notes). GetTickCount64 is Vista's, so fine.
NEWER_THAN_OLDEST = {
    "GetSystemTimePreciseAsFileTime": "Windows 8",
    "CreateFile2": "Windows 8",
    "GetCurrentThreadStackLimits": "Windows 8",
    "WaitOnAddress": "Windows 8",
    "WakeByAddressSingle": "Windows 8",
    "WakeByAddressAll": "Windows 8",
    "SetThreadDescription": "Windows 10 1607",
    "GetThreadDescription": "Windows 10 1607",
    "SetDefaultDllDirectories": "Windows 8 (7 only with KB2533623)",
    "AddDllDirectory": "Windows 8 (7 only with KB2533623)",
}

SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}

RT_MANIFEST = 24


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.machine, sections, _, _, _, optsize, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        self.pe32plus = magic == 0x20B
        (self.os_version, self.subsystem_version) = ((struct.unpack_from("<HH", data, opt + 40)),
                                                     (struct.unpack_from("<HH", data, opt + 48)))
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        dirs = opt + (112 if self.pe32plus else 96)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            s = opt + optsize + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((va, max(vsize, rawsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA %#x lies in no section" % rva)

    def cstring(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def imports(self):
        """{dll (lower case): [function names; "#n" for an ordinal]}"""
        rva, size = self.directories[1]
        out = {}
        o = self.offset(rva) if size else None
        while o is not None:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            names = out.setdefault(self.cstring(name).lower(), [])
            t = self.offset(lookup or first)
            width, flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
            while True:
                entry = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, t)[0]
                if entry == 0:
                    break
                names.append("#%d" % (entry & 0xFFFF) if entry & flag else self.cstring(entry + 2))
                t += width
            o += 20
        return out

    def resource(self, type_id):
        """The bytes of the first resource of the type, or None."""
        rva, size = self.directories[2]
        if not size:
            return None
        base = self.offset(rva)

        def entries(table):
            named, ids = struct.unpack_from("<HH", self.data, base + table + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)

        for ident, target in entries(0):
            if ident != type_id:
                continue
            while target & 0x80000000:  # down to the first name, then the first language
                target = next(entries(target & 0x7FFFFFFF))[1]
            data_rva, data_size = struct.unpack_from("<II", self.data, base + target)
            o = self.offset(data_rva)
            return self.data[o:o + data_size]
        return None


def problems(path):
    with open(path, "rb") as f:
        img = Image(f.read())
    found = []
    for what, version in (("operating system", img.os_version), ("subsystem", img.subsystem_version)):
        if tuple(version) != OLDEST:
            found.append("the %s version is %d.%d, not %d.%d" % ((what,) + tuple(version) + OLDEST))
    for dll, names in sorted(img.imports().items()):
        if dll not in SYSTEM_DLLS:
            found.append("imports %s, which a bare Windows 7 does not have" % dll)
        for name in names:
            if name in NEWER_THAN_OLDEST:
                found.append("imports %s!%s, which came with %s" % (dll, name, NEWER_THAN_OLDEST[name]))

    manifest = img.resource(RT_MANIFEST)
    if manifest is None:
        return found + ["has no manifest"]
    root = ET.fromstring(manifest)
    v1, v3, compat = ("{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}",
                      "{urn:schemas-microsoft-com:compatibility.v1}")
    levels = [e.attrib for e in root.iter(v3 + "requestedExecutionLevel")]
    if levels != [{"level": "asInvoker", "uiAccess": "false"}]:
        found.append("the manifest's execution level is %r, not asInvoker once" % levels)
    if root.find(v3 + "trustInfo") is None:
        found.append("the manifest's trustInfo is not a child of the assembly")
    ids = [e.get("Id", "").lower() for e in root.iter(compat + "supportedOS")]
    if sorted(ids) != sorted(SUPPORTED_OS):
        found.append("the manifest names the systems %r, not %s" % (ids, ", ".join(SUPPORTED_OS.values())))
    controls = [e.attrib for e in root.iter(v1 + "assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not controls or controls[0].get("version") != "6.0.0.0":
        found.append("the manifest does not ask for common controls 6")
    return found


def main():
    found = problems(sys.argv[1])
    for p in found:
        print("%s: %s" % (sys.argv[1], p))
    if not found:
        print("%s: Windows %d.%d image, imports and manifest as they should be" % ((sys.argv[1],) + OLDEST))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
