#!/usr/bin/env python3
"""Writes the small package the extraction tests unpack: fixed contents and dates,
so the same bytes come out on every build."""
import sys
import zipfile

WHEN = (2004, 1, 3, 9, 5, 0)


def member(name, compress):
    info = zipfile.ZipInfo(name, date_time=WHEN)
    info.compress_type = compress
    info.external_attr = 0o644 << 16
    return info


def main(out_path):
    readme = b"Veloran update sample\r\nSecond line\r\n"
    values = bytes((i * 7 + 3) % 256 for i in range(512))
    with zipfile.ZipFile(out_path, "w") as z:
        z.writestr(member("readme.txt", zipfile.ZIP_DEFLATED), readme)
        z.writestr(member("data/values.bin", zipfile.ZIP_DEFLATED), values)
        z.writestr(member("notes.txt", zipfile.ZIP_STORED), b"stored member\n")


if __name__ == "__main__":
    main(sys.argv[1])
