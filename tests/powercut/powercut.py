#!/usr/bin/env python3
"""Power cuts under a real kernel: ext4 on a loop device, mounted with commit=1, once
with the defaults and once with noauto_da_alloc (no quiet flush of a file renamed over
another: it stands in for file systems without that safeguard). A process runs with
cut_preload.so, which kills it just before its Nth rename, link, unlink, mkdir, rmdir,
fsync or fdatasync; the journal is then made to commit what the process had done (what
the commit timer does a second later), and the file system is shut down without
flushing its log or the files' unwritten data (EXT4_IOC_SHUTDOWN, NOLOGFLUSH), then
mounted again: what a power cut at that moment leaves.

    powercut.py extract|update|publish --bin BIN_DIR --preload cut_preload.so
                [--points N] [--no-fsync --expect-failure]

extract: an extraction through the library (one worker and the default), checked
    before any recovery, after a second cut during the recovery, and after it; and a
    success followed at once by a cut.
update:  the update run of the wizard (headless window system), recovered by the next
    start; the installed-version record, the package and the run folder.
publish: vlrpublish make into an existing mirror, and sign.

--no-fsync makes fsync and fdatasync do nothing; with --expect-failure the run passes
only when a check then fails (the test's proof that it can). Exit 77: the machine
cannot run it (not root, no loop device, no ext4 tools), said on one line.
"""

import argparse
import ctypes
import fcntl
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

SKIP = 77
EXT4_IOC_SHUTDOWN = 0x8004587D
EXT4_GOING_FLAGS_NOLOGFLUSH = 2
MODES = ("commit=1", "commit=1,noauto_da_alloc")
WORK_PREFIX = ".~uz32-"
LOCK_NAME = ".~uz32-lock"
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


class CheckFailed(Exception):
    """A state the product promises never to leave."""


def skip(why):
    print("SKIPPED: power-cut test: " + why, flush=True)
    sys.exit(SKIP)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, **kw).stdout


class Disk:
    """An ext4 image on a loop device, mounted in a folder of this run's own; whatever
    happens, close() unmounts it and frees the device."""

    def __init__(self, work):
        self.work = work
        self.image_folder = None
        self.dev = None
        self.mounted = False
        self.mnt = os.path.join(work, "mnt")
        self.options = MODES[0]

    def setup(self):
        work = self.work
        # On tmpfs the loop device's flushes cost nothing: the cut, not the disk
        # under the image, is what is tested.
        shm = "/dev/shm"
        where = work
        if os.path.isdir(shm) and os.access(shm, os.W_OK):
            where = tempfile.mkdtemp(prefix="vlr-powercut-", dir=shm)
        self.image_folder = where if where != work else None
        self.image = os.path.join(where, "disk.img")
        os.mkdir(self.mnt)
        with open(self.image, "wb") as f:
            f.truncate(64 << 20)
        run(["mkfs.ext4", "-q", "-F", self.image])
        try:
            self.dev = run(["losetup", "-f", "--show", self.image]).strip()
        except (subprocess.CalledProcessError, OSError) as e:
            skip("no loop device (%s)" % str(getattr(e, "stderr", e)).strip())

    def mount(self, options=None):
        self.options = options or self.options
        run(["mount", "-t", "ext4", "-o", self.options, self.dev, self.mnt])
        self.mounted = True

    def unmount(self, lazy=False):
        if self.mounted:
            subprocess.run(["umount", self.mnt], check=False, stderr=subprocess.DEVNULL)
            if os.path.ismount(self.mnt):
                if not lazy:
                    # Mounted again, the shut-down file system would come back as it is.
                    raise RuntimeError("cannot unmount %s: something holds it" % self.mnt)
                subprocess.run(["umount", "-l", self.mnt], check=False)
            self.mounted = False

    def sync(self):
        """Writes the whole file system out (an untimed sync of this mount only)."""
        fd = os.open(self.mnt, os.O_RDONLY | os.O_DIRECTORY)
        try:
            if ctypes.CDLL(None, use_errno=True).syncfs(fd) != 0:
                raise OSError(ctypes.get_errno(), "syncfs")
        finally:
            os.close(fd)

    def cut(self, commit=True):
        """The power goes: with commit, after the journal committed what was done."""
        marker = os.path.join(self.mnt, ".marker")
        if commit:
            # A metadata change and its fsync make jbd2 commit the running transaction
            # (every name change made so far); data not yet written stays unwritten.
            fd = os.open(marker, os.O_WRONLY | os.O_CREAT, 0o644)
            os.fchmod(fd, 0o600 if os.fstat(fd).st_mode & 0o044 else 0o644)
            os.fsync(fd)
            os.close(fd)
        fd = os.open(self.mnt, os.O_RDONLY | os.O_DIRECTORY)
        try:
            fcntl.ioctl(fd, EXT4_IOC_SHUTDOWN, EXT4_GOING_FLAGS_NOLOGFLUSH.to_bytes(4, "little"))
        finally:
            os.close(fd)
        self.unmount()
        self.mount()

    def close(self):
        self.unmount(lazy=True)
        if self.dev:
            subprocess.run(["losetup", "-d", self.dev], check=False)
            self.dev = None
        if self.image_folder:
            shutil.rmtree(self.image_folder, ignore_errors=True)
            self.image_folder = None


