#!/usr/bin/env python3
"""vlrpublish through its command line: what make writes and refuses, and what check
says about mirrors served by the loopback mirror.

    publish_cli_test.py --program PATH --mirror MIRROR_PY --work-dir DIR CASE

PATH is vlrpublish or vlrpublish.exe; a Windows program runs under
$WINELOADER, with paths given as Z: paths. Standard library only; every wait is
bounded. Exit status 0 when the case passed.
"""

import argparse
import datetime
import hashlib
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import zipfile

# The end-to-end scripts' way of stating a fact and failing on it.
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "docs"))
import doc_blocks  # noqa: E402
from e2e_support import Failure, check, utc_today  # noqa: E402

WINDOWS = False


def native(path):
    """The path as the program takes it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\") if WINDOWS else path


def run(program, *words, umask=None):
    """Runs the program; gives (exit code, standard output, standard error). The output
    goes through files, not pipes: Wine's helper processes, started with the first
    program of a prefix, would inherit a pipe and hold it open after the program ended."""
    command = ([os.environ["WINELOADER"], program] if WINDOWS else [program]) + list(words)
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out_file,
                              stderr=err_file, timeout=120,
                              preexec_fn=None if umask is None else lambda: os.umask(umask)
                              ).returncode
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


def digest_lines(folder, *names):
    """The digest lines of the packages in `folder`, as hashlib computes their SHA-256."""
    return b"".join(b"<!-- sha256 %s %s -->\r\n" % (
        name.encode(), hashlib.sha256(read(os.path.join(folder, name))).hexdigest().encode())
        for name in names)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def without_digests(page):
    """version.html cut after its empty line: a mirror made by hand, with no digest line."""
    return page.partition(b"\r\n\r\n")[0] + b"\r\n\r\n"


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
    head, _, tail = page.partition(b"\r\n\r\n")
    check(bytes(c for c in head if 48 <= c <= 57) == b"753" and b"\r" not in head,
          "version.html holds 7, 5, 3 and no other digit before its first empty line")
    check(tail == digest_lines(out, "vlr753.zip", "vlr753fr.zip"),
          "after the empty line, version.html names the SHA-256 of each package, one a line")
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
    return err


def case_refuse_version_10_2_1(t):
    refused(t, {"a.txt": b"a"}, "10.2.1", ["10.2.1", "021", "three single digits"])


def case_usage_errors(t):
    """Each command's options: a repeated one, one without its value, an unknown one, a
    missing one, a bad number of days: each such command line exits with 2 and says
    why."""
    for words, said in (
            (["make", "--version", "7.5.3", "--version", "7.5.4"], "--version is given twice"),
            (["make", "--force", "--force"], "--force is given twice"),
            (["make", "--en"], "--en needs a value"),
            (["make", "--out", ""], "--out needs a value"),
            (["make", "--bogus"], "make does not know '--bogus'"),
            (["make", "--version", "7.5.3", "--en", "en"], "make needs --version, --en and --out"),
            (["make", "--expires-in", "0"], "--expires-in takes a number of days from 1 to 36500, not '0'"),
            (["make", "--expires-in", "36501"], "not '36501'"),
            (["make", "--expires-in", "+5"], "not '+5'"),
            (["check", "--fr", "--fr", "h/p"], "--fr is given twice"),
            (["check", "h/p", "h/q"], "check does not know 'h/q'"),
            (["check", "--key"], "--key needs a value"),
            (["check", "--key", "a.pem", "--key", "b.pem"],  # several keys: no repetition
             "check needs the mirror's address, HOST/PATH"),
            # Two keys are two signatures (a change of keys); a third is one too many.
            (["sign", "m", "--key", "a", "--key", "b", "--key", "c"],
             "--key is given three times; a mirror carries two signatures at most"),
            (["make", "--sign", "a", "--sign", "b", "--sign", "c"],
             "--sign is given three times; a mirror carries two signatures at most"),
            (["sign", "m", "--key", "k", "--no-expiry", "--expires-in", "7"],
             "--no-expiry and --expires-in exclude each other"),
            (["sign", "m", "-x"], "sign does not know '-x'"),
            (["sign", "m"], "sign needs the mirror folder and --key PRIVATE.pem"),
            (["sign", "m", "--key", "k", "--expires-in", "7x"], "not '7x'"),
            (["publish"], "unknown command 'publish'")):
        code, _, err = run(t.program, *words)
        check(code == 2 and "%s (see vlrpublish --help)" % said in err,
              "%s: exit 2 saying %r" % (" ".join(words), said))


def case_refuse_subfolder(t):
    refused(t, {"a.txt": b"a", "docs/notes.txt": b"n", "img/logo.bmp": b"b"}, "7.5.3",
            ["subfolders", "'docs'", "'img'"])


def case_refuse_name(t):
    files = {"a.txt": b"a", "aux.txt": b"x", ".~uz32-1.tmp": b"y"}
    expected = ["'aux.txt'", "device name", "'.~uz32-1.tmp'", "temporary files"]
    if not WINDOWS:
        # Printed raw, the escape sequence would colour the terminal.
        files["red\x1b[31m.txt"] = b"z"
        expected.append("'red\\x1B[31m.txt'")
    err = refused(t, files, "7.5.3", expected)
    check("\x1b" not in err, "no control character reaches the terminal")


def case_refuse_names_equal_but_for_case(t):
    # Windows folds every letter, not only ASCII ones.
    refused(t, {"Caf\u00e9.txt": b"a", "CAF\u00c9.TXT": b"b"}, "7.5.3",
            ["'CAF\u00c9.TXT' and 'Caf\u00e9.txt'", "differ only in case"])


def case_refuse_empty_folder(t):
    refused(t, {}, "7.5.3", ["holds no file"])


def case_replace_only_a_mirror(t):
    """--force replaces a folder only when it holds nothing but a mirror's files, and the
    new mirror keeps the old folder's access (so the web server can still read it)."""
    en = os.path.join(t.work, "en")
    english_files(en)
    precious = os.path.join(t.work, "precious")
    write(os.path.join(precious, "projects", "src", "main.c"), b"int main(void);\n")
    write(os.path.join(precious, "notes.txt"), b"notes")
    write(os.path.join(precious, "vlr753.zip"), b"a mirror file among them")
    before = {name: read(os.path.join(root, name)) for root, _, names in os.walk(precious)
              for name in names}
    code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                       "--out", native(precious), "--force")
    check(code == 3 and "'notes.txt'" in err and "'projects' (a folder)" in err and
          "vlr753.zip'" not in err and "even with --force" in err,
          "a folder holding other files is refused with --force, naming them")
    after = {name: read(os.path.join(root, name)) for root, _, names in os.walk(precious)
             for name in names}
    check(after == before and not leftovers(t.work), "and nothing in it was touched")

    out = os.path.join(t.work, "mirror")
    code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                     "--out", native(out))
    check(code == 0, "make succeeds")
    lookalike = os.path.join(out, ".x.vlrpublish-old-1")
    write(os.path.join(lookalike, "precious.txt"), b"not a mirror's")
    code, _, err = run(t.program, "make", "--version", "7.5.4", "--en", native(en),
                       "--out", native(out), "--force")
    check(code == 3 and "'.x.vlrpublish-old-1' (a folder)" in err and
          read(os.path.join(lookalike, "precious.txt")) == b"not a mirror's",
          "a folder only named like a working folder of ours is foreign: refused, kept")
    shutil.rmtree(lookalike)
    if not WINDOWS:
        os.chmod(out, 0o751)
    code, _, _ = run(t.program, "make", "--version", "7.5.4", "--en", native(en),
                     "--out", native(out), "--force", umask=0o077)
    check(code == 0 and sorted(os.listdir(out)) == ["version.html", "vlr754.zip"],
          "a mirror folder is replaced")
    if not WINDOWS:
        check(stat.S_IMODE(os.stat(out).st_mode) == 0o751,
              "the new mirror folder keeps the old one's mode under umask 077")
        check(stat.S_IMODE(os.stat(os.path.join(out, "vlr754.zip")).st_mode) == 0o640,
              "and its files can be read by whom the folder let read")
    check(not leftovers(t.work), "no working folder is left beside the mirror")


