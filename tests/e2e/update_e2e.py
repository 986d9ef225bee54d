#!/usr/bin/env python3
"""End-to-end tests of the update run: the real vlrupdate.exe and unzip32.dll under
Wine, in a Veloran folder of their own, against a private loopback mirror that serves
version.html and the packages this script writes; the wizard is driven through
Next, Next and Finish by uidriver.exe.

    update_e2e.py --bin-dir DIR --work-dir DIR --screenshots DIR --mirror PATH CASE

CASE is one of the names in CASES. Wine's settings (WINEPREFIX, ...) and DISPLAY come
from the environment. Every wait is bounded; the exit status is 0 when the case passed.
Standard library only.
"""

import glob
import hashlib
import io
import os
import random
import shutil
import socket
import subprocess
import sys
import time
import zipfile

from e2e_support import WINDOW_TIMEOUT_MS, Case, Failure, check, run_case

# Our writer of traditionally encrypted members (Python's zipfile cannot encrypt).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "unzip32",
                                "fixtures"))
import zip_forge  # noqa: E402

SUCCESS_EN = "Update succeeded!\r\nVersion %s"
SUCCESS_FR = "Mise-à-jour réussie!\r\nVersion %s"
UNZIP_EN = "Unzip DLL missing or incomplete download!"
CONNECT_EN = "Failed connecting to internet..."
RUN_TIMEOUT_S = 40
# The package trickles in, 256 bytes every 25 ms: 256 KiB take about 26 s, time enough
# to act during the download. Each query of the window then waits for the download's
# next event pass, so a few queries cost about a second.
TRICKLE = "trickle/25/256/"
TRICKLE_SIZE = 256 * 1024

OLD_FILES = {
    "readme.txt": b"old readme\r\n",
    "vlrdata.dat": b"old data " * 50,
    "keep.txt": b"a file the package does not hold\r\n",
}


def package_members(version):
    """A small package: text that compresses, bytes that don't, and a member stored
    under a folder (the folder is not recreated)."""
    rng = random.Random(version)
    return {
        "readme.txt": ("new readme for %s\r\n" % version).encode() * 40,
        "vlrdata.dat": bytes(rng.getrandbits(8) for _ in range(16 * 1024)),
        "docs/notes.txt": b"release notes\r\n" * 200,
    }


def make_zip(members):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members.items():
            z.writestr(name, data)
    return buffer.getvalue()