class Cutter:
    """Runs a program under the preload, counting its calls or cut at one."""

    def __init__(self, preload, work, no_fsync):
        self.preload = preload
        self.count_file = os.path.join(work, "count")
        self.no_fsync = no_fsync

    def env(self, at, extra):
        env = dict(os.environ)
        env.update(extra or {})
        env["LD_PRELOAD"] = self.preload
        env["POWERCUT_AT"] = str(at)
        env["POWERCUT_COUNT"] = self.count_file
        env.pop("POWERCUT_NO_FSYNC", None)
        if self.no_fsync:
            env["POWERCUT_NO_FSYNC"] = "1"
        return env

    def count(self, cmd, extra=None):
        """Runs cmd to its end; returns (exit status, calls made)."""
        rc = subprocess.run(cmd, env=self.env(0, extra), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE).returncode
        with open(self.count_file) as f:
            return rc, int(f.read().split()[0] or 0)

    def cut_at(self, n, cmd, extra=None):
        """Runs cmd until its nth call; True when it was cut there."""
        rc = subprocess.run(cmd, env=self.env(n, extra), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode
        return rc == -signal.SIGKILL


def spread(total, points):
    """Every call from 1 to total, or `points` of them evenly spread, first and last in."""
    if total <= points:
        return list(range(1, total + 1))
    return sorted({1 + round(i * (total - 1) / (points - 1)) for i in range(points)})


def contents(folder, skip_names=()):
    """name -> bytes of every entry in folder (a folder entry maps to None)."""
    out = {}
    for name in os.listdir(folder):
        if name in skip_names:
            continue
        path = os.path.join(folder, name)
        if os.path.isdir(path) and not os.path.islink(path):
            out[name] = None
        else:
            with open(path, "rb") as f:
                out[name] = f.read()
    return out


def blob(name, version, size):
    rnd = random.Random("%s/%s" % (name, version))
    return bytes(rnd.getrandbits(8) for _ in range(size))


def write_files(folder, files):
    if os.path.lexists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def make_zip(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in sorted(files.items()):
            z.writestr(zipfile.ZipInfo(name, (2026, 12, 1, 12, 0, 0)), data)


def describe(state, old, new):
    diff = []
    for name in sorted(set(state) | set(old) | set(new)):
        got = state.get(name, "missing")
        want = "old" if got == old.get(name) else "new" if got == new.get(name) else None
        if want is None:
            size = "missing" if got == "missing" else "%d bytes" % len(got or b"")
            diff.append("%s: %s" % (name, size))
    return ", ".join(diff[:6]) or "(mixed old and new)"


class Versions:
    """The old folder and what a whole update makes of it."""

    def __init__(self, names_kept, names_replaced, names_added, sizes):
        self.old = {}
        self.package = {}
        for i, name in enumerate(names_kept + names_replaced):
            self.old[name] = blob(name, "old", sizes[i % len(sizes)])
        for i, name in enumerate(names_replaced + names_added):
            self.package[name] = blob(name, "new", sizes[(i + 3) % len(sizes)])
        self.new = dict(self.old)
        self.new.update(self.package)

    def check_whole(self, state, when):
        """Before any recovery: every old name there, every file whole old or whole new."""
        for name, data in state.items():
            if name.startswith(WORK_PREFIX):
                continue
            if name not in self.new:
                raise CheckFailed("%s: an unknown file %s" % (when, name))
            if data != self.old.get(name) and data != self.new[name]:
                raise CheckFailed("%s: %s is neither the old nor the new file (%s)"
                                  % (when, name, "%d bytes" % len(data or b"")))
        for name in self.old:
            if name not in state:
                raise CheckFailed("%s: %s is missing" % (when, name))

    def which(self, state, when):
        """After recovery: exactly all old or all new, and no working file."""
        work = sorted(n for n in state if n.startswith(WORK_PREFIX))
        if work:
            raise CheckFailed("%s: working files left: %s" % (when, ", ".join(work)))
        if state == self.old:
            return "old"
        if state == self.new:
            return "new"
        raise CheckFailed("%s: neither all old nor all new: %s"
                          % (when, describe(state, self.old, self.new)))


SIZES = [0, 1, 700, 4096, 4097, 9000, 20000, 70000]


def extraction_versions():
    kept = ["readme-old.txt"]
    replaced = ["veloran%02d.dat" % i for i in range(14)]
    added = ["added%02d.dat" % i for i in range(4)]
    return Versions(kept, replaced, added, SIZES)


def folder_state(folder):
    return contents(folder, skip_names=(LOCK_NAME,))


def scenario_extract(disk, cutter, args, work, log):
    v = extraction_versions()
    archive = os.path.join(work, "package.zip")
    make_zip(archive, v.package)
    tool = os.path.join(args.bin, "uz32_extract")
    folder = os.path.join(disk.mnt, "veloran")
    extract = [tool, archive, folder]
    recover = [tool, "--recover", folder]
    copy = os.path.join(work, "copy")
    for options in MODES:
        disk.unmount()
        disk.mount(options)
        for workers in ("1", None):
            env = {"UZ32_WORKERS": workers} if workers else {}
            if not workers:
                os.environ.pop("UZ32_WORKERS", None)
            label = "%s, %s worker(s)" % (options, workers or "default")
            write_files(folder, v.old)
            disk.sync()
            rc, total = cutter.count(extract, env)
            if rc != 0:
                raise RuntimeError("the uncut extraction failed: %d" % rc)
            ends = {"old": 0, "new": 0}
            recovery_cuts = 0
            points = spread(total, args.points)
            for i, at in enumerate(points):
                write_files(folder, v.old)
                disk.sync()
                cutter.cut_at(at, extract, env)
                disk.cut()
                when = "%s, cut before call %d of %d" % (label, at, total)
                v.check_whole(folder_state(folder), when + ", before recovery")
                if os.path.exists(os.path.join(folder, ".~uz32-commit.journal")) and i % 2 == 0:
                    # A second cut, during the recovery: counted on a copy first.
                    if os.path.exists(copy):
                        shutil.rmtree(copy)
                    shutil.copytree(folder, copy, symlinks=True)
                    _, calls = cutter.count([tool, "--recover", copy])
                    if calls > 0:
                        second = 1 + (i // 2) % calls
                        cutter.cut_at(second, recover)
                        disk.cut()
                        recovery_cuts += 1
                        v.check_whole(folder_state(folder), when + ", recovery cut at %d of %d"
                                      % (second, calls))
                if subprocess.run(recover).returncode != 0:
                    raise CheckFailed(when + ": the recovery failed")
                ends[v.which(folder_state(folder), when + ", after recovery")] += 1
            # A run that returned success, then the power goes at once.
            write_files(folder, v.old)
            disk.sync()
            rc, _ = cutter.count(extract, env)
            disk.cut(commit=False)
            when = label + ", success then a cut"
            if rc != 0:
                raise RuntimeError(when + ": the extraction failed: %d" % rc)
            if v.which(folder_state(folder), when + " (before any recovery)") != "new":
                raise CheckFailed(when + ": the old files came back")
            log("%s: %d calls, %d cut points (%d ended all old, %d all new), %d second cuts "
                "during recovery; success then cut: all new" %
                (label, total, len(points), ends["old"], ends["new"], recovery_cuts))


def read_record(folder):
    path = os.path.join(folder, "vlrupdate.installed")
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def scenario_update(disk, cutter, args, work, log):
    v = extraction_versions()
    root = os.path.join(work, "site")
    os.makedirs(os.path.join(root, "m"))
    make_zip(os.path.join(root, "m", "vlr753.zip"), v.package)
    digest = hashlib.sha256(open(os.path.join(root, "m", "vlr753.zip"), "rb").read()).hexdigest()
    with open(os.path.join(root, "m", "version.html"), "wb") as f:
        f.write(b"<p>Veloran 7.5.3</p>\r\n\r\n<!-- sha256 vlr753.zip %s -->\r\n" % digest.encode())
    mirror = [sys.executable, os.path.join(SOURCE, "tools", "mirror", "mirror.py")]
    pid_file = os.path.join(work, "mirror.pid")
    port_file = os.path.join(work, "mirror.port")
    run(mirror + ["--daemon", "--root", root, "--port", "0", "--port-file", port_file,
                  "--pid-file", pid_file, "--log", os.path.join(work, "mirror.log"),
                  "--max-seconds", "600", "--max-requests", "5000"])
    try:
        site = "127.0.0.1:%s/m/" % open(port_file).read().strip()
        tool = os.path.join(args.bin, "update_bench")
        library = os.path.join(args.bin, "libunzip32.so")
        folder = os.path.join(disk.mnt, "veloran")
        temp = os.path.join(disk.mnt, "tmp")
        env = {"TMPDIR": temp}
        old_record, new_record = b"752\r\n", b"753\r\n"
        with open(library, "rb") as f:
            library_bytes = f.read()
        skip_names = (LOCK_NAME, "libunzip32.so", "vlrupdate.installed", ".vlrupdate.lock")

        def fresh():
            write_files(folder, v.old)
            with open(os.path.join(folder, "libunzip32.so"), "wb") as f:
                f.write(library_bytes)
            os.chmod(os.path.join(folder, "libunzip32.so"), 0o755)
            with open(os.path.join(folder, "vlrupdate.installed"), "wb") as f:
                f.write(old_record)
            if os.path.exists(temp):
                shutil.rmtree(temp)
            os.makedirs(temp)
            disk.sync()

        def check_record(when, files_new):
            record = read_record(folder)
            if record not in (old_record, new_record):
                raise CheckFailed("%s: the record is %r" % (when, record))
            if record == new_record and not files_new:
                raise CheckFailed(when + ": the record names the new version while files are old")

        def state():
            return contents(folder, skip_names=skip_names)

        for options in MODES:
            disk.unmount()
            disk.mount(options)
            fresh()
            rc, total = cutter.count([tool, folder, site], env)
            if rc != 0:
                raise RuntimeError("the uncut update run failed")
            ends = {"old": 0, "new": 0}
            points = spread(total, args.points)
            for at in points:
                fresh()
                cutter.cut_at(at, [tool, folder, site], env)
                disk.cut()
                when = "%s, update cut before call %d of %d" % (options, at, total)
                s = state()
                whole = {n: d for n, d in s.items() if not n.startswith("vlrupdate.installed")}
                v.check_whole(whole, when + ", before the next start")
                check_record(when + ", before the next start",
                             all(s.get(n) == d for n, d in v.new.items()))
                subprocess.run([tool, "--start", folder], env=dict(os.environ, **env), check=True,
                               stdout=subprocess.DEVNULL)
                s = {n: d for n, d in state().items() if n != "vlrupdate.installed.new"}
                end = v.which(s, when + ", after the next start")
                check_record(when + ", after the next start", end == "new")
                ends[end] += 1
                if subprocess.run([tool, folder, site], env=dict(os.environ, **env),
                                  stdout=subprocess.DEVNULL).returncode != 0:
                    raise CheckFailed(when + ": the next update run failed")
                left = sorted(os.listdir(temp)) + sorted(
                    n for n in os.listdir(folder) if n.startswith(WORK_PREFIX) and n != LOCK_NAME
                    or n == "vlrupdate.installed.new")
                if left:
                    raise CheckFailed(when + ": the next run left " + ", ".join(left))
                if v.which(state(), when + ", after the next run") != "new" or \
                        read_record(folder) != new_record:
                    raise CheckFailed(when + ": the next run did not install the new version")
            fresh()
            if subprocess.run([tool, folder, site], env=dict(os.environ, **env),
                              stdout=subprocess.DEVNULL).returncode != 0:
                raise RuntimeError("the update run failed")
            disk.cut(commit=False)
            when = options + ", update success then a cut"
            if v.which(state(), when) != "new" or read_record(folder) != new_record:
                raise CheckFailed(when + ": not all new")
            log("%s: update run of %d calls, %d cut points (%d ended old, %d new after the next "
                "start); success then cut: all new" %
                (options, total, len(points), ends["old"], ends["new"]))
    finally:
        subprocess.run(mirror + ["--stop", "--pid-file", pid_file], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tree(folder):
    """relative path -> bytes (None for a folder) of everything below folder."""
    out = {}
    for base, dirs, files in os.walk(folder):
        for d in dirs:
            out[os.path.relpath(os.path.join(base, d), folder)] = None
        for name in files:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, folder)] = f.read()
    return out


def scenario_publish(disk, cutter, args, work, log):
    tool = os.path.join(args.bin, "vlrpublish")
    keys = os.path.join(SOURCE, "tests", "signing", "keys")
    private, public = os.path.join(keys, "test_private.pem"), os.path.join(keys, "test_public.pem")
    sources = {}
    for version in ("752", "753"):
        sources[version] = os.path.join(work, "src" + version)
        files = {"veloran%02d.dat" % i: blob("p%d" % i, version, SIZES[i % 6])
                 for i in range(8)}
        write_files(sources[version], files)
        stamp = 1764590400
        for name in files:
            os.utime(os.path.join(sources[version], name), (stamp, stamp))
    pub = os.path.join(disk.mnt, "pub")
    mirror_dir = os.path.join(pub, "mirror")

    def make(version, out, sign=True):
        cmd = [tool, "make", "--version", ".".join(version), "--en", sources[version],
               "--out", out, "--force"]
        return cmd + (["--sign", private] if sign else [])

    # The two mirrors as make leaves them (the signature aside: ECDSA signs anew each time).
    refs = {}
    for version in ("752", "753"):
        out = os.path.join(work, "ref" + version)
        run(make(version, out, sign=False))
        refs[version] = tree(out)

    def verify(page, sig):
        with tempfile.NamedTemporaryFile() as p, tempfile.NamedTemporaryFile() as s:
            p.write(page), p.flush(), s.write(sig), s.flush()
            return subprocess.run(["openssl", "dgst", "-sha256", "-verify", public, "-signature",
                                   s.name, p.name], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode == 0

    def which_mirror(when):
        if not os.path.isdir(mirror_dir):
            raise CheckFailed(when + ": the mirror folder is missing")
        t = tree(mirror_dir)
        sig = t.pop("version.html.sig", None)
        for version, ref in refs.items():
            if t == ref:
                if sig is None or not verify(t["version.html"], sig):
                    raise CheckFailed(when + ": the %s mirror's signature is not whole" % version)
                return version
        raise CheckFailed("%s: the mirror is neither the old nor the new one whole: %s" % (
            when, describe(t, refs["752"], refs["753"])))

    def leftovers():
        return sorted(n for n in os.listdir(pub) if n not in ("mirror", ".mirror.vlrpublish-lock"))

    # The mirrors a cut run starts from, made once and copied in.
    signed = {}
    for version in ("752", "753"):
        signed[version] = os.path.join(work, "signed" + version)
        run(make(version, signed[version]))

    def fresh(version="752"):
        if os.path.exists(pub):
            shutil.rmtree(pub)
        os.makedirs(pub)
        shutil.copytree(signed[version], mirror_dir)
        disk.sync()

    root_pid = os.path.join(work, "pub.pid")
    port_file = os.path.join(work, "pub.port")
    mirror = [sys.executable, os.path.join(SOURCE, "tools", "mirror", "mirror.py")]
    for options in MODES:
        disk.unmount()
        disk.mount(options)
        fresh()
        rc, total = cutter.count(make("753", mirror_dir))
        if rc != 0:
            raise RuntimeError("the uncut make failed")
        ends = {"752": 0, "753": 0}
        nexts = 0
        points = spread(total, args.points)
        for i, at in enumerate(points):
            fresh()
            cutter.cut_at(at, make("753", mirror_dir))
            disk.cut()
            when = "%s, make cut before call %d of %d" % (options, at, total)
            ends[which_mirror(when)] += 1
            # The next make clears what the cut one left (a make costs: not after
            # every cut that left nothing).
            if not leftovers() and i % 4:
                continue
            nexts += 1
            if subprocess.run(make("753", mirror_dir), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode != 0:
                raise CheckFailed(when + ": the next make failed")
            if which_mirror(when + ", after the next make") != "753" or leftovers():
                raise CheckFailed(when + ": the next make left " + ", ".join(leftovers()))
        log("%s: make of %d calls, %d cut points (%d left the old mirror, %d the new; the next "
            "make after %d of them)" % (options, total, len(points), ends["752"], ends["753"], nexts))

        # sign: the 7.5.3 mirror signed anew with an expiry line.
        # check reads what a copy of the mirror serves: nothing may hold the mount.
        served = os.path.join(work, "served")
        os.makedirs(served, exist_ok=True)
        subprocess.run(mirror + ["--daemon", "--root", served, "--port", "0", "--port-file",
                                 port_file, "--pid-file", root_pid, "--log",
                                 os.path.join(work, "pub.log"), "--max-seconds", "600",
                                 "--max-requests", "5000"], check=True, stdout=subprocess.DEVNULL)
        try:
            site = "127.0.0.1:%s/mirror/" % open(port_file).read().strip()
            sign = [tool, "sign", mirror_dir, "--key", private, "--expires-in", "30"]
            check = [tool, "check", site, "--key", public]

            def fresh_signed():
                fresh("753")

            def serve_and_check():
                copy = os.path.join(served, "mirror")
                if os.path.exists(copy):
                    shutil.rmtree(copy)
                shutil.copytree(mirror_dir, copy)
                return subprocess.run(check, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                      text=True)

            fresh_signed()
            old_page = open(os.path.join(mirror_dir, "version.html"), "rb").read()
            rc, total = cutter.count(sign)
            new_page = open(os.path.join(mirror_dir, "version.html"), "rb").read()
            if rc != 0 or new_page == old_page:
                raise RuntimeError("the uncut sign failed")
            pairs = {"good": 0, "mixed": 0}
            points = spread(total, args.points)
            for at in points:
                fresh_signed()
                cutter.cut_at(at, sign)
                disk.cut()
                when = "%s, sign cut before call %d of %d" % (options, at, total)
                page_path = os.path.join(mirror_dir, "version.html")
                page = open(page_path, "rb").read() if os.path.exists(page_path) else None
                sig = open(page_path + ".sig", "rb").read() if os.path.exists(page_path + ".sig") \
                    else None
                if page not in (old_page, new_page):
                    raise CheckFailed(when + ": version.html is %s" % (
                        "missing" if page is None else "%d bytes, neither old nor new" % len(page)))
                if sig is None:
                    raise CheckFailed(when + ": version.html.sig is missing")
                good = verify(page, sig)
                if not good and not (verify(old_page if page == new_page else new_page, sig)):
                    raise CheckFailed(when + ": the signature is torn (it signs neither page)")
                said = serve_and_check()
                if good != (said.returncode == 0) or (not good and "not authentic" not in said.stdout):
                    raise CheckFailed("%s: check says %s of a %s pair:\n%s" % (
                        when, "yes" if said.returncode == 0 else "no",
                        "good" if good else "mixed", said.stdout))
                pairs["good" if good else "mixed"] += 1
                if subprocess.run(sign, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL).returncode != 0:
                    raise CheckFailed(when + ": the next sign failed")
                if serve_and_check().returncode != 0:
                    raise CheckFailed(when + ": the next sign did not mend the pair")
                left = [n for n in os.listdir(mirror_dir) if n.startswith(".")]
                if left:
                    raise CheckFailed(when + ": the next sign left " + ", ".join(left))
            log("%s: sign of %d calls, %d cut points (%d good pairs, %d mixed pairs refused)" %
                (options, total, len(points), pairs["good"], pairs["mixed"]))
        finally:
            subprocess.run(mirror + ["--stop", "--pid-file", root_pid], check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


SCENARIOS = {"extract": scenario_extract, "update": scenario_update, "publish": scenario_publish}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    parser.add_argument("--bin", required=True)
    parser.add_argument("--preload", required=True)
    parser.add_argument("--points", type=int, default=40)
    parser.add_argument("--no-fsync", action="store_true")
    parser.add_argument("--expect-failure", action="store_true")
    parser.add_argument("--time-limit", type=int, default=250,
                        help="seconds; then it ends through its cleanup (before ctest's "
                             "timeout, which would kill it without one)")
    args = parser.parse_args()

    if os.geteuid() != 0:
        skip("needs root (mount, losetup)")
    for tool in ("mkfs.ext4", "losetup", "mount", "umount"):
        if not shutil.which(tool):
            skip("%s is missing" % tool)
    if not os.path.exists("/dev/loop-control"):
        skip("no loop devices here (/dev/loop-control is missing)")

    # Ended from outside, or past its time: leave through the cleanup.
    def end(signum, _frame):
        raise SystemExit(128 + signum)
    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGALRM):
        signal.signal(s, end)
    signal.alarm(args.time_limit)

    work = tempfile.mkdtemp(prefix="vlr-powercut-%s-" % args.scenario)
    disk = None
    started = time.monotonic()
    try:
        disk = Disk(work)
        disk.setup()
        try:
            disk.mount(MODES[0])
        except subprocess.CalledProcessError as e:
            skip("cannot mount an ext4 image here (%s)" % e.stderr.strip())
        cutter = Cutter(os.path.abspath(args.preload), work, args.no_fsync)
        try:
            SCENARIOS[args.scenario](disk, cutter, args, work,
                                     lambda line: print(line, flush=True))
        except CheckFailed as failure:
            if args.expect_failure:
                print("as expected without fsync, a check fails: %s" % failure, flush=True)
                return 0
            print("FAILED: %s" % failure, flush=True)
            return 1
        if args.expect_failure:
            print("FAILED: every check held although fsync did nothing", flush=True)
            return 1
        print("%s: every check held (%.1f s)" % (args.scenario, time.monotonic() - started))
        return 0
    finally:
        if disk:
            disk.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