def case_refuse_overlap_by_identity(t):
    """The release folder under another spelling of its parent: a link natively, another
    case under Wine (one folder to Windows)."""
    eng = os.path.join(t.work, "Rel", "Eng")
    english = english_files(eng)
    if WINDOWS:
        out = os.path.join(t.work, "rel")
    else:
        out = os.path.join(t.work, "link")
        os.symlink(os.path.join(t.work, "Rel"), out)
    code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(eng),
                       "--out", native(out), "--force")
    check(code == 3 and "overlap" in err, "the overlap is refused")
    check(folder_bytes(eng) == {n: english[n] for n in sorted(english)},
          "and the release folder is whole")
    code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(eng),
                       "--out", native(os.path.join(out, "ENG" if WINDOWS else "Eng", "m")))
    check(code == 3 and "overlap" in err, "a mirror to be made inside it is refused too")


def case_read_failure_says_why(t):
    """A source file that fails to read: the message carries the system's reason (reading
    this process's own memory at offset 0 fails with EIO)."""
    en = os.path.join(t.work, "en")
    english_files(en)
    os.symlink("/proc/self/mem", os.path.join(en, "secret.dat"))
    out = os.path.join(t.work, "mirror")
    code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                       "--out", native(out))
    check(code == 4 and "cannot read " in err and "secret.dat: Input/output error" in err,
          "the failure names the file and the system's reason")
    check(not os.path.exists(out) and not leftovers(t.work), "nothing was written")


