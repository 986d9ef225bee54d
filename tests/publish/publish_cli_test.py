#!/usr/bin/env python3
"""vlrpublish through its command line: what make writes and refuses, and what check
says about mirrors served by the loopback mirror.

    publish_cli_test.py --program PATH --mirror MIRROR_PY --work-dir DIR CASE

PATH is vlrpublish or vlrpublish.exe; a Windows program runs under
$WINELOADER, with paths given as Z: paths. Standard library only; every wait is
bounded. Exit status 0 when the case passed.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

# The end-to-end scripts' way of stating a fact and failing on it.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import Failure, check  # noqa: E402

WINDOWS = False


def native(path):
    """The path as the program takes it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\") if WINDOWS else path


def run(program, *words):
    """Runs the program; gives (exit code, standard output, standard error). The output
    goes through files, not pipes: Wine's helper processes, started with the first
    program of a prefix, would inherit a pipe and hold it open after the program ended."""
    command = ([os.environ["WINELOADER"], program] if WINDOWS else [program]) + list(words)
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out_file,
                              stderr=err_file, timeout=120).returncode
        out_file.seek(0)
        err_file.seek(0)
        out = out_file.read().decode("utf-8", "replace").replace("\r\n", "\n")
        err = err_file.read().decode("utf-8", "replace").replace("\r\n", "\n")
    print("  $ vlrpublish", " ".join(words), "->", code)
    for line in (out + err).splitlines():
        print("    |", line)
    return code, out, err


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# An hour's worth of seconds apart and on odd seconds, so a lost time or a lost
# second shows.
TIME_BASE = 1_700_000_001


def english_files(root):
    """Text that deflates, bytes that do not, an empty file, a non-ASCII name."""
    files = {
        "readme.txt": b"Veloran 7.5.3\r\n" * 300,
        "vlrdata.dat": random.Random(7).randbytes(20000),
        "empty.cfg": b"",
        "caf\u00e9.txt": "caf\u00e9 cr\u00e8me\r\n".encode("utf-8") * 20,
    }
    for i, (name, data) in enumerate(sorted(files.items())):
        path = os.path.join(root, name)
        write(path, data)
        os.utime(path, (TIME_BASE + 3600 * i, TIME_BASE + 3600 * i))
    return files


def french_files(root):
    files = {"lisezmoi.txt": b"Veloran 7.5.3 en fran\xe7ais\r\n" * 100}
    for name, data in files.items():
        write(os.path.join(root, name), data)
    return files


def folder_bytes(folder):
    return {n: read(os.path.join(folder, n)) for n in sorted(os.listdir(folder))}


def leftovers(parent):
    return [n for n in os.listdir(parent) if ".vlrpublish" in n]


