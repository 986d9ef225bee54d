#!/usr/bin/env python3
"""End-to-end tests of the wizard: the real vlrupdate.exe under Wine, in a Veloran
folder of its own with stand-ins for Veloran's executables, worked through its real
window by uidriver.exe.

    wizard_e2e.py --bin-dir DIR --work-dir DIR --screenshots DIR CASE

CASE is one of the names in CASES. Wine's settings (WINEPREFIX, ...) and DISPLAY
come from the environment. Every wait is bounded; the exit status is 0 when the case
passed. Standard library only.
"""

import os
import sys

from e2e_support import WINDOW_TIMEOUT_MS, Case, Failure, check, run_case

STEP0_EN = ("Please close all instances of\r\nVeloran application on this machine\r\n"
            "or connected trough a LAN!")
STEP0_FR = ("Veuillez fermer toutes les instances\r\ndu programme Veloran sur cette machine\r\n"
            "ou connectées par réseau local!")
STEP1_FR_EMPTY = "Sélectionner un site ci-après\r\npour votre mise-à-jour:"
MIRROR = "127.0.0.1:9/vlr"  # never contacted: these cases stop before any download
STEP1_EN_MIRROR = ("Use\r\n" + MIRROR + "\r\n or select a site below\r\nfor your update:")


def expect_step0(d, caption, message, title):
    found = d.run("find", WINDOW_TIMEOUT_MS)
    check(found["title"] == title, "title bar reads %r" % title)
    check(found["client"][2:] == [498, 325], "client area is 498 x 325 pixels at 96 dpi")
    c = d.controls()
    check(c["Label1"]["text"] == message, "the step-0 message")
    check([c[n]["text"] for n in ("Command3", "Command1", "Command2")] == caption,
          "button captions %r" % caption)
    check(not c["Command1"]["enabled"] and c["Command2"]["enabled"], "Previous off, Next on")
    check(c["Command2"]["focused"], "Next has the focus")
    check(not c["Frame2"]["visible"], "the mirror frame is hidden")
    check(c["Command2"]["rect"] == [408, 296, 81, 25], "Next at (408, 296), 81 x 25")
    return c


def case_no_arguments(t):
    proc = t.start()
    t.wait_exit(proc, "without arguments the updater ends at once")
    check(proc.returncode == 0, "exit code 0")
    check(t.driver.run("count") == 0, "no updater window on screen")
    check(t.none_started(), "Veloran was not started")


def case_english_steps(t):
    first = t.start("E", MIRROR)
    d = t.driver
    expect_step0(d, ["Cancel", "< Previous", "Next >"], STEP0_EN, "Veloran Update")
    t.screenshot("step0_en")

    # The instance rule: the running updater holds vlrupdate.lock in its folder (opened
    # without sharing, deleted when closed); a second copy in the same folder cannot
    # open it and ends at once, and the first one runs on.
    check(os.path.exists(os.path.join(t.folder, "vlrupdate.lock")),
          "the running updater holds the lock file in its folder")
    second = t.start("E", MIRROR)
    t.wait_exit(second, "a second copy ends at once")
    check(d.run("count") == 1, "still exactly one updater window")
    check(first.poll() is None, "the first copy still runs")

    d.run("click", "Command2")
    d.wait_until("Label1", "Next shows step 1 with the mirror from the command line",
                 lambda s: s["text"] == STEP1_EN_MIRROR)
    c = d.controls()
    check(c["Frame2"]["visible"], "the mirror frame is shown")
    check(c["Option1(0)"]["visible"] and c["Option1(1)"]["visible"], "two mirrors offered")
    check(not c["Option1(2)"]["visible"], "the French-only mirror stays hidden")
    check(c["Command1"]["enabled"] and c["Command2"]["enabled"], "Previous and Next on")
    check(c["Label1"]["in_parent"][:2] == [16, 16], "the message sits at (16, 16) in Frame1")
    t.screenshot("step1_en")

    d.run("click", "Command1")
    d.wait_until("Label1", "Previous goes back to step 0", lambda s: s["text"] == STEP0_EN)
    check(not d.run("state", "Frame2")["visible"], "the mirror frame is hidden again")
    check(d.run("state", "Command2")["focused"], "Next has the focus again")

    # The keyboard works through the dialog keys: Space presses the focused Next, Tab
    # moves on to Cancel.
    d.run("key", "space")
    d.wait_until("Label1", "Space on Next shows step 1", lambda s: s["text"] == STEP1_EN_MIRROR)
    d.run("key", "tab")
    d.wait_until("Command3", "Tab moves the focus to Cancel", lambda s: s["focused"])
    d.run("click", "Command1")
    d.wait_until("Label1", "and Previous back to step 0", lambda s: s["text"] == STEP0_EN)

    d.run("click", "Command3")
    d.run("wait-gone", WINDOW_TIMEOUT_MS)
    t.wait_exit(first, "Cancel ends the updater")
    check(t.wait_started("vlrmain.exe"), "Cancel started vlrmain.exe")
    check(not t.started("vlrmainfr.exe"), "not the French executable")
    check(t.marker("vlrmain.exe").lower().find(
        (t.folder.replace("/", "\\") + "\\vlrmain.exe").lower()) >= 0,
        "started from the updater's folder")
    t.wait_lock_released()