# --- interrupts -----------------------------------------------------------------------

def big_english(root):
    """Random bytes that take zlib a few seconds to try and store."""
    rng = random.Random(11)
    for i in range(3):
        write(os.path.join(root, "big%d.dat" % i), rng.randbytes(32 << 20))


def start(program, *words, env=None):
    """Starts the program with SIGINT at its default (a background job of a shell would
    hand it on ignored)."""
    print("  $ vlrpublish", " ".join(words), "&")
    return subprocess.Popen([program] + list(words), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL),
                            env=env)


def wait_for(condition, what, seconds=60):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise Failure("timed out waiting until " + what)
        time.sleep(0.01)


def stopped(proc):
    with open("/proc/%d/stat" % proc.pid) as f:
        return f.read().rsplit(")", 1)[1].split()[0] == "T"


def first_mirror(t):
    """An English folder and version 7.5.3 made from it into the mirror folder; both
    paths."""
    en = os.path.join(t.work, "en")
    english_files(en)
    out = os.path.join(t.work, "mirror")
    code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                     "--out", native(out))
    check(code == 0, "make succeeds")
    return en, out


def case_interrupt_during_make(t):
    """SIGINT while a package is being written: exit 130, the old mirror as it was, no
    working folder left."""
    en, out = first_mirror(t)
    made = folder_bytes(out)
    big_english(en)
    proc = start(t.program, "make", "--version", "7.5.4", "--en", en, "--out", out, "--force")

    def packing():
        return any(os.path.isfile(os.path.join(t.work, n, "vlr754.zip")) and
                   os.path.getsize(os.path.join(t.work, n, "vlr754.zip")) > 0
                   for n in leftovers(t.work))
    try:
        wait_for(lambda: packing() or proc.poll() is not None, "vlr754.zip is being written")
        check(proc.poll() is None, "make is still packing when interrupted")
        proc.send_signal(signal.SIGINT)
        code = proc.wait(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    check(code == 130, "an interrupted make exits with 130 (got %r)" % code)
    check(folder_bytes(out) == made, "the old mirror is as it was")
    check(not leftovers(t.work), "no working folder is left")


def stopping_env(t, name, exchange=True):
    """The environment in which the library the tests preload stops vlrpublish (SIGSTOP)
    just before it renames or exchanges the path whose name starts with `name`; without
    `exchange`, the system refuses to exchange two folders, as some file systems do."""
    env = dict(os.environ, LD_PRELOAD=t.preload, VLR_STOP_BEFORE_RENAME_OF=name,
               ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
    if not exchange:
        env["VLR_NO_EXCHANGE"] = "1"
    return env


def stopped_in_swap(t, en, out, version, exchange=True):
    """A make of `version` over the mirror `out`, stopped in its swap: just before it
    exchanges the two folders, or, without `exchange`, between its two renames."""
    env = stopping_env(t, "." + os.path.basename(out) + ".vlrpublish-new-", exchange)
    proc = start(t.program, "make", "--version", version, "--en", en, "--out", out, "--force",
                 env=env)
    wait_for(lambda: proc.poll() is not None or stopped(proc), "make stops in the swap")
    check(proc.poll() is None, "make stopped in its swap")
    return proc


def case_interrupt_during_swap(t):
    """A signal in the swap: just before the exchange of the two folders, SIGINT waits
    for it to end, leaving the new mirror whole. Where the file system cannot exchange
    them, between the two renames: SIGINT waits the same; SIGKILL leaves the old mirror
    aside, and the next run puts it back."""
    en, out = first_mirror(t)
    made = folder_bytes(out)

    def swapping(version, sent, exchange):
        proc = stopped_in_swap(t, en, out, version, exchange)
        try:
            check(os.path.exists(out) == exchange,
                  "the old mirror stands before the exchange; none between the two renames")
            proc.send_signal(sent)
            proc.send_signal(signal.SIGCONT)
            return proc.wait(timeout=30)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    for version, exchange in (("7.5.4", True), ("7.5.5", False)):
        code = swapping(version, signal.SIGINT, exchange)
        package = "vlr%s.zip" % version.replace(".", "")
        check(code == 130 and sorted(os.listdir(out)) == ["version.html", package],
              "SIGINT in the swap: exit 130 once the new mirror is in place")
        check(not leftovers(t.work), "and no working folder is left")
    made = folder_bytes(out)

    code = swapping("7.5.6", signal.SIGKILL, False)
    check(code == -signal.SIGKILL and not os.path.exists(out) and leftovers(t.work),
          "SIGKILL in the swap leaves the old mirror aside")
    code, _, err = run(t.program, "make", "--version", "7.5.6", "--en", native(en),
                       "--out", native(out))
    check("put back the mirror folder" in err and code == 3 and "add --force" in err,
          "the next run puts the old mirror back first, and says so")
    check(folder_bytes(out) == made and not leftovers(t.work),
          "the old mirror is whole again, and no working folder is left")


def case_two_makes_at_once(t):
    """A make on a mirror that another make is working on (held in its swap) is refused and touches nothing of the first one's; the first then ends
    well."""
    en, out = first_mirror(t)
    proc = stopped_in_swap(t, en, out, "7.5.4")
    try:
        held = sorted(leftovers(t.work))
        code, _, err = run(t.program, "make", "--version", "7.5.5", "--en", native(en),
                           "--out", native(out), "--force")
        check(code == 3 and "another vlrpublish make or sign is working on" in err,
              "a second make is refused while the first works")
        check(sorted(leftovers(t.work)) == held, "and it touched none of the first one's folders")
        proc.send_signal(signal.SIGCONT)
        code = proc.wait(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    check(code == 0 and sorted(os.listdir(out)) == ["version.html", "vlr754.zip"],
          "the first make ends with its mirror in place")
    check(not leftovers(t.work), "and no working folder or lock is left")


# --- check ----------------------------------------------------------------------------

def checked(t, root_files, expected_code, expected, french=False, key=None, keys=()):
    """check on a mirror serving `root_files` (name -> bytes), with `key` or `keys`;
    gives its report."""
    root = os.path.join(t.work, "root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for name, data in root_files.items():
        write(os.path.join(root, name), data)
    with Mirror(t.mirror, root, t.work) as m:
        words = ["check", m.site + "/"] + (["--fr"] if french else [])
        for k in ([key] if key else []) + list(keys):
            words += ["--key", native(k)]
        code, out, _ = run(t.program, *words)
    check(code == expected_code, "check exits with %d" % expected_code)
    for text in expected:
        check(text in out, "the report says %r" % text)
    return out


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
    files = published(t)
    # The folder make wrote is a folder mirror as it stands.
    made = os.path.join(t.work, "made")
    code, out, _ = run(t.program, "check", native(made) if WINDOWS else "file://" + made)
    check(code == 0 and "would succeed" in out, "check reads the folder make wrote")
    checked(t, files, 0, ["version.html: HTTP 200", "753 -> vlr753fr.zip",
                          "vlr753fr.zip: HTTP 200",
                          "SHA-256 %s, as version.html names it" % sha256(files["vlr753fr.zip"]),
                          "unpacks: yes", "would succeed"], french=True)
    # A genuine package under the other's name: it unpacks, but it is not the one named.
    swapped = dict(files, **{"vlr753fr.zip": files["vlr753.zip"]})
    report = checked(t, swapped, 1, [
        "vlr753fr.zip is not the package version.html names: version.html gives SHA-256 %s, "
        "the mirror's vlr753fr.zip has %s" % (sha256(files["vlr753fr.zip"]),
                                              sha256(files["vlr753.zip"])),
        "incomplete download", "would fail"], french=True)
    check("unpacks:" not in report, "the updater would unpack nothing, and check tries nothing")


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
    checked(t, files, 1, ["vlr753.zip: HTTP 200", "DIFFERS from version.html",
                          "vlr753.zip is not the package version.html names"])
    # Without a digest line only the extraction library can tell; a keyless updater goes on.
    files["version.html"] = without_digests(files["version.html"])
    checked(t, files, 1, ["note: version.html names no digest for vlr753.zip",
                          "unpacks: no", "vlr753.zip would not unpack"])


# --- signatures -----------------------------------------------------------------------

KEYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "signing", "keys")


def case_signed_mirror(t):
    """make --sign signs version.html only (the Linux build; the Windows build refuses and
    the publisher signs with openssl), and check --key judges it as a signed updater."""
    en = os.path.join(t.work, "en")
    english_files(en)
    out = os.path.join(t.work, "made")
    key = os.path.join(KEYS, "test_private.pem")
    public = os.path.join(KEYS, "test_public.pem")

    def openssl_sign(path):
        subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-out", path + ".sig", path],
                       check=True)

    code, report, err = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                            "--out", native(out), "--sign", native(key))
    if WINDOWS:
        check(code == 3 and "cannot sign" in err and not os.path.exists(out),
              "the Windows build refuses to sign and writes nothing")
        code, _, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en),
                         "--out", native(out))
        check(code == 0, "make succeeds without --sign")
        openssl_sign(os.path.join(out, "version.html"))
    else:
        check(code == 0 and "signed: version.html.sig only" in report, "make --sign succeeds")
    files = folder_bytes(out)
    check(sorted(files) == ["version.html", "version.html.sig", "vlr753.zip"],
          "the mirror holds version.html, its signature and the package")
    report = checked(t, files, 0, ["version.html.sig: HTTP 200", "signature good",
                                   "as version.html names it", "unpacks: yes"], key=public)
    check(".zip.sig" not in report, "check --key fetches no package signature")
    checked(t, files, 1, ["version.html.sig is no signature of version.html by this key"],
            key=os.path.join(KEYS, "other_public.pem"))

    # The publishers' recipe for a mirror made by hand, run as it stands on pages whose
    # last line ends in CR LF, CR, LF alone or nothing: check --key passes on each.
    recipe = doc_blocks.marked(os.path.join(HERE, "..", "..", "docs", "publishers.md"),
                               "hand-mirror").text
    hand = os.path.join(t.work, "hand")
    home = os.path.join(t.work, "home")  # the key where the README keeps it, outside the mirror
    os.makedirs(os.path.join(home, "vlr-keys"))
    shutil.copy(key, os.path.join(home, "vlr-keys", "private.pem"))
    for page in (b"<p>7.5.3</p>\r\n", b"<p>7.5.3</p>\r", b"<p>\n7.5.3</p>\n", b"7.5.3"):
        shutil.rmtree(hand, ignore_errors=True)
        write(os.path.join(hand, "version.html"), page)
        write(os.path.join(hand, "vlr753.zip"), files["vlr753.zip"])
        subprocess.run(["bash", "-e", "-c", recipe], cwd=hand, check=True,
                       env=dict(os.environ, HOME=home))
        made = {n: read(os.path.join(hand, n))
                for n in ("version.html", "version.html.sig", "vlr753.zip")}
        checked(t, made, 0, ["signature good", "as version.html names it", "(Version 7.5.3)"],
                key=public)

    # A version file signed without its digest line: a signed updater stops before the
    # package; a keyless one goes on.
    bare = os.path.join(t.work, "bare.html")
    write(bare, without_digests(files["version.html"]))
    openssl_sign(bare)
    files = dict(files, **{"version.html": read(bare), "version.html.sig": read(bare + ".sig")})
    report = checked(t, files, 1, ["signature good",
                                   "version.html names no digest for vlr753.zip"], key=public)
    check("vlr753.zip: HTTP" not in report, "and the package is not fetched")


