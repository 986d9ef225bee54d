"""The command blocks of the documentation pages, as the pages mark them.

A fenced block whose info string is `text` is a sample (a log, a line of a file) and
needs no mark. Every other fenced block is a command block and has, on the nearest
non-blank line above its opening fence, one of

    <!-- docs-test: run [FIXTURE ...] -->   run by the docs test in a scratch folder
    <!-- docs-test: skip REASON -->         cannot run here; REASON says why

An indented code block cannot carry a mark, so the pages have none.
"""
import os
import re

FENCE = re.compile(r"^(\s*)(```+)\s*([\w-]*)\s*$")
MARK = re.compile(r"^<!-- docs-test: (run|skip)\b(.*?)-->$")


class Block:
    def __init__(self, path, line, info, mark, words, text):
        self.path = path    # the page
        self.line = line    # of the opening fence, from 1
        self.info = info    # the fence's info string: sh, bat, powershell, text ...
        self.mark = mark    # "run", "skip", or None (unmarked)
        self.words = words  # run: the fixtures; skip: the reason, as one string
        self.text = text    # the block's lines, without the fence's indentation

    def where(self):
        return "%s:%d" % (self.path, self.line)


def blocks(path):
    """Every fenced block of the page, and the problems of its marks: (blocks, problems)."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    found, problems, used = [], [], set()
    marks = {i for i, line in enumerate(lines) if line.strip().startswith("<!-- docs-test")}
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        indent, fence, info = opening.groups()
        start = i
        i += 1
        body = []
        while i < len(lines) and not re.match(r"^\s*" + fence + r"\s*$", lines[i]):
            body.append(lines[i][len(indent):] if lines[i].startswith(indent) else lines[i].lstrip())
            i += 1
        if i == len(lines):
            problems.append("%s:%d: a fence that is never closed" % (path, start + 1))
        i += 1
        above = start - 1
        while above >= 0 and not lines[above].strip():
            above -= 1
        mark, words = None, None
        if above >= 0 and above in marks:
            m = MARK.match(lines[above].strip())
            if not m:
                problems.append("%s:%d: a mark that is neither run nor skip" % (path, above + 1))
            else:
                used.add(above)
                mark = m.group(1)
                words = m.group(2).split() if mark == "run" else m.group(2).strip()
                if mark == "skip" and not words:
                    problems.append("%s:%d: a skip without its reason" % (path, above + 1))
        if mark is None and info != "text":
            problems.append("%s:%d: a command block with no docs-test mark" % (path, start + 1))
        found.append(Block(path, start + 1, info, mark, words, "\n".join(body) + "\n"))
    problems += ["%s:%d: an indented block: fence it and mark it" % (path, n)
                 for n in indented_blocks(lines)]
    for line in sorted(marks - used):
        problems.append("%s:%d: a docs-test mark with no block under it" % (path, line + 1))
    return found, problems


def indented_blocks(lines):
    """Lines (from 1) that open an indented code block, outside fences: after a blank
    line, four blanks more than the text of the paragraph or list item above."""
    found, fence, column, blank, inside = [], None, 0, False, False
    for n, line in enumerate(lines, 1):
        opening = FENCE.match(line)
        if fence:
            if re.match(r"^\s*" + fence + r"\s*$", line):
                fence = None
            continue
        if opening:
            fence = opening.group(2)
            continue
        if not line.strip():
            blank = True
            continue
        indent = len(line) - len(line.lstrip(" "))
        was_inside = inside
        inside = indent >= column + 4 and (inside or blank)
        blank = False
        if inside:
            if not was_inside:
                found.append(n)
            continue  # the block's own lines do not move the column
        item = re.match(r"^(\s*)([-*]|\d+\.)\s+", line)
        if item:
            column = len(item.group(0))
        elif indent < column:
            column = indent
    return found


def pages(source_dir):
    """The README and every page of docs/."""
    docs = os.path.join(source_dir, "docs")
    return [os.path.join(source_dir, "README.md")] + sorted(
        os.path.join(docs, n) for n in os.listdir(docs) if n.endswith(".md"))


def marked(path, fixture):
    """The one block of the page that runs with `fixture`."""
    chosen = [b for b in blocks(path)[0] if b.mark == "run" and fixture in b.words]
    if len(chosen) != 1:
        raise LookupError("%s has %d blocks run with %s" % (path, len(chosen), fixture))
    return chosen[0]
