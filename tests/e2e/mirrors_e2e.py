#!/usr/bin/env python3
"""End-to-end tests of where administrators update: folder mirrors (a drive letter and a
UNC share, which Wine maps through the prefix's dosdevices/unc), lists of mirrors in an
unattended run, and a proxy that asks for credentials. The real vlrupdate.exe under Wine.

    mirrors_e2e.py --bin-dir DIR --work-dir DIR --screenshots DIR --mirror PATH --proxy PATH CASE

Standard library only.
"""

import os
import random
import subprocess
import sys
import time

from e2e_support import WINDOW_TIMEOUT_MS, Failure, check, run_case
from update_e2e import (CONNECT_EN, SUCCESS_EN, UNZIP_EN, UpdateCase, expect_no_temp,
                        expect_unchanged, expect_updated, free_port, make_zip,
                        package_members, press_finish, run_quiet, run_to_finish, wine_path)


def share_folder(path):
    """`path` as \\\\vlrserver\\<share> under Wine: a link in the prefix's dosdevices/unc.
    Gives the UNC path and the link (for the caller to remove)."""
    server = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "unc", "vlrserver")
    os.makedirs(server, exist_ok=True)
    share = "share-%d" % os.getpid()
    link = os.path.join(server, share)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(path, link)
    return "\\\\vlrserver\\" + share, link