# --- expiry, re-signing, several keys -------------------------------------------------

def expiry_line(day):
    return b"<!-- expires %s -->\r\n" % day.isoformat().encode()


def verifies(page, signature, public):
    """openssl's verdict on a version file and its signature."""
    with tempfile.TemporaryDirectory() as d:
        write(os.path.join(d, "p"), page)
        write(os.path.join(d, "s"), signature)
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", os.path.join(KEYS, public),
                               "-signature", os.path.join(d, "s"), os.path.join(d, "p")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def sign_working_folders(out):
    return [n for n in os.listdir(out) if n.startswith(".version.html.vlrpublish-sign-")]


def case_make_expiry_and_resign(t):
    """make --expires-in writes the expiry line; sign writes a new one (or removes it)
    and a new signature, keeping every other byte and the packages, and refuses a folder
    whose package is not the one its line names. Killed between its two renames, it
    leaves the new version.html with the old signature, which the next sign mends. The
    Windows build signs nothing: sign refuses and changes nothing."""
    today = utc_today()
    en = os.path.join(t.work, "en")
    english_files(en)
    out = os.path.join(t.work, "made")
    day30 = today + datetime.timedelta(days=30)
    code, report, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en), "--out",
                          native(out), "--expires-in", "30",
                          *([] if WINDOWS else ["--sign", native(os.path.join(KEYS, "test_private.pem"))]))
    check(code == 0 and "version.html expires on %s (UTC)" % day30 in report, "make succeeds")
    page = read(os.path.join(out, "version.html"))
    check(page.endswith(b"\r\n\r\n" + digest_lines(out, "vlr753.zip") + expiry_line(day30)),
          "version.html ends with the empty line, the digest line and the expiry line")
    made = folder_bytes(out)
    resign = ["sign", native(out), "--key", native(os.path.join(KEYS, "other_private.pem"))]
    if WINDOWS:
        code, _, err = run(t.program, *resign, "--expires-in", "3")
        check(code == 3 and "cannot sign" in err and folder_bytes(out) == made,
              "the Windows build refuses to sign and changes nothing")
        return
    check(verifies(page, made["version.html.sig"], "test_public.pem"), "signed with the test key")

    # Without --expires-in or --no-expiry the expiry line is never dropped unasked.
    code, _, err = run(t.program, *resign)
    check(code == 3 and "version.html expires on %s: give --expires-in DAYS" % day30 in err and
          "--no-expiry" in err and folder_bytes(out) == made,
          "sign without --expires-in on an expiring mirror is refused, naming both flags")
    day3 = today + datetime.timedelta(days=3)
    for words, expected in ((["--expires-in", "3"], page.replace(expiry_line(day30), expiry_line(day3))),
                            (["--no-expiry"], page.replace(expiry_line(day30), b""))):
        code, report, _ = run(t.program, *resign, *words)
        now = folder_bytes(out)
        check(code == 0 and now["version.html"] == expected,
              "sign %s: only the expiry line changed" % " ".join(words))
        check(verifies(expected, now["version.html.sig"], "other_public.pem"),
              "and version.html is signed with the other key")
        check(now["vlr753.zip"] == made["vlr753.zip"] and not sign_working_folders(out),
              "the package is as it was, and no working folder is left")

    # Without an expiry line, sign needs neither flag.
    code, _, _ = run(t.program, *resign)
    check(code == 0 and read(os.path.join(out, "version.html")) == page.replace(expiry_line(day30), b""),
          "sign of a mirror without an expiry line needs no flag")
    # Version files written by hand: only the expiry lines after the empty line change.
    lines = digest_lines(out, "vlr753.zip")
    for hand, expected in (
            (b"7.5.3\r\n\r\n" + lines.replace(b"\r\n", b"\n") + b"<!-- expires 2000-01-01 -->",
             b"7.5.3\r\n\r\n" + lines.replace(b"\r\n", b"\n") + expiry_line(day3)),
            (b"<!-- expires 2000-01-01 -->\r\n7.5.3\r\n\r\n" + lines + b" <!-- expires 2001-02-03 -->\r\n",
             b"<!-- expires 2000-01-01 -->\r\n7.5.3\r\n\r\n" + lines + expiry_line(day3))):
        write(os.path.join(out, "version.html"), hand)
        code, _, _ = run(t.program, *resign, "--expires-in", "3")
        check(code == 0 and read(os.path.join(out, "version.html")) == expected,
              "a version file written by hand keeps every byte but its expiry line")

    before = folder_bytes(out)
    write(os.path.join(out, "vlr753.zip"), made["vlr753.zip"] + b"\0")
    code, _, err = run(t.program, *resign)
    check(code == 3 and "vlr753.zip is not the package version.html names" in err,
          "a package that is not the one its line names is refused")
    write(os.path.join(out, "vlr753.zip"), made["vlr753.zip"])
    check(folder_bytes(out) == before, "and nothing was changed")

    env = stopping_env(t, "version.html.sig")
    day4 = today + datetime.timedelta(days=4)
    proc = start(t.program, *resign, "--expires-in", "4", env=env)
    try:
        wait_for(lambda: proc.poll() is not None or stopped(proc), "sign stops between its renames")
        check(proc.poll() is None, "sign stopped between the two renames")
        proc.send_signal(signal.SIGKILL)
        proc.wait(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    killed = {n: read(os.path.join(out, n)) for n in ("version.html", "version.html.sig")}
    check(killed["version.html"].endswith(expiry_line(day4)) and
          not verifies(killed["version.html"], killed["version.html.sig"], "other_public.pem") and
          sign_working_folders(out), "killed there: the new version.html with the old signature")
    code, _, err = run(t.program, *resign, "--expires-in", "4")
    now = folder_bytes(out)
    check(code == 0 and "removed 1 of 1 working folder(s)" in err and not sign_working_folders(out),
          "the next sign removes the working folder")
    check(verifies(now["version.html"], now["version.html.sig"], "other_public.pem"),
          "and leaves a pair that holds")


def case_check_two_keys_and_expiry(t):
    """check with two keys takes a version file signed by either; with keys, it fails on
    one that expired yesterday (before fetching the package) and warns, still passing,
    on one that expires within 7 days; a later expiry gets no warning."""
    today = utc_today()
    files = published(t)
    public = [os.path.join(KEYS, n) for n in ("test_public.pem", "other_public.pem")]

    def served(expires, key):
        page = files["version.html"] + (expiry_line(expires) if expires else b"")
        with tempfile.TemporaryDirectory() as d:
            write(os.path.join(d, "p"), page)
            subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(KEYS, key),
                            "-out", os.path.join(d, "s"), os.path.join(d, "p")], check=True)
            return dict(files, **{"version.html": page, "version.html.sig": read(os.path.join(d, "s"))})

    def day(n):
        return today + datetime.timedelta(days=n)

    report = checked(t, served(None, "other_private.pem"), 0,
                     ["signature good, by the key in %s" % native(public[1]), "would succeed"],
                     keys=public)
    checked(t, served(None, "other_private.pem"), 1,
            ["version.html.sig is no signature of version.html by this key"], keys=public[:1])
    checked(t, served(None, "third_private.pem"), 1,
            ["version.html.sig is no signature of version.html by any of these keys"], keys=public)
    report = checked(t, served(day(-1), "test_private.pem"), 1,
                     ["version file expired on %s (today %s)" % (day(-1), today), "would fail"],
                     keys=public)
    check("vlr753.zip: HTTP" not in report, "the expired version file stops the check before the package")
    for n, when in ((0, "today"), (7, "in 7 day(s)")):
        checked(t, served(day(n), "test_private.pem"), 0,
                ["warning: version.html expires on %s, %s" % (day(n), when), "would succeed"],
                keys=public)
    report = checked(t, served(day(8), "test_private.pem"), 0, ["expires: %s" % day(8)], keys=public)
    check("warning" not in report, "no warning 8 days ahead")


