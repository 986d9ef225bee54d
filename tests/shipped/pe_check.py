#!/usr/bin/env python3
"""Static checks of what we ship, read from the files themselves (nothing is started):

  pe_check.py exe  FILE   a PE32 (i386) GUI program that imports system DLLs only
  pe_check.py dll  FILE   a PE32 (i386) DLL exporting UzpVersion2,
                          Wiz_SingleEntryUnzip and UzpRecoverFolder by their plain
                          names, importing only
                          KERNEL32 and msvcrt

Exit 0 when every check holds; otherwise each failed check is printed and the exit
code is 1. Standard library only."""

import struct
import sys

I386 = 0x14C
PE32_MAGIC = 0x10B
GUI_SUBSYSTEM = 2
DLL_FLAG = 0x2000

# DLLs every Windows installation has in its system folder.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "uxtheme.dll", "version.dll", "wininet.dll", "ws2_32.dll",
    "bcrypt.dll", "crypt32.dll", "ntdll.dll", "imm32.dll",
}


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic != PE32_MAGIC:
            return  # the rest is read only for PE32 files
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        directories = opt + 96
        self.export_rva, _ = struct.unpack_from("<II", data, directories)
        self.import_rva, _ = struct.unpack_from("<II", data, directories + 8)
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            _, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address 0x%x is in no section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii", "replace")

    def imports(self):
        names, at = [], self.offset(self.import_rva) if self.import_rva else None
        while at is not None:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                break
            names.append(self.text(name_rva))
            at += 20
        return names

    def exports(self):
        if not self.export_rva:
            return []
        at = self.offset(self.export_rva)
        count, _, names_rva = struct.unpack_from("<III", self.data, at + 24)
        return [self.text(struct.unpack_from("<I", self.data, self.offset(names_rva) + 4 * i)[0])
                for i in range(count)]


def check(kind, path):
    failures = []
    with open(path, "rb") as f:
        pe = Pe(f.read())
    if pe.machine != I386:
        failures.append("machine 0x%x, not i386" % pe.machine)
    if pe.magic != PE32_MAGIC:
        failures.append("optional header 0x%x, not PE32" % pe.magic)
        return failures
    imports = pe.imports()
    if kind == "exe":
        if pe.characteristics & DLL_FLAG:
            failures.append("is a DLL")
        if pe.subsystem != GUI_SUBSYSTEM:
            failures.append("subsystem %d, not the GUI subsystem" % pe.subsystem)
        for name in imports:
            if name.lower() not in SYSTEM_DLLS:
                failures.append("imports %s, which is not a system DLL" % name)
    else:
        if not pe.characteristics & DLL_FLAG:
            failures.append("is not a DLL")
        exports = pe.exports()
        for name in ("UzpVersion2", "Wiz_SingleEntryUnzip", "UzpRecoverFolder"):
            if name not in exports:
                failures.append("does not export %s by its plain name (exports: %s)"
                                % (name, ", ".join(exports)))
        for name in imports:
            if name.lower() not in ("kernel32.dll", "msvcrt.dll"):
                failures.append("imports %s; only KERNEL32 and msvcrt are allowed" % name)
    if not imports:
        failures.append("imports nothing at all, which no real program does")
    print("%s: imports %s" % (path, ", ".join(imports)))
    return failures


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("exe", "dll"):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        failures = check(sys.argv[1], sys.argv[2])
    except (OSError, ValueError, struct.error) as e:
        failures = ["cannot be read as a PE file: %s" % e]
    for f in failures:
        print("FAILED: %s %s" % (sys.argv[2], f))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