class MirrorsCase(UpdateCase):
    def __init__(self, args, name):
        super().__init__(args, name)
        self.proxy_script = args.proxy
        self.proxy = None
        self.unc = None

    def folder_mirror(self, name, files):
        """A folder holding `files`, beside the case's Veloran folder."""
        path = os.path.join(os.path.dirname(self.folder), name)
        os.makedirs(path, exist_ok=True)
        for file_name, data in files.items():
            self.write(os.path.join(path, file_name), data)
        return path

    def share(self, path):
        unc, self.unc = share_folder(path)
        return unc

    def start_proxy(self, user, password):
        port_file = os.path.join(os.path.dirname(self.folder), "proxy.port")
        self.proxy_log = os.path.join(os.path.dirname(self.folder), "proxy.log")
        log = open(self.proxy_log, "wb")
        self.proxy = subprocess.Popen(
            [sys.executable, self.proxy_script, "--user", user, "--password", password,
             "--port-file", port_file, "--max-seconds", "150"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log)
        log.close()
        deadline = time.monotonic() + 15
        while not os.path.exists(port_file):
            if time.monotonic() > deadline or self.proxy.poll() is not None:
                raise Failure("the loopback proxy did not start")
            time.sleep(0.05)
        return int(self.read(port_file))

    def proxy_requests(self):
        with open(self.proxy_log, encoding="utf-8") as f:
            return [line.split('"')[2].split() for line in f if line.count('"') == 2]

    def finish(self):
        super().finish()
        if self.proxy and self.proxy.poll() is None:
            self.proxy.terminate()
            self.proxy.wait(timeout=10)
        if self.unc and os.path.lexists(self.unc):
            os.remove(self.unc)


def log_lines(t, log):
    return t.read(log).decode("utf-8").split("== vlrupdate run")[-1].split("\r\n")


def release(version="7.5.3"):
    members = package_members(version)
    name = "vlr%s.zip" % version.replace(".", "")
    return members, {"version.html": version.encode() + b"\r\n", name: make_zip(members)}


# --- folder mirrors -------------------------------------------------------------------

def case_folder_mirrors(t):
    """A drive-letter folder in the wizard, the same folder as a UNC share and as a file
    URL in unattended runs, and a folder without the package."""
    members, files = release("7.5.3")
    mirror = t.folder_mirror("share", files)
    drive = wine_path(mirror)
    proc, text = run_to_finish(t, "E", drive, "folder_drive")
    check(text == SUCCESS_EN % "7.5.3", "drive letter: the message reads %r" % text)
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")

    members, files = release("7.5.4")
    t.folder_mirror("share", files)
    unc = t.share(mirror)
    log = os.path.join(os.path.dirname(t.folder), "update.log")
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", unc)
    check(code == 0, "UNC: the exit code is 0 (it was %r)" % code)
    expect_updated(t, members)
    expect_no_temp(t)
    lines = log_lines(t, log)
    size = len(files["vlr754.zip"])
    check([l for l in lines if l.startswith("read: %s\\version.html -> 7 bytes" % unc)] and
          [l for l in lines if l.startswith("read: %s\\vlr754.zip -> %d bytes" % (unc, size))],
          "the log names the folder's files and their byte counts")
    check("outcome: Update succeeded! / Version 7.5.4" in lines, "the log tells the update")
    t.wait_lock_released()

    members, files = release("7.5.5")
    t.folder_mirror("share", files)
    url = "file:///" + drive.replace("\\", "/")
    code = run_quiet(t, "/quiet", "E", url)
    check(code == 0, "file URL: the exit code is 0 (it was %r)" % code)
    expect_updated(t, members)
    t.wait_lock_released()

    # version.html names 7.5.6, whose package is not in the folder.
    t.write(os.path.join(mirror, "version.html"), b"7.5.6\r\n")
    before = t.folder_files()
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", unc + "\\")
    check(code == 1, "missing package: the exit code is 1 (it was %r)" % code)
    lines = log_lines(t, log)
    check("read: %s\\vlr756.zip -> missing or not readable, " % unc in
          " ".join(l[: len(unc) + 46] for l in lines), "the log names the missing file")
    check("outcome: " + CONNECT_EN in lines, "the outcome is the connection failure")
    expect_unchanged(t, before)
    expect_no_temp(t)


def case_folder_cancel(t):
    """Cancel while a large package is read from a folder: the read stops at once."""
    data = random.Random(2).randbytes(48 * 1024 * 1024)
    mirror = t.folder_mirror("share", {"version.html": b"7.5.3\r\n",
                                       "vlr753.zip": make_zip({"big.dat": data})})
    before = t.folder_files()
    proc = t.start("E", wine_path(mirror))
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    d.wait_until("Label1", "the package is being read",
                 lambda s: s["text"].startswith("vlr753.zip\r\n"), timeout_s=30)
    d.run("click", "Command3")
    d.wait_until("Command3", "the stopped run ends: Finish", lambda s: s["text"] == "Finish",
                 timeout_s=20)
    check(proc.poll() is None and t.none_started(grace_s=0.5),
          "Cancel during the read started nothing")
    text = d.run("state", "Label1")["text"]
    check(text == UNZIP_EN, "the message reads %r" % UNZIP_EN)
    expect_unchanged(t, before)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


# --- lists of mirrors -----------------------------------------------------------------

def case_quiet_mirror_list(t):
    members, files = release("7.5.3")
    bad = dict(files, **{"vlr753.zip": make_zip(package_members("7.5.2"))})
    digest = __import__("hashlib").sha256(files["vlr753.zip"]).hexdigest()
    page = b"7.5.3\r\n\r\n<!-- sha256 vlr753.zip " + digest.encode() + b" -->\r\n"
    for folder, served in (("good", files), ("badzip", dict(bad, **{"version.html": page})),
                           ("goodzip", dict(files, **{"version.html": page}))):
        for name, data in served.items():
            os.makedirs(os.path.join(t.root, folder), exist_ok=True)
            t.write(os.path.join(t.root, folder, name), data)
    port = t.serve({})
    log = os.path.join(os.path.dirname(t.folder), "update.log")
    closed = "127.0.0.1:%d/" % free_port()
    busy = "127.0.0.1:%d/status/503/" % port
    good = "127.0.0.1:%d/good/" % port

    # Refused connection, 503 (given twice), then the release.
    # Two words: the raw argument text holds a blank after the second ";".
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", closed + ";" + busy + ";",
                     busy + ";" + good)
    check(code == 0, "the exit code is 0 (it was %r)" % code)
    expect_updated(t, members)
    check(t.requests() == ["/status/503/version.html", "/good/version.html", "/good/vlr753.zip"],
          "the 503 mirror was asked once, the third one for both files")
    lines = log_lines(t, log)
    for line in ("mirror 1 of 4 (%s): version.html -> not fetched or no version" % closed,
                 "mirror 2 of 4 (%s): version.html -> not fetched or no version" % busy,
                 "mirror 3 of 4 (%s): version.html -> not asked, it failed to answer earlier "
                 "in this run" % busy,
                 "mirror 4 of 4 (%s): version.html -> accepted, version 753" % good,
                 "mirror 4 of 4 (%s): vlr753.zip -> fetched" % good):
        check(line in lines, "the log says %r" % line)
    t.wait_lock_released()

    # The first mirror's package fails the digest, the second one's holds.
    os.remove(os.path.join(t.folder, "vlrupdate.installed"))
    asked = len(t.requests())
    bad_site, good_site = "127.0.0.1:%d/badzip/" % port, "127.0.0.1:%d/goodzip/" % port
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", bad_site + ";" + good_site)
    check(code == 0, "digest: the exit code is 0 (it was %r)" % code)
    check(t.requests()[asked:] == ["/badzip/version.html", "/badzip/vlr753.zip",
                                   "/goodzip/vlr753.zip"],
          "the package was asked of the second mirror, its version file was not")
    lines = log_lines(t, log)
    check("mirror 1 of 2 (%s): vlr753.zip -> digest does not match" % bad_site in lines and
          "mirror 2 of 2 (%s): vlr753.zip -> fetched" % good_site in lines,
          "the log tells both package attempts")
    expect_updated(t, members)
    t.wait_lock_released()

    # Every mirror fails: exit 1.
    before = t.folder_files()
    code = run_quiet(t, "/quiet", "E", closed + ";" + busy + ";127.0.0.1:%d/none/" % port)
    check(code == 1, "all failing: the exit code is 1 (it was %r)" % code)
    expect_unchanged(t, before)
    expect_no_temp(t)


