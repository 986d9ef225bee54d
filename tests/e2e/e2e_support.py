"""What the end-to-end tests share: the UI driver in its serving mode, a fresh Veloran
folder with stand-ins for Veloran's programs, starting the updater in it under Wine,
bounded waits and screenshots. Standard library only."""

import argparse
import datetime
import json
import os
import select
import shutil
import subprocess
import sys
import time

WINDOW_TIMEOUT_MS = 30000
REPLY_TIMEOUT_S = 40


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("  ok:", what)


def utc_today():
    """Today's UTC date, as the programs under test will see it for the next few minutes:
    near midnight this first waits for the new day, so that no run of a case starts on
    another day than the one it was given."""
    now = datetime.datetime.now(datetime.timezone.utc)
    left = 86400 - (now.hour * 3600 + now.minute * 60 + now.second)
    if left < 300:
        print("  waiting %d s for the new UTC day" % (left + 2))
        time.sleep(left + 2)
    return datetime.datetime.now(datetime.timezone.utc).date()


class Driver:
    """uidriver.exe in its serving mode: one command a line, one reply a line."""

    def __init__(self, bin_dir):
        self.proc = subprocess.Popen(
            [os.environ.get("WINELOADER", "wine"), os.path.join(bin_dir, "uidriver.exe"), "serve"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.buffer = b""

    def run(self, *args):
        line = "\t".join(str(a) for a in args) + "\n"
        self.proc.stdin.write(line.encode("utf-8"))
        self.proc.stdin.flush()
        deadline = time.monotonic() + REPLY_TIMEOUT_S
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("uidriver did not answer %r" % (args,))
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise Failure("uidriver ended while answering %r" % (args,))
                self.buffer += chunk
        reply, self.buffer = self.buffer.split(b"\n", 1)
        reply = reply.decode("utf-8").rstrip("\r")
        if reply.startswith("error"):
            raise Failure("uidriver %r: %s" % (args, reply))
        payload = reply[3:] if reply.startswith("ok ") else ""
        return json.loads(payload) if payload else None

    def controls(self):
        return {c["name"]: c for c in self.run("list") if c["name"]}

    def wait_until(self, name, what, predicate, timeout_s=10):
        """Polls the state of control `name` until `predicate` holds."""
        deadline = time.monotonic() + timeout_s
        while True:
            state = self.run("state", name)
            if predicate(state):
                print("  ok:", what)
                return state
            if time.monotonic() > deadline:
                raise Failure("%s (last state of %s: %r)" % (what, name, state))
            time.sleep(0.1)

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()


class Case:
    def __init__(self, args, name):
        self.args = args
        self.folder = os.path.join(args.work_dir, name, "Veloran")
        shutil.rmtree(os.path.dirname(self.folder), ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy2(os.path.join(args.bin_dir, "vlrupdate.exe"), self.folder)
        for program in ("vlrmain.exe", "vlrmainfr.exe"):
            shutil.copy2(os.path.join(args.bin_dir, "vlrstub.exe"),
                         os.path.join(self.folder, program))
        self.updaters = []
        self.driver = Driver(args.bin_dir)

    def start(self, *words):
        """Starts the updater; the words joined by blanks are its raw argument text."""
        exe = os.path.join(self.folder, "vlrupdate.exe")
        proc = subprocess.Popen([os.environ.get("WINELOADER", "wine"), exe] + list(words),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.updaters.append(proc)
        return proc

    def started(self, program):
        return os.path.exists(os.path.join(self.folder, program + ".started"))

    def wait_started(self, program, timeout_s=20):
        """The stand-in runs on its own after the updater ended: wait for its record."""
        deadline = time.monotonic() + timeout_s
        while not self.started(program):
            if time.monotonic() > deadline:
                return False
            time.sleep(0.1)
        return True

    def none_started(self, grace_s=1.5):
        """Neither stand-in ran, not even a moment after the updater ended."""
        deadline = time.monotonic() + grace_s
        while time.monotonic() < deadline:
            if self.started("vlrmain.exe") or self.started("vlrmainfr.exe"):
                return False
            time.sleep(0.1)
        return True

    def marker(self, program):
        with open(os.path.join(self.folder, program + ".started"), "rb") as f:
            return f.read().decode("utf-16-le")

    def wait_exit(self, proc, what, timeout_s=30):
        try:
            proc.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            raise Failure(what + ": still running after %d s" % timeout_s)
        print("  ok:", what)

    def wait_lock_released(self):
        """The instance lock goes with the last updater; the next start needs it gone."""
        lock = os.path.join(self.folder, "vlrupdate.lock")
        deadline = time.monotonic() + 15
        while os.path.exists(lock):
            if time.monotonic() > deadline:
                raise Failure("the instance lock file outlived the updater")
            time.sleep(0.1)
        print("  ok: the instance lock file is gone")

    def screenshot(self, name):
        os.makedirs(self.args.screenshots, exist_ok=True)
        path = os.path.join(self.args.screenshots, name + ".png")
        time.sleep(0.3)  # let the last repaint reach the X server
        subprocess.run(["import", "-window", "root", path], check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print("  screenshot:", path)

    def finish(self):
        for proc in self.updaters:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.driver.close()


def run_case(cases, make_case, extra_arguments=()):
    """The command line of an e2e script: --bin-dir, --work-dir, --screenshots, the
    script's own `extra_arguments` ((flag, help) pairs, all required) and the case name;
    builds the case with make_case(args), runs it and gives the exit status."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--screenshots", required=True)
    for flag, help_text in extra_arguments:
        parser.add_argument(flag, required=True, help=help_text)
    parser.add_argument("case", choices=sorted(cases))
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("no DISPLAY: run under xvfb-run", file=sys.stderr)
        return 1
    print("case", args.case)
    t = None
    try:
        t = make_case(args)
        cases[args.case](t)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        if t:
            t.finish()
    print("passed")
    return 0
