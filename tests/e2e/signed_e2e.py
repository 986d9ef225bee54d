#!/usr/bin/env python3
"""End-to-end tests of signed updates: vlrupdate.exe built with the test key (bin/testkey)
under Wine, against a loopback mirror whose files are signed by the stock openssl
command, as a publisher signs them.

    signed_e2e.py --bin-dir DIR --work-dir DIR --screenshots DIR --mirror PATH --keys DIR CASE

Standard library only, besides the openssl command.
"""

import os
import shutil
import subprocess
import sys

from e2e_support import check, run_case
from update_e2e import (UpdateCase, expect_no_temp, expect_updated, failed_run, make_zip,
                        package_members, press_finish, run_to_finish)

NOT_AUTHENTIC_EN = "Update not authentic!"
NOT_AUTHENTIC_FR = "Mise-à-jour non authentique!"
SUCCESS_EN = "Update succeeded!\r\nVersion 7.5.3"


class SignedCase(UpdateCase):
    def __init__(self, args, name):
        super().__init__(args, name)
        shutil.copy2(os.path.join(args.bin_dir, "testkey", "vlrupdate.exe"), self.folder)
        self.keys = args.keys

    def sign(self, data, key="test_private.pem"):
        """The DER signature `openssl dgst -sha256 -sign` makes of `data`."""
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(self.keys, key)],
                              input=data, stdout=subprocess.PIPE, check=True).stdout


def signed_files(t, package="vlr753.zip"):
    """version.html, the package and both signatures, all good; and the members."""
    members = package_members("7.5.3")
    version, zipped = b"7.5.3\r\n", make_zip(members)
    return members, {"version.html": version, "version.html.sig": t.sign(version),
                     package: zipped, package + ".sig": t.sign(zipped)}


def refused(t, files, requests, language="E"):
    """The run ends not authentic, having asked for `requests`: the folder is as it was
    and no downloaded file is left."""
    failed_run(t, files, NOT_AUTHENTIC_FR if language == "F" else NOT_AUTHENTIC_EN, requests,
               t.name, language=language)


def case_signed_success(t):
    members, files = signed_files(t)
    port = t.serve(files)
    proc, text = run_to_finish(t, "E", "127.0.0.1:%d/" % port, "signed_success")
    check(text == SUCCESS_EN, "the message reads %r" % SUCCESS_EN)
    check(t.requests() == ["/version.html", "/version.html.sig", "/vlr753.zip", "/vlr753.zip.sig"],
          "each file was fetched with its signature")
    expect_updated(t, members)
    expect_no_temp(t)
    press_finish(t, proc, "vlrmain.exe")


PACKAGE_REQUESTS = ["/version.html", "/version.html.sig", "/vlr753.zip", "/vlr753.zip.sig"]


def case_signed_package_changed(t):
    _, files = signed_files(t)
    changed = bytearray(files["vlr753.zip"])
    changed[len(changed) // 2] ^= 0x01  # one byte, after signing
    files["vlr753.zip"] = bytes(changed)
    refused(t, files, PACKAGE_REQUESTS)


def case_signed_other_key(t):
    _, files = signed_files(t)
    files["vlr753.zip.sig"] = t.sign(files["vlr753.zip"], "other_private.pem")
    refused(t, files, PACKAGE_REQUESTS)


def case_signed_missing_signature(t):
    _, files = signed_files(t)
    del files["vlr753.zip.sig"]
    refused(t, files, PACKAGE_REQUESTS)


def case_signed_version_changed(t):
    # In French: version.html changed after signing is refused before any package is
    # asked for.
    _, files = signed_files(t, "vlr753fr.zip")
    files["version.html"] = b"7.5.4\r\n"
    refused(t, files, ["/version.html", "/version.html.sig"], language="F")


CASES = {
    "signed_success": case_signed_success,
    "signed_package_changed": case_signed_package_changed,
    "signed_other_key": case_signed_other_key,
    "signed_missing_signature": case_signed_missing_signature,
    "signed_version_changed": case_signed_version_changed,
}


def make(args):
    t = SignedCase(args, "update_" + args.case)
    t.name = args.case
    return t


if __name__ == "__main__":
    sys.exit(run_case(CASES, make, [("--mirror", "tools/mirror/mirror.py"),
                                    ("--keys", "tests/signing/keys")]))