# --- a proxy that asks for credentials ------------------------------------------------

def case_proxy_credentials(t):
    members, files = release("7.5.3")
    port = t.serve(files)
    proxy = t.start_proxy("admin", "s3cret")
    os.environ["http_proxy"] = "http://127.0.0.1:%d" % proxy
    os.environ.pop("no_proxy", None)
    site = "127.0.0.1:%d/" % port
    log = os.path.join(os.path.dirname(t.folder), "update.log")

    # The right credentials at the first question.
    proc = t.start("/log:" + wine_path(log), "E", site)
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    box = d.run("input-box", 30000)
    check("proxy" in box["prompt"], "a box asks for the proxy's credentials: %r" % box["prompt"])
    t.screenshot("proxy_credentials_box")
    d.run("type-credentials", "admin", "s3cret", 5000)
    d.wait_until("Command3", "the run ended", lambda s: s["text"] == "Finish", timeout_s=40)
    text = d.controls()["Label1"]["text"]
    check(text == SUCCESS_EN % "7.5.3", "the update succeeded through the proxy: %r" % text)
    expect_updated(t, members)
    asked = t.proxy_requests()
    # Basic credentials go with a request once the proxy has asked for them.
    check(asked[0][:2] == ["407", "credentials=none"] and
          [a[:2] for a in asked if a[0] == "200"] == [["200", "credentials=good"]] * 2 and
          asked[-1][:2] == ["200", "credentials=good"] and
          "credentials=wrong" not in [a[1] for a in asked],
          "the proxy refused the first request, then passed both files (%r)" % asked)
    check(t.requests() == ["/version.html", "/vlr753.zip"], "the mirror served both files")
    press_finish(t, proc, "vlrmain.exe")
    check(b"s3cret" not in t.read(log), "the password is not in the log")

    # Wrong credentials, asked again, then Cancel: the connection failure.
    os.remove(os.path.join(t.folder, "vlrupdate.installed"))
    before = t.folder_files()
    proc = t.start("E", site)
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command2")
    d.wait_until("Frame2", "Next shows step 1", lambda s: s["visible"])
    d.run("click", "Command2")
    d.run("type-credentials", "admin", "wrong", 30000)
    deadline = time.monotonic() + 30
    while not d.run("input-box", 30000)["prompt"].startswith("The proxy refused them."):
        if time.monotonic() > deadline:
            raise Failure("wrong credentials were not asked for again")
        time.sleep(0.2)
    print("  ok: wrong credentials: asked again")
    d.run("input-cancel", 5000)
    d.wait_until("Command3", "the run ended", lambda s: s["text"] == "Finish", timeout_s=40)
    text = d.controls()["Label1"]["text"]
    check(text == CONNECT_EN, "Cancel ends as a connection failure: %r" % text)
    check("credentials=wrong" in [a[1] for a in t.proxy_requests()], "the wrong ones were sent")
    expect_unchanged(t, before)
    press_finish(t, proc, "vlrmain.exe")

    # Unattended: never asks.
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", site)
    check(code == 1, "/quiet: the exit code is 1 (it was %r)" % code)
    lines = log_lines(t, log)
    check("the proxy asks for credentials (407)" in lines, "the log says the proxy asks")
    expect_unchanged(t, before)
    expect_no_temp(t)


CASES = {
    "folder_mirrors": case_folder_mirrors,
    "folder_cancel": case_folder_cancel,
    "quiet_mirror_list": case_quiet_mirror_list,
    "proxy_credentials": case_proxy_credentials,
}


if __name__ == "__main__":
    sys.exit(run_case(CASES, lambda args: MirrorsCase(args, "mirrors_" + args.case),
                      [("--mirror", "tools/mirror/mirror.py"), ("--proxy", "tools/mirror/proxy.py")]))