class Mirror:
    """tools/mirror/mirror.py serving a folder on 127.0.0.1; ended on exit."""

    def __init__(self, script, root, work):
        port_file = os.path.join(work, "mirror.port")
        if os.path.exists(port_file):
            os.remove(port_file)
        self.proc = subprocess.Popen(
            [sys.executable, script, "--root", root, "--port-file", port_file,
             "--max-seconds", "120"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 15
        while not os.path.exists(port_file) or not read(port_file).strip():
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise Failure("the loopback mirror did not start")
            time.sleep(0.05)
        self.site = "127.0.0.1:%d" % int(read(port_file))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


# --- make -----------------------------------------------------------------------------

def case_make_writes_checked_deterministic_mirror(t):
    en, fr = os.path.join(t.work, "en"), os.path.join(t.work, "fr")
    english, french = english_files(en), french_files(fr)
    out = os.path.join(t.work, "mirror")
    code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                     "--fr", native(fr), "--out", native(out))
    check(code == 0, "make succeeds")
    check(sorted(os.listdir(out)) == ["version.html", "vlr753.zip", "vlr753fr.zip"],
          "the mirror holds version.html and both packages")
    page = read(os.path.join(out, "version.html"))
    head = page.split(b"\r\n\r\n")[0]
    check(bytes(c for c in head if 48 <= c <= 57) == b"753" and b"\r\n" in page,
          "version.html holds 7, 5, 3 and no other digit before its first empty line")
    with zipfile.ZipFile(os.path.join(out, "vlr753.zip")) as z:
        check(z.testzip() is None, "every member of vlr753.zip passes its CRC")
        infos = {i.filename: i for i in z.infolist()}
        check(sorted(infos) == sorted(english), "vlr753.zip holds the English files, flat")
        check(all(z.read(n) == d for n, d in english.items()), "with their bytes")
        check(infos["readme.txt"].compress_type == zipfile.ZIP_DEFLATED, "text is deflated")
        check(infos["vlrdata.dat"].compress_type == zipfile.ZIP_STORED and
              infos["empty.cfg"].compress_type == zipfile.ZIP_STORED,
              "random bytes and the empty file are stored")
        for name in english:
            mtime = os.path.getmtime(os.path.join(en, name))
            want = time.localtime(mtime - mtime % 2)[:6]
            check(infos[name].date_time == want, "%s carries its own time" % name)
    with zipfile.ZipFile(os.path.join(out, "vlr753fr.zip")) as z:
        check({n: z.read(n) for n in z.namelist()} == french, "vlr753fr.zip holds the French files")

    made = folder_bytes(out)
    again = os.path.join(t.work, "again")
    code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                     "--fr", native(fr), "--out", native(again))
    check(code == 0 and folder_bytes(again) == made, "the same input gives the same bytes")

    code, _, err = run(t.program, "make", "--version", "7.5.4", "--en", native(en),
                       "--out", native(out))
    check(code == 3 and "--force" in err and folder_bytes(out) == made,
          "an existing mirror folder is kept without --force")
    code, _, _ = run(t.program, "make", "--version", "7.5.4", "--en", native(en),
                     "--out", native(out), "--force")
    check(code == 0 and sorted(os.listdir(out)) == ["version.html", "vlr754.zip"],
          "--force replaces it as a whole")
    check(not leftovers(t.work), "no working folder is left beside the mirror")


def refused(t, en_files, version, expected):
    """make refuses: exit 3, the message holds every text of `expected`, nothing
    is written."""
    en = os.path.join(t.work, "en")
    os.makedirs(en, exist_ok=True)
    for name, data in en_files.items():
        write(os.path.join(en, name), data)
    out = os.path.join(t.work, "mirror")
    code, _, err = run(t.program, "make", "--version", version, "--en", native(en),
                       "--out", native(out))
    check(code == 3, "make refuses with exit code 3")
    for text in expected:
        check(text in err, "the message says %r" % text)
    check(not os.path.exists(out) and not leftovers(t.work), "nothing was written")


def case_refuse_version_10_2_1(t):
    refused(t, {"a.txt": b"a"}, "10.2.1", ["10.2.1", "021", "three single digits"])


def case_refuse_subfolder(t):
    refused(t, {"a.txt": b"a", "docs/notes.txt": b"n", "img/logo.bmp": b"b"}, "7.5.3",
            ["subfolders", "'docs'", "'img'"])


def case_refuse_name(t):
    refused(t, {"a.txt": b"a", "aux.txt": b"x", ".~uz32-1.tmp": b"y"}, "7.5.3",
            ["'aux.txt'", "device name", "'.~uz32-1.tmp'", "temporary files"])


def case_refuse_names_equal_but_for_case(t):
    # Windows folds every letter, not only ASCII ones.
    refused(t, {"Caf\u00e9.txt": b"a", "CAF\u00c9.TXT": b"b"}, "7.5.3",
            ["'CAF\u00c9.TXT' and 'Caf\u00e9.txt'", "differ only in case"])


def case_refuse_empty_folder(t):
    refused(t, {}, "7.5.3", ["holds no file"])


# --- check ----------------------------------------------------------------------------

def checked(t, root_files, expected_code, expected, french=False):
    """check on a mirror serving `root_files` (name -> bytes)."""
    root = os.path.join(t.work, "root")
    os.makedirs(root)
    for name, data in root_files.items():
        write(os.path.join(root, name), data)
    with Mirror(t.mirror, root, t.work) as m:
        words = ["check", m.site + "/"] + (["--fr"] if french else [])
        code, out, _ = run(t.program, *words)
    check(code == expected_code, "check exits with %d" % expected_code)
    for text in expected:
        check(text in out, "the report says %r" % text)