def case_french_mirror_choice(t):
    proc = t.start("F")
    d = t.driver
    expect_step0(d, ["Annuler", "< Précédent", "Suivant >"], STEP0_FR, "Mise-à-jour de Veloran")
    t.screenshot("step0_fr")

    d.run("click", "Command2")
    d.wait_until("Label1", "Suivant shows the French mirror choice",
                 lambda s: s["text"] == STEP1_FR_EMPTY)
    c = d.controls()
    check(all(c["Option1(%d)" % i]["visible"] for i in range(3)), "three mirrors offered")
    check(not c["Command2"]["enabled"], "Suivant stays off until a mirror is chosen")
    check(all(c["Option1(%d)" % i]["checked"] == 0 for i in range(3)), "none selected")
    t.screenshot("step1_fr")

    d.run("click", "Option1(1)")
    d.wait_until("Command2", "clicking a mirror turns Suivant on", lambda s: s["enabled"])
    c = d.controls()
    check(c["Option1(1)"]["checked"] == 1 and c["Option1(0)"]["checked"] == 0,
          "the clicked mirror is selected")
    check(c["Label1"]["text"] == STEP1_FR_EMPTY, "the message stays as it was")

    d.run("click", "Annuler")  # by caption this time
    d.run("wait-gone", WINDOW_TIMEOUT_MS)
    t.wait_exit(proc, "Annuler ends the updater")
    check(t.wait_started("vlrmainfr.exe"), "Annuler started vlrmainfr.exe")
    check(not t.started("vlrmain.exe"), "not the English executable")
    t.wait_lock_released()


def case_close_window(t):
    for step in (0, 1):
        proc = t.start("E")
        d = t.driver
        d.run("find", WINDOW_TIMEOUT_MS)
        if step == 1:
            d.run("click", "Command2")
            d.wait_until("Frame2", "step 1 is shown", lambda s: s["visible"])
        d.run("close")
        d.run("wait-gone", WINDOW_TIMEOUT_MS)
        t.wait_exit(proc, "closing the window in step %d ends the updater" % step)
        check(t.none_started(), "Veloran was not started")
        t.wait_lock_released()


def case_missing_veloran(t):
    os.remove(os.path.join(t.folder, "vlrmain.exe"))
    proc = t.start("E")
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    d.run("click", "Command3")
    box = d.run("message-box", WINDOW_TIMEOUT_MS)
    check("vlrmain.exe" in box["text"], "the error box names the missing program")
    check(box["title"] == "Veloran Update", "the box carries the window's caption")
    d.run("answer", "OK")
    t.wait_exit(proc, "after the error the updater ends")
    check(t.none_started(), "nothing else was started")
    t.wait_lock_released()


def case_long_mirror_clipped(t):
    mirror = "very-long-mirror-host-name.example.invalid/" + "deep/" * 12 + "end"
    proc = t.start("E", mirror)
    d = t.driver
    d.run("find", WINDOW_TIMEOUT_MS)
    line_height = d.run("state", "Label1")["rect"][3] / 3  # the step-0 text has 3 lines
    d.run("click", "Command2")
    label = d.wait_until("Label1", "step 1 names the long mirror", lambda s: mirror in s["text"])
    frame = d.run("state", "Frame1")
    left, top, width, height = label["in_parent"]
    check(height == 4 * line_height, "four lines high: the long line is not wrapped")
    check(left + width > frame["rect"][2], "the label is wider than Frame1's room")
    t.screenshot("step1_en_long_mirror")
    d.run("close")
    t.wait_exit(proc, "closed")
    t.wait_lock_released()


CASES = {
    "long_mirror_clipped": case_long_mirror_clipped,
    "no_arguments": case_no_arguments,
    "english_steps": case_english_steps,
    "french_mirror_choice": case_french_mirror_choice,
    "close_window": case_close_window,
    "missing_veloran": case_missing_veloran,
}


if __name__ == "__main__":
    sys.exit(run_case(CASES, lambda args: Case(args, args.case)))
