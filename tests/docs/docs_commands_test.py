#!/usr/bin/env python3
"""The documentation's commands, run as the pages write them.

Every command block of README.md and docs/*.md is marked (see doc_blocks.py): the
blocks marked run are run with bash, each in a scratch folder of its own (also its
HOME) with the build's programs first on PATH, after the fixtures its mark names; each
must end with 0. The skipped ones are listed with their reasons. The pages' links (and
those of the products' own READMEs) to files of the tree, and to headings of those
files, must lead somewhere.

  docs_commands_test.py --source-dir DIR --bin-dir BUILD/bin --work-dir DIR
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_blocks  # noqa: E402


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# --- fixtures: what a block's commands expect to find in its folder -------------------

def keys(scratch, source):
    """private.pem and public.pem, the tests' signing key pair, where the pages keep keys:
    in ~/vlr-keys (the scratch folder is HOME), and beside the commands."""
    folder = os.path.join(source, "tests", "signing", "keys")
    for where in (scratch, os.path.join(scratch, "vlr-keys")):
        os.makedirs(where, exist_ok=True)
        shutil.copy(os.path.join(folder, "test_private.pem"), os.path.join(where, "private.pem"))
        shutil.copy(os.path.join(folder, "test_public.pem"), os.path.join(where, "public.pem"))


def release_folders(scratch, source):
    """Veloran's release folders veloran-7.5.3/en and fr, and release.sh's output
    ~/rel/1.0.0 (the binaries are stand-ins: nothing here looks into them)."""
    for language, program in (("en", "vlrmain.exe"), ("fr", "vlrmainfr.exe")):
        write(os.path.join(scratch, "veloran-7.5.3", language, program), b"MZ stand-in\r\n")
        write(os.path.join(scratch, "veloran-7.5.3", language, "readme.txt"),
              b"Veloran 7.5.3\r\n" * 50)
    for name in ("vlrupdate.exe", "unzip32.dll"):
        write(os.path.join(scratch, "rel", "1.0.0", name), b"MZ stand-in\r\n")


def hand_mirror(scratch, source):
    """A mirror folder as a publisher has it before signing by hand: a page, a
    package and the private key."""
    write(os.path.join(scratch, "version.html"), b"<p>Veloran 7.5.3</p>\r\n")
    write(os.path.join(scratch, "vlr753.zip"), b"PK\x05\x06" + bytes(18))
    keys(scratch, source)


FIXTURES = {"keys": keys, "release-folders": release_folders, "hand-mirror": hand_mirror}


# --- links ----------------------------------------------------------------------------

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")


def slug(heading):
    """A heading's anchor as the usual Markdown renderers make it."""
    text = heading.strip().lower().replace("`", "")
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        return {slug(line.lstrip("#")) for line in f if re.match(r"^#{1,6} ", line)}


def link_problems(page):
    problems = []
    with open(page, encoding="utf-8") as f:
        text = f.read()
    for target in LINK.findall(text):
        if re.match(r"^[a-z]+:", target):
            continue  # an address outside the tree
        name, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(os.path.dirname(page), name)) if name else page
        if not os.path.exists(path):
            problems.append("%s: a link to %s, which does not exist" % (page, target))
        elif anchor and path.endswith(".md") and anchor not in anchors(path):
            problems.append("%s: a link to %s, a heading %s does not have" % (page, target, name or "the page"))
    return problems


# --- the run --------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work-dir", required=True)
    args = parser.parse_args()
    source = os.path.abspath(args.source_dir)
    work = os.path.abspath(args.work_dir)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    problems, ran, skipped = [], 0, 0
    for page in doc_blocks.pages(source):
        found, marks = doc_blocks.blocks(page)
        problems += marks + link_problems(page)
        for block in found:
            name = os.path.relpath(page, source) + ":%d" % block.line
            if block.mark == "skip":
                skipped += 1
                print("skipped %s: %s" % (name, block.words))
                continue
            if block.mark != "run":
                continue
            unknown = [w for w in block.words if w not in FIXTURES]
            if unknown:
                problems.append("%s: unknown fixtures %s" % (name, " ".join(unknown)))
                continue
            scratch = os.path.join(work, re.sub(r"[^\w.-]", "_", name))
            os.makedirs(scratch)
            for fixture in block.words:
                FIXTURES[fixture](scratch, source)
            env = dict(os.environ, HOME=scratch,
                       PATH=os.path.abspath(args.bin_dir) + os.pathsep + os.environ["PATH"])
            try:
                done = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", block.text],
                                      cwd=scratch, env=env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                      timeout=60)
                code, output = done.returncode, done.stdout.decode("utf-8", "replace")
            except subprocess.TimeoutExpired:
                code, output = "a timeout (60 s)", ""
            ran += 1
            if code == 0:
                print("ran %s" % name)
            else:
                problems.append("%s ended with %s:\n%s%s" % (name, code, block.text, output))

    # The pages of the products' own folders, linked from the docs, link back into them.
    for other in ("vlrpublish/README.md", "unzip32/README.md", "bench/update/README.md"):
        if os.path.exists(os.path.join(source, other)):  # the docs' own links say if not
            problems += link_problems(os.path.join(source, other))

    for problem in problems:
        print("FAIL " + problem)
    print("%d blocks run, %d skipped, %d problems" % (ran, skipped, len(problems)))
    return 1 if problems or ran == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