def published(t):
    """A mirror made by make, as name -> bytes."""
    en, fr = os.path.join(t.work, "en"), os.path.join(t.work, "fr")
    english_files(en)
    french_files(fr)
    out = os.path.join(t.work, "made")
    code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                     "--fr", native(fr), "--out", native(out))
    check(code == 0, "make succeeds")
    return folder_bytes(out)


def case_check_good_mirror(t):
    checked(t, published(t), 0, ["version.html: HTTP 200", "753 -> vlr753fr.zip",
                                  "vlr753fr.zip: HTTP 200", "unpacks: yes",
                                  "would succeed"], french=True)


def case_check_version_missing(t):
    checked(t, {"vlr753.zip": published(t)["vlr753.zip"]}, 1,
            ["version.html: HTTP 404", "version.html answered HTTP 404", "would fail"])


def case_check_two_digits(t):
    checked(t, {"version.html": b"7.5\r\n"}, 1, ["gives 2 digit(s)", "would fail"])


def case_check_package_absent(t):
    checked(t, {"version.html": published(t)["version.html"]}, 1,
            ["vlr753.zip: HTTP 404", "vlr753.zip answered HTTP 404",
             "counts an error answer as a failed download", "would fail"])


def case_check_package_truncated(t):
    files = published(t)
    whole = files["vlr753.zip"]
    files["vlr753.zip"] = whole[: len(whole) * 2 // 3]
    checked(t, files, 1, ["vlr753.zip: HTTP 200", "unpacks: no", "vlr753.zip would not unpack"])


# --- signatures -----------------------------------------------------------------------

KEYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "signing", "keys")


def case_signed_mirror(t):
    """make --sign writes the .sig files (the Linux build; the Windows build refuses and
    the publisher signs with openssl), and check --key judges them as a signed updater."""
    en = os.path.join(t.work, "en")
    english_files(en)
    out = os.path.join(t.work, "made")
    key = os.path.join(KEYS, "test_private.pem")
    code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                       "--out", native(out), "--sign", native(key))
    if WINDOWS:
        check(code == 3 and "cannot sign" in err and not os.path.exists(out),
              "the Windows build refuses to sign and writes nothing")
        code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                         "--out", native(out))
        check(code == 0, "make succeeds without --sign")
        for name in ("version.html", "vlr753.zip"):
            subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-out",
                            os.path.join(out, name + ".sig"), os.path.join(out, name)], check=True)
    else:
        check(code == 0, "make --sign succeeds")
    files = folder_bytes(out)
    check(sorted(files) == ["version.html", "version.html.sig", "vlr753.zip", "vlr753.zip.sig"],
          "the mirror holds both files and their signatures")
    root = os.path.join(t.work, "root")
    shutil.copytree(out, root)
    with Mirror(t.mirror, root, t.work) as m:
        code, report, _ = run(t.program, "check", m.site + "/", "--key",
                              native(os.path.join(KEYS, "test_public.pem")))
        check(code == 0 and "vlr753.zip.sig: HTTP 200" in report and "signature good" in report,
              "check --key finds both signatures good")
        code, report, _ = run(t.program, "check", m.site + "/", "--key",
                              native(os.path.join(KEYS, "other_public.pem")))
        check(code == 1 and "version.html.sig is no signature of version.html by this key" in report,
              "another key's check fails at version.html")
        os.remove(os.path.join(root, "vlr753.zip.sig"))
        code, report, _ = run(t.program, "check", m.site + "/", "--key",
                              native(os.path.join(KEYS, "test_public.pem")))
        check(code == 1 and "vlr753.zip has no signature on the mirror" in report,
              "a missing package signature fails")


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    global WINDOWS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--mirror", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    WINDOWS = args.program.lower().endswith(".exe")
    t = argparse.Namespace(program=args.program, mirror=args.mirror,
                           work=os.path.join(os.path.abspath(args.work_dir), args.case))
    shutil.rmtree(t.work, ignore_errors=True)
    os.makedirs(t.work)
    print("case", args.case)
    try:
        CASES[args.case](t)
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("FAILED:", failure)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
