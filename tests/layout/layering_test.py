#!/usr/bin/env python3
"""The layering of the source folders: a folder includes only folders below it, and only
the system's own rooms (shared/platform/, unzip32/src/os/) include the system's headers.

Exits non-zero naming every include that breaks a rule."""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()

# Lower ranks sit lower: a folder may include its own headers and those of lower ranks.
RANKS = {
    "shared/platform": 0,
    "shared/mirror": 1,
    "shared/signature": 1,
    "unzip32": 1,
    "vlrupdate": 1,  # the updater's own root header (skip_on_error.h)
    "vlrupdate/download": 2,
    "vlrupdate/extract": 2,
    "vlrpublish": 2,
    "vlrupdate/wizard": 3,
    "vlrupdate/app": 4,
}
# Where an include's first component lives.
INCLUDE_ROOTS = {
    "platform": "shared/platform", "mirror": "shared/mirror", "signature": "shared/signature",
    "download": "vlrupdate/download", "extract": "vlrupdate/extract",
    "wizard": "vlrupdate/wizard", "app": "vlrupdate/app",
    "unzip32": "unzip32", "os": "unzip32", "vlrpublish": "vlrpublish",
}
SYSTEM_ROOMS = ("shared/platform/", "unzip32/src/os/")
SYSTEM_HEADER = re.compile(r'#\s*include\s*<(windows|wininet|winuser|bcrypt|curl/curl)\.h>')
# The updater's Windows entry (WinMain and its resources) is system code by nature.
SYSTEM_EXCEPTIONS = {"vlrupdate/app/main_win32.cpp"}


def folder_of(rel):
    parts = rel.split("/")
    if parts[0] in ("shared", "vlrupdate") and len(parts) > 2:
        return "/".join(parts[:2])
    return parts[0]


def included_folder(include, own):
    first = include.split("/")[0]
    if "/" not in include:
        # A header beside the file, or the updater's root header.
        return "vlrupdate" if include == "skip_on_error.h" else own
    if own == "unzip32" and first not in INCLUDE_ROOTS:
        return own  # the library's sources include each other from src/
    return INCLUDE_ROOTS.get(first)


def main():
    faults = []
    for path in sorted(ROOT.rglob("*")):
        if path.suffix not in (".cpp", ".h") or "build" in path.relative_to(ROOT).parts:
            continue
        rel = path.relative_to(ROOT).as_posix()
        own = folder_of(rel)
        if own not in RANKS or "/fuzz/" in rel:
            continue
        text = path.read_text(errors="replace")
        for include in re.findall(r'#\s*include\s*"([^"]+)"', text):
            target = included_folder(include, own)
            if target is None:
                faults.append(f"{rel}: includes {include}, which no folder holds")
            elif target != own and RANKS.get(target, 99) >= RANKS[own]:
                faults.append(f"{rel}: includes {include} ({target} is not below {own})")
        if (SYSTEM_HEADER.search(text) and not rel.startswith(SYSTEM_ROOMS)
                and rel not in SYSTEM_EXCEPTIONS):
            faults.append(f"{rel}: includes a system header outside the platform rooms")
    for fault in faults:
        print(fault)
    print(f"layering: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