def free_port():
    """A loopback port that nothing listens on (taken and released at once)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class UpdateCase(Case):
    """A Veloran folder with the library and old files, a mirror root, the temp folder
    of the Wine prefix, and the mirror that serves the root."""

    def __init__(self, args, name):
        self.temp_dirs = self.find_temp_dirs()
        super().__init__(args, name)
        shutil.copy2(os.path.join(args.bin_dir, "unzip32.dll"), self.folder)
        for file_name, data in OLD_FILES.items():
            self.write(os.path.join(self.folder, file_name), data)
        self.root = os.path.join(os.path.dirname(self.folder), "mirror")
        os.makedirs(self.root)
        self.mirror_script = args.mirror
        self.mirror = None
        self.log_path = os.path.join(os.path.dirname(self.folder), "mirror.log")
        for stale in self.temp_leftovers():  # an earlier failed run's, not ours to judge
            os.remove(stale)

    @staticmethod
    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    @staticmethod
    def find_temp_dirs():
        """Where GetTempPathA points under this prefix: %TEMP% of the prefix's user,
        C:\\users\\<user>\\Temp (Wine 8) or ...\\AppData\\Local\\Temp (later Wines)."""
        users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
        dirs = [d for pattern in ("*/Temp", "*/AppData/Local/Temp")
                for d in glob.glob(os.path.join(users, pattern)) if os.path.isdir(d)]
        if not dirs:
            raise Failure("no temporary folder in the Wine prefix below " + users)
        return dirs

    def temp_leftovers(self):
        return [p for d in self.temp_dirs
                for pattern in ("version.html", "vlr*.zip", "version.html.sig", "version.html.sig2", "vlr*.zip.sig",
                                "vlrupdate-*")
                for p in glob.glob(os.path.join(d, pattern))]

    def serve(self, files):
        """Writes `files` (name -> bytes) into the mirror root and starts the mirror;
        returns its port. The mirror ends by itself after two minutes at the latest."""
        for file_name, data in files.items():
            self.write(os.path.join(self.root, file_name), data)
        port_file = os.path.join(os.path.dirname(self.folder), "mirror.port")
        log = open(self.log_path, "wb")
        self.mirror = subprocess.Popen(
            [sys.executable, self.mirror_script, "--root", self.root, "--port-file", port_file,
             "--max-seconds", "120", "--verbose"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log)
        log.close()
        deadline = time.monotonic() + 15
        while not os.path.exists(port_file):
            if time.monotonic() > deadline or self.mirror.poll() is not None:
                raise Failure("the loopback mirror did not start")
            time.sleep(0.05)
        self.port = int(self.read(port_file))
        return self.port

    def requests(self):
        """The paths the mirror was asked for, in order."""
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return [line.split('"')[1].split()[1] for line in f if line.count('"') >= 2]

    def asked(self, path):
        """The answers to the requests for `path`, in order: (status, the Range and
        If-Range the request carried, as the mirror logged them)."""
        out = []
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            for line in f:
                parts = line.rstrip("\n").split('"', 2)
                if len(parts) == 3 and parts[1].split()[1:2] == [path]:
                    status, _, extra = parts[2].strip().partition(" - ")
                    out.append((status.split()[0], extra.strip()))
        return out

    def folder_files(self):
        """The Veloran folder's files and contents, without the stand-ins' records and
        the instance lock."""
        out = {}
        for file_name in os.listdir(self.folder):
            path = os.path.join(self.folder, file_name)
            if file_name.endswith(".started") or file_name == "vlrupdate.lock":
                continue
            out[file_name] = self.read(path) if os.path.isfile(path) else None
        return out

    def finish(self):
        super().finish()
        if self.mirror and self.mirror.poll() is None:
            self.mirror.terminate()
            try:
                self.mirror.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.mirror.kill()
                self.mirror.wait()


def run_to_finish(t, language, site, shot):
    """Starts the updater, presses Next twice and waits for the run to end (the last
    button reads Finish / Terminer); checks the buttons, takes a screenshot and
    returns (process, message)."""
    proc = t.start(language, site)
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    finish = "Terminer" if language == "F" else "Finish"
    d.wait_until("Command3", "the run ended: the last button reads " + finish,
                 lambda s: s["text"] == finish, timeout_s=RUN_TIMEOUT_S)
    c = d.controls()
    check(not c["Command1"]["enabled"] and not c["Command2"]["enabled"],
          "Previous and Next are off")
    check(c["Command3"]["enabled"], "Finish is on")
    t.screenshot("update_" + shot)
    return proc, c["Label1"]["text"]


def press_finish(t, proc, program):
    t.driver.run("click", "Command3")
    t.driver.run("wait-gone", WINDOW_TIMEOUT_MS)
    t.wait_exit(proc, "Finish ends the updater")
    check(t.wait_started(program), "Finish started " + program)
    t.wait_lock_released()


def expect_unchanged(t, before, what="the Veloran folder is unchanged"):
    check(t.folder_files() == before, what)


def expect_no_temp(t):
    left = t.temp_leftovers()
    check(not left, "no temporary file is left in %s (found %r)" % (t.temp_dirs, left))


def expect_updated(t, members):
    files = t.folder_files()
    for name, data in members.items():
        base = name.rsplit("/", 1)[-1]
        check(files.get(base) == data, "%s holds the package's %s" % (base, name))
    check(not os.path.exists(os.path.join(t.folder, "docs")), "no folder was recreated")
    check(files.get("keep.txt") == OLD_FILES["keep.txt"], "a file outside the package stays")
    check(not [n for n in files if n.startswith(".~uz32-")], "no extraction leftovers")


# --- success --------------------------------------------------------------------------

def success(t, language, package, program, message):
    members = package_members("7.5.3")
    port = t.serve({"version.html": b"7.5.3\r\n", package: make_zip(members)})
    proc, text = run_to_finish(t, language, "127.0.0.1:%d/" % port, "success_" + language)
    check(text == message, "the message reads %r" % message)
    check(t.requests() == ["/version.html", "/" + package],
          "version.html then %s were fetched" % package)
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, program)


def case_success_english(t):
    success(t, "E", "vlr753.zip", "vlrmain.exe", SUCCESS_EN % "7.5.3")
    check(not t.started("vlrmainfr.exe"), "not the French program")


def case_success_french(t):
    success(t, "F", "vlr753fr.zip", "vlrmainfr.exe", SUCCESS_FR % "7.5.3")
    check(not t.started("vlrmain.exe"), "not the English program")


# --- version files --------------------------------------------------------------------

def version_file(t, content, version, shot):
    """`content` gives `version` (three digits) and its package is unpacked."""
    package = "vlr%s.zip" % version
    members = package_members(version)
    port = t.serve({"version.html": content, package: make_zip(members)})
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, shot)
    dotted = ".".join(version)
    check(text == SUCCESS_EN % dotted, "version %s: the message reads %r" % (version, text))
    check(t.requests() == ["/version.html", "/" + package], "%s was fetched" % package)
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


def version_fails(t, content, shot):
    """`content` gives fewer than three digits: no package is asked for. An empty
    body counts as no download (DownloadFile gives 0); the run's own folder goes at the
    end with whatever it holds, that empty file included."""
    before = t.folder_files()
    port = t.serve({"version.html": content})
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, shot)
    check(text == CONNECT_EN, "the message reads %r" % CONNECT_EN)
    check(t.requests() == ["/version.html"], "no package was asked for")
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


def case_version_h1_tags(t):
    version_file(t, b"<html><body><h1>7.5.3</h1></body></html>\r\n", "531", "version_h1")


def case_version_four_numbers(t):
    version_file(t, b"Version 1.2.3.4\r\n", "234", "version_1234")


def case_version_empty_line_stops(t):
    version_file(t, b"2.0.4\r\n\r\n9.9.9\r\n", "204", "version_empty_line")


def case_version_lf_only(t):
    # One single line: the empty "line" between the LFs stops nothing, 753999 -> 999.
    version_file(t, b"7.5.3\n\n9.9.9\n", "999", "version_lf_only")


def case_version_two_digits(t):
    version_fails(t, b"7.5\r\n", "version_two_digits")


def case_version_empty_file(t):
    version_fails(t, b"", "version_empty")


# --- failures -------------------------------------------------------------------------

def case_closed_port(t):
    before = t.folder_files()
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % free_port(), "closed_port")
    check(text == CONNECT_EN, "the message reads %r" % CONNECT_EN)
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


def failed_run(t, files, message, requests, shot, path="", language="E"):
    """The mirror serves `files` (at `path` below its root); the run ends with `message`
    after asking for `requests`, and leaves the folder and the temp folder as they were."""
    before = t.folder_files()
    port = t.serve(files)
    proc, text = run_to_finish(t, language, "127.0.0.1:%d/%s" % (port, path), shot)
    check(text == message, "the message reads %r" % message)
    check(t.requests() == requests, "the mirror was asked for %s" % ", ".join(requests))
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmainfr.exe" if language == "F" else "vlrmain.exe")


def refused_package(t, package_bytes, shot):
    failed_run(t, {"version.html": b"7.5.3\r\n", "vlr753.zip": package_bytes}, UNZIP_EN,
               ["/version.html", "/vlr753.zip"], shot)


def case_package_404(t):
    # The mirror answers 404 with an HTML page: an error answer is no package.
    failed_run(t, {"version.html": b"7.5.3\r\n"}, CONNECT_EN, ["/version.html", "/vlr753.zip"],
               "package_404")


def case_version_forbidden(t):
    # The mirror refuses version.html with nginx's 403 page, whose digits read 221, and
    # an old vlr221.zip is still there: the page must not pass for the version file.
    failed_run(t, {"vlr221.zip": make_zip(package_members("2.2.1"))}, CONNECT_EN,
               ["/refuse/403/version.html/version.html"], "version_forbidden",
               path="refuse/403/version.html/")


def case_package_not_zip(t):
    refused_package(t, b"<html>this is no zip archive</html>\r\n" * 100, "package_not_zip")


def case_package_truncated(t):
    whole = make_zip(package_members("7.5.3"))
    refused_package(t, whole[: len(whole) * 2 // 3], "package_truncated")


# --- a folder whose name the code page cannot write -----------------------------------

def case_folder_outside_code_page(t):
    """Veloran lives in a folder whose name has a character outside the ANSI code page
    ("Ł"), beside a look-alike folder ("L"). The package must land in Veloran's own
    folder (the library is handed its short name) and never in the look-alike."""
    base = os.path.dirname(t.folder)
    own = os.path.join(base, "\u0141ukasz", "Veloran")
    alike = os.path.join(base, "Lukasz", "Veloran")
    os.makedirs(os.path.dirname(own))
    shutil.move(t.folder, own)
    t.folder = own
    shutil.copytree(own, alike)
    alike_before = {n: t.read(os.path.join(alike, n)) for n in os.listdir(alike)}
    members = package_members("7.5.3")
    port = t.serve({"version.html": b"7.5.3\r\n", "vlr753.zip": make_zip(members)})
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, "folder_outside_code_page")
    check({n: t.read(os.path.join(alike, n)) for n in os.listdir(alike)} == alike_before,
          "the look-alike folder is untouched")
    check(text == SUCCESS_EN % "7.5.3", "the message reads %r" % text)
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


# --- interrupting a download ----------------------------------------------------------

def wait_partial_package(t, package):
    """Waits until the trickling package has started to arrive in the run's own folder
    inside the temp folder (which also shows where that folder is)."""
    deadline = time.monotonic() + RUN_TIMEOUT_S
    while True:
        found = [p for d in t.temp_dirs
                 for p in glob.glob(os.path.join(d, "vlrupdate-*", package))]
        if found and os.path.getsize(found[0]) >= 512:
            print("  ok: the package is arriving in", os.path.dirname(found[0]))
            return
        if time.monotonic() > deadline:
            raise Failure("the package never started to arrive in %s" % t.temp_dirs)
        time.sleep(0.05)


def trickling_run(t):
    """Starts a run whose package trickles in; returns the process once the package
    download is under way."""
    data = random.Random(1).randbytes(TRICKLE_SIZE)
    port = t.serve({"version.html": b"7.5.3\r\n", "vlr753.zip": make_zip({"big.dat": data})})
    proc = t.start("E", "127.0.0.1:%d/%s" % (port, TRICKLE))
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    wait_partial_package(t, "vlr753.zip")
    return proc


def case_cancel_download(t):
    before = t.folder_files()
    proc = trickling_run(t)
    d = t.driver
    c = d.controls()
    label = c["Label1"]["text"]
    check(label.startswith("vlr753.zip\r\n") and label.endswith(" k"),
          "the progress line names the package: %r" % label)
    check(c["Command3"]["text"] == "Cancel" and c["Command3"]["enabled"],
          "Cancel is on during the download")
    check(not c["Command1"]["enabled"] and not c["Command2"]["enabled"],
          "Previous and Next are off during the download")
    t.screenshot("update_downloading")
    started = time.monotonic()
    t.driver.run("click", "Command3")
    # The stop deleted the partial package, so the extraction found nothing to unpack.
    t.driver.wait_until("Command3", "the stopped run ends: Finish",
                        lambda s: s["text"] == "Finish", timeout_s=10)
    check(time.monotonic() - started < 5, "the download stopped at once")
    check(proc.poll() is None, "the updater still runs")
    check(t.none_started(grace_s=0.5), "Cancel during the download started nothing")
    text = t.driver.run("state", "Label1")["text"]
    check(text == UNZIP_EN, "the message reads %r" % UNZIP_EN)
    t.screenshot("update_cancelled")
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


def case_close_during_download(t):
    before = t.folder_files()
    proc = trickling_run(t)
    t.driver.run("close")
    t.driver.run("wait-gone", WINDOW_TIMEOUT_MS)
    t.wait_exit(proc, "closing the window during the download ends the updater", timeout_s=15)
    check(t.none_started(), "Veloran was not started")
    expect_unchanged(t, before)
    expect_no_temp(t)
    t.wait_lock_released()


# --- replacing the running program and the loaded library -----------------------------

def case_replace_in_use(t):
    exe = os.path.join(t.folder, "vlrupdate.exe")
    dll = os.path.join(t.folder, "unzip32.dll")
    # The new copies are the same programs with a marker appended, so they still run.
    new_exe = t.read(exe) + b"\0vlrupdate 7.5.3 marker\0"
    new_dll = t.read(dll) + b"\0unzip32 7.5.3 marker\0"
    members = {"vlrupdate.exe": new_exe, "unzip32.dll": new_dll,
               "readme.txt": b"new readme\r\n"}
    port = t.serve({"version.html": b"7.5.3\r\n", "vlr753.zip": make_zip(members)})
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, "replace_in_use")
    check(text == SUCCESS_EN % "7.5.3", "the message reads %r" % text)
    check(t.read(exe) == new_exe, "the running vlrupdate.exe was replaced")
    check(t.read(dll) == new_dll, "the loaded unzip32.dll was replaced")
    check(t.read(os.path.join(t.folder, "readme.txt")) == b"new readme\r\n", "readme replaced")
    aside = sorted(n for n in os.listdir(t.folder) if n.startswith(".~uz32-"))
    print("  files set aside while in use:", aside)
    check(len(aside) == 2 and all(n.endswith(".old") for n in aside),
          "the two files in use, and only they, were set aside as .old")
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")

    # The next run (the new updater and library, an ordinary package) clears them.
    os.remove(os.path.join(t.folder, "vlrmain.exe.started"))
    t.mirror.terminate()
    t.mirror.wait(timeout=10)
    members = package_members("7.5.4")
    port = t.serve({"version.html": b"7.5.4\r\n", "vlr754.zip": make_zip(members)})
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, "replace_in_use_next_run")
    check(text == SUCCESS_EN % "7.5.4", "the new updater and library update again")
    expect_updated(t, members)
    press_finish(t, proc, "vlrmain.exe")


# --- start-up: an extraction cut short is finished before the window shows ----------

def leave_interrupted_commit(folder, staged):
    """Leaves in folder what an extraction killed in its commit leaves: `staged`
    (target -> (state, new content)) as staged files listed in a whole commit journal.
    state "moved": the new file is in place, the old one kept under an aside name;
    "aside": the old file was renamed aside and its name is missing; "waiting": the
    target is untouched."""
    lines = ["uz32 commit journal 1"]
    for n, (target, (state, data)) in enumerate(staged.items()):
        temp = ".~uz32-4242-%d.tmp" % n
        lines.append("file\t%s\t%s" % (temp, target))
        path = os.path.join(folder, target)
        aside = os.path.join(folder, ".~uz32-4242-%d-%s.old" % (100 + n, target))
        if state == "moved":
            os.rename(path, aside)
            UpdateCase.write(path, data)
        elif state == "aside":
            os.rename(path, aside)
            UpdateCase.write(os.path.join(folder, temp), data)
        else:
            UpdateCase.write(os.path.join(folder, temp), data)
    lines.append("end\t%d" % len(staged))
    UpdateCase.write(os.path.join(folder, ".~uz32-commit.journal"),
                     ("\n".join(lines) + "\n").encode())


def case_recover_at_start(t):
    new = {"readme.txt": ("moved", b"new readme\r\n"),
           "vlrdata.dat": ("aside", b"new data " * 60),
           "notes.txt": ("waiting", b"new notes\r\n")}
    leave_interrupted_commit(t.folder, new)
    port = t.serve({"version.html": b"7.5.3\r\n"})
    proc = t.start("E", "127.0.0.1:%d/" % port)
    t.driver.run("find", WINDOW_TIMEOUT_MS)
    files = t.folder_files()
    for name, (state, data) in new.items():
        check(files.get(name) == data, "%s (%s) holds the new file when the window shows"
              % (name, state))
    check(files.get("keep.txt") == OLD_FILES["keep.txt"], "a file outside the commit stays")
    left = [n for n in files if n.startswith(".~uz32-")]
    check(not left, "no journal, staged or aside file is left (found %r)" % left)
    t.screenshot("update_recovered_step0")
    t.driver.run("close")
    t.driver.run("wait-gone", WINDOW_TIMEOUT_MS)
    t.wait_exit(proc, "closing the window at step 0 ends the updater")
    check(t.requests() == [], "nothing was fetched")
    check(t.none_started(), "Veloran was not started")
    t.wait_lock_released()


# --- an encrypted package: the password is asked in the updater's input box ---------

PASSWORD = "veloran-7.5.3"


def encrypted_run(t):
    """Serves an encrypted package, presses Next twice and waits for the password box;
    returns (process, members)."""
    members = package_members("7.5.3")
    flat = {name.rsplit("/", 1)[-1]: data for name, data in members.items()}
    package = zip_forge.build([zip_forge.Member(name, data, password=PASSWORD.encode())
                               for name, data in flat.items()])
    port = t.serve({"version.html": b"7.5.3\r\n", "vlr753.zip": package})
    proc = t.start("E", "127.0.0.1:%d/" % port)
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    box = d.run("input-box", RUN_TIMEOUT_S * 1000)
    check(box["prompt"] == "Please Enter The Password!", "the box asks for the password")
    check(box["text"] == "", "the answer starts empty")
    print("  ok: the input box is titled %r" % box["title"])
    t.screenshot("update_password_box")
    return proc, flat


def wait_finish(t, shot):
    t.driver.wait_until("Command3", "the run ended: the last button reads Finish",
                        lambda s: s["text"] == "Finish", timeout_s=RUN_TIMEOUT_S)
    t.screenshot("update_" + shot)
    return t.driver.controls()["Label1"]["text"]


def case_encrypted_package(t):
    proc, members = encrypted_run(t)
    t.driver.run("type-ok", PASSWORD, 5000)
    text = wait_finish(t, "encrypted_package")
    check(text == SUCCESS_EN % "7.5.3", "the message reads %r" % text)
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


def case_encrypted_declined(t):
    before = t.folder_files()
    proc, _ = encrypted_run(t)
    t.driver.run("input-cancel", 5000)
    text = wait_finish(t, "encrypted_declined")
    check(text == UNZIP_EN, "the message reads %r" % text)
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


# --- a mirror made by vlrpublish ------------------------------------------------------

def case_published_mirror(t):
    """vlrpublish.exe makes the mirror from two release folders; the updater then
    updates the Veloran folder from it in English, and again in French."""
    english = package_members("7.5.3")
    english = {name.rsplit("/", 1)[-1]: data for name, data in english.items()}
    french = {"readme.txt": "lisez-moi de la version 7.5.3\r\n".encode() * 40,
              "vlrfr.dat": random.Random(5).randbytes(4096)}
    release = os.path.join(os.path.dirname(t.folder), "release")
    for language, files in (("en", english), ("fr", french)):
        for file_name, data in files.items():
            path = os.path.join(release, language, file_name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            t.write(path, data)
    os.rmdir(t.root)  # make writes the mirror folder itself

    def windows(path):
        return "Z:" + path.replace("/", "\\")

    # Its output goes to a file: a helper process Wine starts would hold a pipe open.
    report = os.path.join(os.path.dirname(t.folder), "vlrpublish.txt")
    with open(report, "wb") as f:
        made = subprocess.run(
            [os.environ["WINELOADER"], os.path.join(t.args.bin_dir, "vlrpublish.exe"), "make",
             "--version", "7.5.3", "--en", windows(os.path.join(release, "en")),
             "--fr", windows(os.path.join(release, "fr")), "--out", windows(t.root)],
            stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT, timeout=120)
    print(t.read(report).decode(errors="replace"))
    check(made.returncode == 0, "vlrpublish.exe made the mirror")
    check(sorted(os.listdir(t.root)) == ["version.html", "vlr753.zip", "vlr753fr.zip"],
          "the mirror holds version.html, vlr753.zip and vlr753fr.zip")

    site = "127.0.0.1:%d/" % t.serve({})
    proc, text = run_to_finish(t, "E", site, "published_english")
    check(text == SUCCESS_EN % "7.5.3", "English: the message reads %r" % text)
    check(t.requests() == ["/version.html", "/vlr753.zip"], "English: vlr753.zip was fetched")
    expect_updated(t, english)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")

    proc, text = run_to_finish(t, "F", site, "published_french")
    check(text == SUCCESS_FR % "7.5.3", "French: the message reads %r" % text)
    check(t.requests()[2:] == ["/version.html", "/vlr753fr.zip"],
          "French: vlr753fr.zip was fetched")
    expect_updated(t, french)
    check(t.folder_files().get("vlrdata.dat") == english["vlrdata.dat"],
          "the English package's other files stay")
    expect_no_temp(t)
    press_finish(t, proc, "vlrmainfr.exe")


# --- /quiet ---------------------------------------------------------------------------

QUIET_TIMEOUT_S = 60


# --- a package download that breaks --------------------------------------------------

def case_resume_after_break(t):
    """The package breaks at 60% of its length, once. With its digest in version.html the
    updater asks for the rest after a short wait and keeps it only if it continues the
    same file; without a digest the download fails as it always did. Each round serves
    the next version from a folder of its own, behind the mirror's break-once mode."""
    files, packages = {}, {}
    rounds = [("7.5.3", "range", True), ("7.5.4", "ignore-range", True),
              ("7.5.5", "changed", True), ("7.5.6", "range", False)]
    for version, _, digest in rounds:
        name = "vlr%s.zip" % version.replace(".", "")
        packages[version] = package_members(version), make_zip(package_members(version))
        page = version.encode() + b"\r\n"
        if digest:
            page += b"\r\n<!-- sha256 %s %s -->\r\n" % (
                name.encode(), hashlib.sha256(packages[version][1]).hexdigest().encode())
        files["%s/version.html" % version] = page
        files["%s/%s" % (version, name)] = packages[version][1]
    for path in files:
        os.makedirs(os.path.join(t.root, os.path.dirname(path)), exist_ok=True)
    port = t.serve(files)
    log = os.path.join(os.path.dirname(t.folder), "update.log")

    for version, then, digest in rounds:
        print("round", version, then, "with" if digest else "without", "a digest line")
        name = "vlr%s.zip" % version.replace(".", "")
        members, package = packages[version]
        cut = len(package) * 6 // 10
        path = "break-once/%d/%s/%s/%s/" % (cut, then, name, version)
        site = "127.0.0.1:%d/%s" % (port, path)
        before = t.folder_files()
        if version == "7.5.3":  # the wizard, as a user sees it
            proc = t.start("/log:" + wine_path(log), "E", site)
            d = t.driver
            d.run("find", WINDOW_TIMEOUT_MS)
            d.run("click", "Command2")
            d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
            d.run("click", "Command2")
            d.wait_until("Command3", "the run ended", lambda s: s["text"] == "Finish",
                         timeout_s=RUN_TIMEOUT_S)
            text = d.controls()["Label1"]["text"]
            check(text == SUCCESS_EN % version, "the message reads %r" % (SUCCESS_EN % version))
            t.screenshot("update_resume_after_break")
            press_finish(t, proc, "vlrmain.exe")
        else:
            code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", site)
            check(code == (0 if digest else 1), "the exit code is %d (it was %r)"
                  % (0 if digest else 1, code))
            t.wait_lock_released()
        asked = t.asked("/" + path + name)
        block = t.read(log).decode("utf-8").split("== vlrupdate run")[-1].split("\r\n")
        if not digest:
            check(asked == [("200", "")], "the package was asked for once, without a Range")
            check("outcome: " + CONNECT_EN in block, "the log tells the failure: nothing fetched")
            check(not [line for line in block if line.startswith("continuation")],
                  "the log tells of no continuation")
            expect_unchanged(t, before)
            expect_no_temp(t)
            continue
        tag = "\"old-" if then == "changed" else "\""
        check(len(asked) == 2 and asked[0] == ("200", "") and
              asked[1][1].startswith("Range: bytes=%d- If-Range: %s" % (cut, tag)),
              "the package broke, then its rest was asked for from byte %d (%r)" % (cut, asked))
        whole = then != "range"
        status, got = ("200", len(package)) if whole else ("206", len(package) - cut)
        check(asked[1][0] == status, "the mirror answered %s" % status)
        line = "continuation from byte %d -> status %s, %d bytes" % (cut, status, got)
        check(line in block and "broken download: complete" in block and
              "digest of the package: matches" in block,
              "the log tells the continuation (%r) and the outcome" % line)
        check("outcome: Update succeeded! / Version %s" % version in block,
              "the log tells the update")
        expect_updated(t, members)
        expect_no_temp(t)


