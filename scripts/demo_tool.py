#!/usr/bin/env python3
"""The demo's helpers (scripts/demo.sh):

    demo_tool.py make  --bin-dir B --demo-dir D    sample Veloran folder and mirror root
    demo_tool.py drive --bin-dir B --demo-dir D --site S
                       the updater on this display, worked through Next, Next and Finish
                       by uidriver.exe, with a screenshot of every step
    demo_tool.py check --demo-dir D                 did the update happen?

The sample package is version 7.5.3: a new readme, a data file, release notes stored
under a folder. Exit status 0 when the step worked. Standard library only.
"""

import argparse
import io
import os
import random
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from e2e_support import Driver, Failure  # noqa: E402

VERSION = "7.5.3"
PACKAGE = "vlr753.zip"
OLD_FILES = {"readme.txt": b"Veloran 7.5.2\r\n", "vlrdata.dat": b"old data\r\n" * 100}


def new_files():
    rng = random.Random(753)
    return {
        "readme.txt": b"Veloran 7.5.3\r\nWhat's new: faster maps, fewer bugs.\r\n",
        "vlrdata.dat": bytes(rng.getrandbits(8) for _ in range(24 * 1024)),
        "docs/changes.txt": b"7.5.3: the sample release of the demo\r\n" * 50,
    }


def folder_of(args):
    return os.path.join(args.demo_dir, "veloran")


def make(args):
    folder, root = folder_of(args), os.path.join(args.demo_dir, "mirror-root")
    for d in (folder, root, os.path.join(args.demo_dir, "screenshots")):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    for name in ("vlrupdate.exe", "unzip32.dll"):
        shutil.copy2(os.path.join(args.bin_dir, name), folder)
    for name in ("vlrmain.exe", "vlrmainfr.exe"):
        shutil.copy2(os.path.join(args.bin_dir, "vlrstub.exe"), os.path.join(folder, name))
    for name, data in OLD_FILES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    with open(os.path.join(root, "version.html"), "wb") as f:
        f.write(("<html><body>Veloran %s</body></html>\r\n" % VERSION).encode())
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in new_files().items():
            z.writestr(name, data)
    with open(os.path.join(root, PACKAGE), "wb") as f:
        f.write(buffer.getvalue())
    print("sample folder:  %s (old files: %s)" % (folder, ", ".join(OLD_FILES)))
    print("sample package: %s, version.html says %s" % (os.path.join(root, PACKAGE), VERSION))
    return 0


def check(args):
    """The folder holds the package's files and Veloran's stand-in was started."""
    folder, ok = folder_of(args), True
    for name, data in new_files().items():
        path = os.path.join(folder, os.path.basename(name))
        same = os.path.isfile(path) and open(path, "rb").read() == data
        print("  %-14s %s" % (os.path.basename(name), "updated" if same else "NOT updated"))
        ok = ok and same
    deadline = time.monotonic() + 20
    started = os.path.join(folder, "vlrmain.exe.started")
    while not os.path.exists(started) and time.monotonic() < deadline:
        time.sleep(0.2)
    if os.path.exists(started):
        print("  vlrmain.exe was started by Finish")
    else:
        print("  vlrmain.exe was NOT started")
        ok = False
    return 0 if ok else 1


def drive(args):
    folder, shots = folder_of(args), os.path.join(args.demo_dir, "screenshots")

    def shot(name):
        time.sleep(0.4)  # let the last repaint reach the X server
        path = os.path.join(shots, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("  screenshot: " + path)

    updater = subprocess.Popen([os.environ.get("WINELOADER", "wine"), os.path.join(folder, "vlrupdate.exe"), "E", args.site],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    d = Driver(args.bin_dir)
    try:
        d.run("find", 60000)
        print("step 0: " + d.run("state", "Label1")["text"].replace("\r\n", " "))
        shot("1-step0")
        d.run("click", "Command2")
        d.wait_until("Frame2", "Next: step 1, the mirror choice", lambda s: s["visible"])
        print("step 1: " + d.run("state", "Label1")["text"].replace("\r\n", " "))
        shot("2-step1")
        d.run("click", "Command2")
        d.wait_until("Command3", "Next: the update ran, the last button reads Finish",
                     lambda s: s["text"] == "Finish", timeout_s=60)
        message = d.run("state", "Label1")["text"]
        print("step 2: " + message.replace("\r\n", " / "))
        shot("3-step2-finished")
        d.run("click", "Command3")
        d.run("wait-gone", 30000)
        updater.wait(timeout=30)
        print("Finish: the updater ended")
    except (Failure, subprocess.TimeoutExpired) as failure:
        print("the demo run failed: %s" % failure)
        return 1
    finally:
        if updater.poll() is None:
            updater.kill()
            updater.wait()
        d.close()
    return 0 if message.startswith("Update succeeded!") else 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("action", choices=("make", "drive", "check"))
    p.add_argument("--bin-dir")
    p.add_argument("--demo-dir", required=True)
    p.add_argument("--site")
    args = p.parse_args()
    return {"make": make, "drive": drive, "check": check}[args.action](args)


if __name__ == "__main__":
    sys.exit(main())
