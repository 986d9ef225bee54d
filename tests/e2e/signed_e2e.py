#!/usr/bin/env python3
"""End-to-end tests of signed updates: vlrupdate.exe built with the test key (bin/testkey),
with the test key and the other one (bin/twokeys) or with the other one alone
(bin/otherkey) under Wine, against a loopback mirror whose files are signed by the stock
openssl command, as a publisher signs them.

    signed_e2e.py --bin-dir DIR --work-dir DIR --screenshots DIR --mirror PATH --keys DIR CASE

Standard library only, besides the openssl command.
"""

import datetime
import hashlib
import os
import shutil
import subprocess
import sys

from e2e_support import check, run_case, utc_today
from update_e2e import (UpdateCase, expect_no_temp, expect_unchanged, expect_updated,
                        failed_run, make_zip, package_members, press_finish, run_quiet,
                        run_to_finish, wine_path)

NOT_AUTHENTIC_EN = "Update not authentic!"
NOT_AUTHENTIC_FR = "Mise-à-jour non authentique!"
SUCCESS_EN = "Update succeeded!\r\nVersion 7.5.3"
SUCCESS_FR = "Mise-à-jour réussie!\r\nVersion 7.5.3"
RECORD = "vlrupdate.installed"


class SignedCase(UpdateCase):
    """A Veloran folder whose updater is the one built with the keys of `build`."""

    def __init__(self, args, name, build="testkey"):
        super().__init__(args, name)
        shutil.copy2(self.updater(build), self.folder)
        self.keys = args.keys

    def updater(self, build):
        return os.path.join(self.args.bin_dir, build, "vlrupdate.exe")

    def sign(self, data, key="test_private.pem"):
        """The DER signature `openssl dgst -sha256 -sign` makes of `data`."""
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(self.keys, key)],
                              input=data, stdout=subprocess.PIPE, check=True).stdout


def digest_line(name, data):
    return b"<!-- sha256 %s %s -->\r\n" % (name.encode(), hashlib.sha256(data).hexdigest().encode())


def signed_files(t, version="7.5.3", named=None, served=None, expires=None,
                 key="test_private.pem"):
    """A signed mirror of `version`: version.html names the digests of the English and
    French packages in `named` (made of `version` unless given) and, given a date, the
    day it `expires`, signed with `key`; `served` replaces what the mirror serves under a
    package's name. Returns (English members, files)."""
    members = package_members(version)
    digits = version.replace(".", "")
    named = named or {"vlr%s.zip" % digits: make_zip(members),
                      "vlr%sfr.zip" % digits: make_zip(package_members(version + "fr"))}
    page = version.encode() + b"\r\n\r\n" + b"".join(digest_line(n, d) for n, d in named.items())
    if expires:
        page += b"<!-- expires %s -->\r\n" % expires.isoformat().encode()
    files = {"version.html": page, "version.html.sig": t.sign(page, key)}
    files.update(named)
    files.update(served or {})
    return members, files


def refused(t, files, requests, language="E", message=None):
    """The run ends not authentic (or with `message`), having asked for `requests`: the
    folder is as it was and no downloaded file is left."""
    message = message or (NOT_AUTHENTIC_FR if language == "F" else NOT_AUTHENTIC_EN)
    failed_run(t, files, message, requests, t.name, language=language)


PAGE_REQUESTS = ["/version.html", "/version.html.sig"]
PACKAGE_REQUESTS = PAGE_REQUESTS + ["/vlr753.zip"]
# A first signature that does not verify sends the updater to the second one.
BOTH_SIGNATURES = PAGE_REQUESTS + ["/version.html.sig2"]


def signed_update(t, language, package, program, message):
    members, files = signed_files(t)
    if language == "F":
        members = package_members("7.5.3fr")
    port = t.serve(files)
    proc, text = run_to_finish(t, language, "127.0.0.1:%d/" % port, "signed_" + language)
    check(text == message, "the message reads %r" % message)
    check(t.requests() == PAGE_REQUESTS + ["/" + package],
          "the version file with its signature, then the package alone")
    expect_updated(t, members)
    check(t.read(os.path.join(t.folder, RECORD)) == b"753\r\n", "the version is recorded")
    expect_no_temp(t)
    press_finish(t, proc, program)


def case_signed_success(t):
    signed_update(t, "E", "vlr753.zip", "vlrmain.exe", SUCCESS_EN)


def case_signed_success_french(t):
    signed_update(t, "F", "vlr753fr.zip", "vlrmainfr.exe", SUCCESS_FR)