def case_two_signatures_and_key_rules(t):
    """A change of keys: make and sign with two keys write version.html.sig (first key)
    and version.html.sig2 (second); sign with one key removes the .sig2. check, as an
    updater, reads the .sig2 when the .sig does not verify with its keys; it refuses a
    list of keys a build refuses (five keys, one key twice) and warns about expiry lines
    the updater ignores."""
    test_key, other_key = (os.path.join(KEYS, n) for n in ("test_private.pem", "other_private.pem"))
    public = [os.path.join(KEYS, n) for n in ("test_public.pem", "other_public.pem", "third_public.pem")]
    files = published(t)
    if not WINDOWS:
        en = os.path.join(t.work, "en")
        out = os.path.join(t.work, "two")
        code, report, _ = run(t.program, "make", "--version", "7.5.3", "--en", native(en), "--out",
                              native(out), "--sign", native(test_key), "--sign", native(other_key))
        made = folder_bytes(out)
        check(code == 0 and "signed again: version.html.sig2" in report and
              verifies(made["version.html"], made["version.html.sig"], "test_public.pem") and
              verifies(made["version.html"], made["version.html.sig2"], "other_public.pem"),
              "make --sign A --sign B: version.html.sig by A, version.html.sig2 by B")
        code, _, err = run(t.program, "make", "--version", "7.5.3", "--en", native(en), "--out",
                           native(out), "--force", "--sign", native(test_key), "--sign", native(test_key))
        check(code == 3 and "one key" in err, "the same key twice is refused")
        code, report, _ = run(t.program, "sign", native(out), "--key", native(other_key))
        now = folder_bytes(out)
        check(code == 0 and "version.html.sig2" not in now and "removed: version.html.sig2" in report and
              verifies(now["version.html"], now["version.html.sig"], "other_public.pem"),
              "sign with one key removes the second signature")
        code, _, _ = run(t.program, "sign", native(out), "--key", native(test_key), "--key", native(other_key))
        now = folder_bytes(out)
        check(code == 0 and verifies(now["version.html"], now["version.html.sig2"], "other_public.pem"),
              "sign with two keys writes both again")
        files = dict(files, **{n: now[n] for n in ("version.html", "version.html.sig", "version.html.sig2")})
    else:
        page = files["version.html"]
        with tempfile.TemporaryDirectory() as d:
            write(os.path.join(d, "p"), page)
            for key, sig in ((test_key, "s1"), (other_key, "s2")):
                subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, "-out",
                                os.path.join(d, sig), os.path.join(d, "p")], check=True)
            files = dict(files, **{"version.html.sig": read(os.path.join(d, "s1")),
                                   "version.html.sig2": read(os.path.join(d, "s2"))})
    checked(t, files, 0, ["version.html.sig: HTTP 200", "signature good"], keys=public[:1])
    report = checked(t, files, 0, ["version.html.sig2: HTTP 200", "signature good",
                                   "would succeed"], keys=public[1:2])
    check("signature WRONG" in report, "the first signature is reported as not by that key")
    checked(t, files, 1, ["version.html.sig2 is no signature of version.html by this key",
                          "would fail"], keys=public[2:])
    twice = os.path.join(t.work, "same_key.pem")
    shutil.copyfile(public[0], twice)
    checked(t, files, 4, ["is the same key as", "a build refuses that list of keys"],
            keys=[public[0], twice])
    five = []
    for n in range(5):
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out",
                        os.path.join(t.work, "k%d.pem" % n)], check=True)
        subprocess.run(["openssl", "ec", "-in", os.path.join(t.work, "k%d.pem" % n), "-pubout",
                        "-out", os.path.join(t.work, "p%d.pem" % n)], check=True,
                       stderr=subprocess.DEVNULL)
        five.append(os.path.join(t.work, "p%d.pem" % n))
    checked(t, files, 4, ["5 keys given; a build trusts one to 4"], keys=five)
    # Lines meant as the expiry line that the updater ignores: each named.
    # The early one stands first, so that the version's digits stay the last three.
    misses = [b"<!-- EXPIRES 2027-01-07 -->", b"<!--  expires 2027-01-07 -->",
              b"<!-- expires 2027-02-29 -->"]
    near = (b"<!-- expires 2027-01-07 -->\r\n" + files["version.html"] +
            b"\r\n".join(misses) + b"\r\n")
    report = checked(t, {"version.html": near, "vlr753.zip": files["vlr753.zip"]}, 0,
                     ["would succeed"])
    for line in [b"<!-- expires 2027-01-07 -->"] + misses:
        check('"%s", is no expiry line' % line.decode() in report, "check warns about %r" % line)
    check("before the first empty line" in report, "and says why for the early one")


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    global WINDOWS
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--mirror", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--preload", help="the library that stops vlrpublish in a rename")
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    WINDOWS = args.program.lower().endswith(".exe")
    t = argparse.Namespace(program=args.program, mirror=args.mirror, preload=args.preload,
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