def run_quiet(t, *words, others=0):
    """Runs the updater with `words` as its argument text and gives its exit code, after
    checking, all the while it ran, that it had no window on screen (beside the
    `others` windows of an updater that was already running)."""
    proc = t.start(*words)
    deadline = time.monotonic() + QUIET_TIMEOUT_S
    looks = 0
    while proc.poll() is None:
        if time.monotonic() > deadline:
            raise Failure("the quiet run still runs after %d s" % QUIET_TIMEOUT_S)
        shown = t.driver.run("shown-by", "vlrupdate.exe")
        if shown != others:
            raise Failure("%r windows of updaters were on screen, not %d" % (shown, others))
        looks += 1
        time.sleep(0.05)
    check(looks > 0, "no window of the updater was on screen (%d looks)" % looks)
    return proc.returncode


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def case_quiet_success(t):
    members = package_members("7.5.3")
    port = t.serve({"version.html": b"7.5.3\r\n", "vlr753.zip": make_zip(members)})
    log = os.path.join(os.path.dirname(t.folder), "update.log")
    site = "127.0.0.1:%d/" % port
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", site)
    check(code == 0, "the exit code is 0 (it was %r)" % code)
    check(t.requests() == ["/version.html", "/vlr753.zip"], "version.html then the package")
    expect_updated(t, members)
    expect_no_temp(t)
    check(t.none_started(), "Veloran was not started")
    t.wait_lock_released()
    lines = t.read(log).decode("utf-8").split("\r\n")
    check("outcome: Update succeeded! / Version 7.5.3" in lines and "exit code: 0" in lines,
          "the log tells the outcome and the exit code")
    # Again, at the version now installed: nothing to fetch.
    code = run_quiet(t, "/quiet", "E", site)
    check(code == 0, "again: the exit code is 0 (it was %r)" % code)
    check(t.requests() == ["/version.html", "/vlr753.zip", "/version.html"],
          "again: only version.html was asked for")