def case_signed_package_changed(t):
    members, files = signed_files(t)
    changed = bytearray(files["vlr753.zip"])
    changed[len(changed) // 2] ^= 0x01  # one byte, after signing
    files["vlr753.zip"] = bytes(changed)
    refused(t, files, PACKAGE_REQUESTS)


def case_signed_older_package_under_new_name(t):
    # A genuine 7.5.2 package served as vlr753.zip: its digest is not 7.5.3's.
    _, files = signed_files(t, served={"vlr753.zip": make_zip(package_members("7.5.2"))})
    refused(t, files, PACKAGE_REQUESTS)


def case_signed_english_package_to_french_run(t):
    _, files = signed_files(t)
    files["vlr753fr.zip"] = files["vlr753.zip"]
    refused(t, files, PAGE_REQUESTS + ["/vlr753fr.zip"], language="F")


def case_signed_no_digest_line(t):
    _, files = signed_files(t, named={"vlr753fr.zip": b"only the French one"})
    files["vlr753.zip"] = make_zip(package_members("7.5.3"))
    refused(t, files, PAGE_REQUESTS)


def case_signed_other_key(t):
    _, files = signed_files(t)
    files["version.html.sig"] = t.sign(files["version.html"], "other_private.pem")
    refused(t, files, BOTH_SIGNATURES)


def case_signed_missing_signature(t):
    _, files = signed_files(t)
    del files["version.html.sig"]
    refused(t, files, BOTH_SIGNATURES)


def case_signed_version_changed(t):
    # In French: version.html changed after signing is refused before any package is
    # asked for.
    _, files = signed_files(t)
    files["version.html"] = files["version.html"].replace(b"7.5.3", b"7.5.4", 1)
    refused(t, files, BOTH_SIGNATURES, language="F")


def case_signed_downgrade_refused(t):
    t.write(os.path.join(t.folder, RECORD), b"754\r\n")
    _, files = signed_files(t)
    refused(t, files, PAGE_REQUESTS, message="Update refused!\r\nVersion 7.5.3 is older than 7.5.4")


def case_signed_downgrade_refused_french(t):
    t.write(os.path.join(t.folder, RECORD), b"754\r\n")
    _, files = signed_files(t)
    refused(t, files, PAGE_REQUESTS, language="F",
            message="Mise-à-jour refusée!\r\nLa version 7.5.3 est plus ancienne que 7.5.4")


def case_signed_same_version_again(t):
    # A repair: the recorded version is installed again.
    t.write(os.path.join(t.folder, RECORD), b"753\r\n")
    signed_update(t, "E", "vlr753.zip", "vlrmain.exe", SUCCESS_EN)


# --- several keys, a change of keys, an expiring version file -------------------------

def publish(t, files):
    """The mirror's folder holds `files` from now on (the mirror serves from disk)."""
    for name in os.listdir(t.root):
        os.remove(os.path.join(t.root, name))
    for name, data in files.items():
        t.write(os.path.join(t.root, name), data)


def quiet_update(t, site, files, expected, log=None, requests=PAGE_REQUESTS):
    """Publishes `files` and runs the updater with /quiet (and a log); checks its exit
    code, that a refused run asked for nothing but `requests` (version.html and its
    signature) and changed nothing, and gives the log's lines."""
    publish(t, files)
    asked = len(t.requests())
    before = {n: d for n, d in t.folder_files().items() if not n.startswith(".~uz32-")}
    log = log or os.path.join(os.path.dirname(t.folder), "update.log")
    if os.path.exists(log):
        os.remove(log)
    code = run_quiet(t, "/quiet", "/log:" + wine_path(log), "E", site)
    check(code == expected, "the exit code is %d (it was %r)" % (expected, code))
    if expected != 0:
        check(t.requests()[asked:] == requests, "only version.html and its signatures")
        # The files a replaced updater left aside go at the next start, whatever follows.
        after = {n: d for n, d in t.folder_files().items() if not n.startswith(".~uz32-")}
        check(after == before, "the Veloran folder is unchanged")
    expect_no_temp(t)
    return t.read(log).decode("utf-8").split("\r\n")


def case_two_keys(t):
    """An updater trusting two keys takes a version file signed by either, refuses one
    signed by a third key, and takes one that expires today or later."""
    today = utc_today()
    site = "127.0.0.1:%d/" % t.serve({})
    members, files = signed_files(t, "7.5.3", expires=today)
    lines = quiet_update(t, site, files, 0)
    expect_updated(t, members)
    for line in ("package keys: 2 built in", "signature of version.html: good (key 1 of 2)",
                 "version file expires on %s (today %s)" % (today, today)):
        check(line in lines, "the log says %r" % line)
    members, files = signed_files(t, "7.5.4", expires=today + datetime.timedelta(days=3650),
                                  key="other_private.pem")
    lines = quiet_update(t, site, files, 0)
    expect_updated(t, members)
    check("signature of version.html: good (key 2 of 2)" in lines, "the other key signed it")
    _, files = signed_files(t, "7.5.5", key="third_private.pem")
    lines = quiet_update(t, site, files, 2, requests=BOTH_SIGNATURES)
    check("signature of version.html: missing or wrong" in lines, "a third key is no key")
    check(t.read(os.path.join(t.folder, RECORD)) == b"754\r\n", "7.5.4 stays recorded")


def case_two_keys_expired(t):
    """A version file that expired yesterday is refused as not authentic, in the wizard
    and in an unattended run, before the package is asked for."""
    today = utc_today()
    yesterday = today - datetime.timedelta(days=1)
    _, files = signed_files(t, expires=yesterday, key="other_private.pem")
    refused(t, files, PAGE_REQUESTS)
    lines = quiet_update(t, "127.0.0.1:%d/" % t.port, files, 2)
    line = "version file expired on %s (today %s)" % (yesterday, today)
    check(line in lines and "outcome: Update not authentic!" in lines,
          "the log says %r and the outcome" % line)


def case_key_change(t):
    """The change from key A (the test key) to key B (the other one), through the
    updater itself: an updater trusting A installs release 7.5.3, signed with A, whose
    package carries an updater trusting A and B; that one installs 7.5.4, signed with B,
    which carries an updater trusting B alone; that one refuses 7.5.5 signed with A."""
    site = "127.0.0.1:%d/" % t.serve({})
    exe = os.path.join(t.folder, "vlrupdate.exe")
    steps = [("7.5.3", "test_private.pem", "twokeys"), ("7.5.4", "other_private.pem", "otherkey")]
    for version, key, carried in steps:
        new_updater = t.read(t.updater(carried))
        members = dict(package_members(version), **{"vlrupdate.exe": new_updater})
        digits = version.replace(".", "")
        _, files = signed_files(t, version, key=key,
                                named={"vlr%s.zip" % digits: make_zip(members)})
        lines = quiet_update(t, site, files, 0)
        check("outcome: Update succeeded! / Version %s" % version in lines,
              "%s signed with %s is installed" % (version, key))
        check(t.read(exe) == new_updater, "the updater is now the one of bin/%s" % carried)
    check("signature of version.html: good (key 2 of 2)" in lines,
          "7.5.4 was checked by the updater trusting both keys")
    _, files = signed_files(t, "7.5.5", key="test_private.pem")
    lines = quiet_update(t, site, files, 2, requests=BOTH_SIGNATURES)
    check("package key: built in" in lines and "signature of version.html: missing or wrong" in lines,
          "the updater trusting B alone refuses a version file signed with A")
    check(t.read(os.path.join(t.folder, RECORD)) == b"754\r\n", "7.5.4 stays recorded")


def case_signed_folder_and_list(t):
    """A signed release from a UNC folder in the wizard and from a drive letter in an
    unattended run; a list whose one answering mirror serves a bad signature ends with 2."""
    from mirrors_e2e import share_folder
    from update_e2e import free_port
    members, files = signed_files(t)
    mirror = os.path.join(os.path.dirname(t.folder), "share")
    publish_to = lambda served: [t.write(os.path.join(mirror, n), d) for n, d in served.items()]
    os.makedirs(mirror)
    publish_to(files)
    unc, link = share_folder(mirror)
    try:
        proc, text = run_to_finish(t, "E", unc, "signed_folder_unc")
        check(text == SUCCESS_EN, "UNC: the message reads %r" % text)
        expect_updated(t, members)
        press_finish(t, proc, "vlrmain.exe")
    finally:
        os.remove(link)
    members, files = signed_files(t, "7.5.4")
    publish_to(files)
    code = run_quiet(t, "/quiet", "E", wine_path(mirror))
    check(code == 0, "drive letter: the exit code is 0 (it was %r)" % code)
    expect_updated(t, members)
    t.wait_lock_released()
    _, files = signed_files(t, "7.5.5", key="third_private.pem")
    port = t.serve(files)
    before = t.folder_files()
    code = run_quiet(t, "/quiet", "E", "127.0.0.1:%d/;127.0.0.1:%d/" % (free_port(), port))
    check(code == 2, "a list with a bad signature: the exit code is 2 (it was %r)" % code)
    expect_unchanged(t, before)
    expect_no_temp(t)


CASES = {
    "signed_folder_and_list": case_signed_folder_and_list,
    "signed_success": case_signed_success,
    "signed_success_french": case_signed_success_french,
    "signed_package_changed": case_signed_package_changed,
    "signed_older_package_under_new_name": case_signed_older_package_under_new_name,
    "signed_english_package_to_french_run": case_signed_english_package_to_french_run,
    "signed_no_digest_line": case_signed_no_digest_line,
    "signed_other_key": case_signed_other_key,
    "signed_missing_signature": case_signed_missing_signature,
    "signed_version_changed": case_signed_version_changed,
    "signed_downgrade_refused": case_signed_downgrade_refused,
    "signed_downgrade_refused_french": case_signed_downgrade_refused_french,
    "signed_same_version_again": case_signed_same_version_again,
    "two_keys": case_two_keys,
    "two_keys_expired": case_two_keys_expired,
    "key_change": case_key_change,
}


def make(args):
    build = "twokeys" if args.case.startswith("two_keys") else "testkey"
    t = SignedCase(args, "update_" + args.case, build)
    t.name = args.case
    return t


if __name__ == "__main__":
    sys.exit(run_case(CASES, make, [("--mirror", "tools/mirror/mirror.py"),
                                    ("--keys", "tests/signing/keys")]))