def quiet_fails(t, files, path, expected):
    before = t.folder_files()
    port = t.serve(files)
    code = run_quiet(t, "/quiet", "E", "127.0.0.1:%d/%s" % (port, path))
    check(code == expected, "the exit code is %d (it was %r)" % (expected, code))
    expect_unchanged(t, before)
    expect_no_temp(t)
    check(t.none_started(), "Veloran was not started")


def case_quiet_version_forbidden(t):
    quiet_fails(t, {"vlr221.zip": make_zip(package_members("2.2.1"))},
                "refuse/403/version.html/", 1)


def case_quiet_damaged_package(t):
    whole = make_zip(package_members("7.5.3"))
    quiet_fails(t, {"version.html": b"7.5.3\r\n", "vlr753.zip": whole[: len(whole) * 2 // 3]},
                "", 4)


def case_quiet_second_copy(t):
    port = t.serve({"version.html": b"7.5.3\r\n"})
    first = t.start("E", "127.0.0.1:%d/" % port)
    t.driver.run("find", WINDOW_TIMEOUT_MS)
    check(t.driver.run("shown-by", "vlrupdate.exe") == 1, "the UI driver sees the first copy")
    code = run_quiet(t, "/quiet", "E", "127.0.0.1:%d/" % port, others=1)
    check(code == 5, "another copy runs: the exit code is 5 (it was %r)" % code)
    check(t.requests() == [], "nothing was asked of the mirror")
    check(first.poll() is None and t.driver.controls()["Command2"]["enabled"],
          "the first copy goes on")
    t.driver.run("close")
    t.wait_exit(first, "the first copy ends when its window is closed")


def case_quiet_no_mirror(t):
    code = run_quiet(t, "/quiet", "E")
    check(code == 6, "/quiet without a mirror: the exit code is 6 (it was %r)" % code)
    check(t.none_started(), "Veloran was not started")


def log_block(t, log):
    """The lines of the last block of the run log at `log`."""
    return t.read(log).decode("utf-8").split("== vlrupdate run")[-1].split("\r\n")


def case_quiet_hostile_mirror(t):
    """Mirrors that drip, run on past a part's end, name another ETag on a part or
    announce more than a package may hold: each unattended run ends bounded, with exit
    code 1 (nothing fetched) or 0 (the file up to the length announced), and a log line
    that says which bound acted. A run killed on a dripping mirror leaves its log lines;
    its run folder goes with the next run."""
    members = package_members("7.5.3")
    package = make_zip(members)
    page = b"7.5.3\r\n\r\n<!-- sha256 vlr753.zip %s -->\r\n" % (
        hashlib.sha256(package).hexdigest().encode())
    port = t.serve({"version.html": page, "vlr753.zip": package})
    log = os.path.join(os.path.dirname(t.folder), "update.log")
    cut = len(package) // 2

    def quiet(path, *options):
        start = time.monotonic()
        code = run_quiet(t, "/quiet", "/log:" + wine_path(log), *options, "E",
                         "127.0.0.1:%d/%s" % (port, path))
        t.wait_lock_released()
        return code, time.monotonic() - start, log_block(t, log)

    # Killed while version.html drips in: its lines are in the log, its folder stays.
    proc = t.start("/quiet", "/log:" + wine_path(log), "E", "127.0.0.1:%d/drip/" % port)
    deadline = time.monotonic() + 30
    while not (os.path.exists(log) and "deadline: 1800 s for the whole run" in log_block(t, log)):
        if time.monotonic() > deadline or proc.poll() is not None:
            raise Failure("the run did not begin its log block")
        time.sleep(0.2)
    time.sleep(2.0)
    proc.kill()
    proc.wait()
    left = [p for p in t.temp_leftovers() if os.path.basename(p).startswith("vlrupdate-")]
    check(len(left) == 1, "the killed run left its run folder (%r)" % left)
    block = log_block(t, log)
    check("minimum rate: 1024 bytes/s over 60 s" in block and
          not [line for line in block if line.startswith("exit code")],
          "the killed run's block holds its lines, and no exit code")
    t.wait_lock_released()

    code, took, block = quiet("drip/", "/deadline:4")
    check(code == 1, "a dripping mirror: exit code 1 (it was %r)" % code)
    check(4 <= took < 20, "it ended soon after its deadline of 4 s (%.1f s)" % took)
    check("deadline: 4 s for the whole run" in block and
          "download stopped: the run's deadline passed" in block, "the log tells the deadline")
    check(not os.path.exists(left[0]), "the next run removed the killed run's folder")

    name = "vlr753.zip"
    # The ETag first: the endless part then updates the folder.
    rounds = [("etag", 1, "broken download: failed, the answer does not continue the file"),
              ("endless", 0, "download stopped at the announced length of %d bytes: the answer "
                             "went on" % len(package))]
    for how, expected, line in rounds:
        path = "break-once/%d/range/%s/range/%s/%s/" % (cut, name, how, how)
        os.makedirs(os.path.join(t.root, how), exist_ok=True)
        for file_name, data in (("version.html", page), (name, package)):
            t.write(os.path.join(t.root, how, file_name), data)
        before = t.folder_files()
        code, took, block = quiet(path)
        check(code == expected, "a 206 %s: exit code %d (it was %r)" % (how, expected, code))
        check(line in block, "the log tells %r" % line)
        if expected:
            expect_unchanged(t, before)
        else:
            expect_updated(t, members)
            check("broken download: complete" in block, "the file was complete")
        expect_no_temp(t)

    code, took, block = quiet("announce/99999999999/")
    check(code == 1, "a huge announced length: exit code 1 (it was %r)" % code)
    check("download refused: 99999999999 bytes announced, above the limit of 2147483647" in block,
          "the log tells the refused length")
    expect_no_temp(t)
    check(t.none_started(), "Veloran was not started")


CASES = {
    "encrypted_package": case_encrypted_package,
    "encrypted_declined": case_encrypted_declined,
    "success_english": case_success_english,
    "success_french": case_success_french,
    "version_h1_tags": case_version_h1_tags,
    "version_four_numbers": case_version_four_numbers,
    "version_empty_line_stops": case_version_empty_line_stops,
    "version_lf_only": case_version_lf_only,
    "version_two_digits": case_version_two_digits,
    "version_empty_file": case_version_empty_file,
    "closed_port": case_closed_port,
    "package_404": case_package_404,
    "version_forbidden": case_version_forbidden,
    "folder_outside_code_page": case_folder_outside_code_page,
    "package_not_zip": case_package_not_zip,
    "package_truncated": case_package_truncated,
    "cancel_download": case_cancel_download,
    "close_during_download": case_close_during_download,
    "replace_in_use": case_replace_in_use,
    "recover_at_start": case_recover_at_start,
    "published_mirror": case_published_mirror,
    "quiet_success": case_quiet_success,
    "quiet_hostile_mirror": case_quiet_hostile_mirror,
    "quiet_version_forbidden": case_quiet_version_forbidden,
    "quiet_damaged_package": case_quiet_damaged_package,
    "quiet_second_copy": case_quiet_second_copy,
    "quiet_no_mirror": case_quiet_no_mirror,
    "resume_after_break": case_resume_after_break,
}


if __name__ == "__main__":
    sys.exit(run_case(CASES, lambda args: UpdateCase(args, "update_" + args.case),
                      [("--mirror", "tools/mirror/mirror.py")]))
