#!/usr/bin/python3
"""glimra on a desktop as its users have it: read by a screen reader, framed
by a window manager, on Wayland.

    desktop.py SCENARIO GLIMRA [ARTIFACT_DIR]

Scenarios:
  accessibility   the window's tree through AT-SPI: every control named, the
                  captions as label relations, the swatches' colours; 表示
                  pressed through AT-SPI builds the preview; an entry's tip
  frame_resize    under a window manager that frames the window after it is
                  mapped (xfwm4 or openbox): the preview fills the framed
                  window from the first frame on, without a resize
  wayland         weston's headless backend: the window opens, 表示 pressed
                  through AT-SPI, the title comes back, the session's end
                  closes the window, status 0

Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
"""
import os
import re
import subprocess
import sys

import atspi
import e2e
from e2e import APP_TITLE, BUSY_TITLE, VIEW_MARGINS, Failed, Skipped, check, px, wait_for

# Window managers that reparent the window into a frame after it is mapped,
# each with what it needs to run on a bare X server.
WINDOW_MANAGERS = (
    ("xfwm4", ["xfwm4", "--compositor=off", "--sm-client-disable"]),
    ("openbox", ["openbox", "--sm-disable"]),
)
def expected_controls(roles):
    # (role, name, description, labelled by), in the window's creation order.
    # Roles are compared by AT-SPI's number, not by the name one release
    # gives it (a push button is "button" in newer ones).
    text, button, label = roles.ROLE_TEXT, roles.ROLE_PUSH_BUTTON, roles.ROLE_LABEL
    return [
        (text, "サンプル文字", "", ["サンプル文字"]),
        (text, "プレビュー", "", []),
        (button, "表示", "", []),
        (label, "サンプル文字", "", []),
        (roles.ROLE_COMBO_BOX, "フォントサイズ", "", ["フォントサイズ"]),
        (label, "フォントサイズ", "", []),
        (button, "字体色", "#000000", ["字体色"]),
        (button, "背景色", "#ffffff", ["背景色"]),
        (label, "字体色", "", []),
        (label, "背景色", "", []),
        (roles.ROLE_CHECK_BOX, "ボールド", "", []),
        (roles.ROLE_CHECK_BOX, "イタリック", "", []),
    ]


def scenario_accessibility(s):
    s.start_app()
    tree = s.tree()
    check(tree.title() == APP_TITLE, "the window is read as %r" % tree.title())
    controls = tree.controls()
    # The banner pane comes last; its inner working is its own.
    banner = [c for c in controls if c[1] == "バナー"]
    check(len(banner) == 1, "no control named バナー in %r" % controls)
    got = [c for c in controls if c[1] != "バナー"]
    want = expected_controls(tree.pyatspi)
    check(got == want, "the controls read:\n%s\nexpected:\n%s"
          % ("\n".join(map(repr, got)), "\n".join(map(repr, want))))
    size = tree.find(tree.pyatspi.ROLE_COMBO_BOX, "フォントサイズ")
    value = size.queryText().getText(0, -1) if "Text" in size.get_interfaces() else None
    check(value in (None, "10"), "the size list reads %r" % value)
    nameless = [(n.getRoleName(), n.getIndexInParent()) for n in tree.walk()
                if not n.name and n.getState().contains(tree.pyatspi.STATE_FOCUSABLE)]
    check(not nameless, "focusable controls without a name: %r" % nameless)

    s.type_into("サンプル文字", "SAMPLE あ漢")
    recorder = s.record_titles()
    tree.press_show()
    titles = recorder.wait_for("the build pressed through AT-SPI to end", lambda t: APP_TITLE in t, 60)
    recorder.stop()
    check(any(BUSY_TITLE.match(t) for t in titles), "no progress in the title: %r" % titles)
    preview = tree.find(tree.pyatspi.ROLE_TEXT, "プレビュー")
    text = wait_for("the preview's text", lambda: preview.queryText().getText(0, -1), 10)
    lines = [line for line in text.replace("\r", "").split("\n") if line]
    want = ["SAMPLE あ漢 (%s)" % family for family in s.families]
    check(lines == want, "the preview reads %r" % lines[:5])
    s.save_window("e2e_accessibility.png")

    # AT-SPI places a character only within its line here (Qt's plain text
    # view): each entry's first line is found as a band of ink.
    x0, y0, _, h = s.preview_rect()
    shot = s.screenshot()
    inked = [any(sum(shot.pixel(x, y)) < 300 for x in range(x0 + 4, x0 + 120)) for y in range(y0, y0 + h - 2)]
    tops = [y0 + y for y in range(3, len(inked)) if inked[y] and not inked[y - 1]]
    copied = s.copy_preview("text/html")
    # The first font, ASCII alone: what it lacks, and the IPA gothic that draws it.
    s.xdotool("mousemove", x0 + 20, tops[0] + 4)
    tip = wait_for("the first entry's tip, read through AT-SPI", lambda: next(
        (n.name.split("\n") for n in tree.children(tree.app) if n.getRole() == tree.pyatspi.ROLE_TOOL_TIP), None), 5)
    check(tip[:3] == [s.families[0], "このフォントにない文字: 2 字", "あ 漢"] and re.search(r"IPAP?Gothic", tip[-1]),
          "the first entry's tip reads %r" % tip)
    check(s.copy_preview("text/html") == copied, "resting on the entries changed what a copy writes")


def start_window_manager(s):
    for name, argv in WINDOW_MANAGERS:
        if e2e.shutil.which(name):
            s.spawn(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # A window manager announces itself on the root window.
            wait_for("%s to manage the screen" % name, lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in s.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_status=False), 20, 0.1)
            return name
    raise Skipped("no window manager (%s)" % ", ".join(n for n, _ in WINDOW_MANAGERS))


def frame_extents(s):
    out = s.run(["xprop", "-id", str(s.wid), "_NET_FRAME_EXTENTS"], check_status=False)
    m = re.search(r"= (\d+), (\d+), (\d+), (\d+)", out)
    return tuple(int(v) for v in m.groups()) if m else None


def scenario_frame_resize(s):
    # The bus first, so that the window manager runs on it too, never on
    # the desktop's own.
    atspi.start_bus(s)
    manager = start_window_manager(s)
    s.start_app()
    left, right, top, bottom = wait_for("%s to frame the window" % manager,
                                        lambda: (lambda e: e if e and any(e) else None)(frame_extents(s)), 20)
    tree = s.tree()
    preview = tree.find(tree.pyatspi.ROLE_TEXT, "プレビュー")

    def fits():
        _, _, w, h = s.geometry()
        want = (px((w + left + right) * 15 - VIEW_MARGINS[0]), px((h + top + bottom) * 15 - VIEW_MARGINS[1]))
        got = tree.extents(preview)[2:]
        return got == want, got, want
    # The frame may arrive a little after the window is mapped; the size the
    # view has once nothing moves any more is what the user sees.
    try:
        wait_for("the preview to fit the framed window", lambda: fits()[0], 10)
    except Failed:
        _, got, want = fits()
        s.save_window("e2e_frame_resize_failure.png")
        raise Failed("under %s (frame %r) the preview is %dx%d, not %dx%d"
                     % (manager, (left, right, top, bottom), got[0], got[1], want[0], want[1]))
    # Not a size taken once and kept: a real resize still follows.
    s.xdotool("windowsize", s.wid, 500, 400)
    wait_for(lambda: "the preview to follow a resize (%r, %r)" % fits()[1:], lambda: fits()[0], 10)
    s.save_window("e2e_frame_resize.png")


class WaylandSession(e2e.Session):
    """weston on its headless backend in place of the X server."""

    TOOLS = ("weston",)

    def _start_xvfb(self):
        runtime = self.env["XDG_RUNTIME_DIR"]
        socket = "glimra-e2e-%d" % os.getpid()
        # weston writes its log to a file: a pipe nobody reads fills up and
        # stops the compositor, and reading one blocks until weston ends.
        self.weston_log = os.path.join(self.tmp, "weston.log")
        self.weston = self.spawn(["weston", "--backend=headless-backend.so", "--socket=%s" % socket,
                                  "--width=%d" % e2e.SCREEN[0], "--height=%d" % e2e.SCREEN[1], "--idle-time=0",
                                  "--no-config", "--log=%s" % self.weston_log],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        path = os.path.join(runtime, socket)
        wait_for(lambda: "weston's socket %s; weston's log:\n%s" % (path, self.weston_said()),
                 lambda: os.path.exists(path) or self.weston.poll() is not None, 30)
        if self.weston.poll() is not None:
            raise Failed("weston ended at once (%d):\n%s" % (self.weston.returncode, self.weston_said()))
        self.env["WAYLAND_DISPLAY"] = socket
        self.env["QT_QPA_PLATFORM"] = "wayland"

    def weston_said(self):
        try:
            with open(self.weston_log, errors="replace") as log:
                return log.read()[-4000:]
        except OSError as e:
            return "(no log: %s)" % e

    def start_app(self):
        self.spawn_app()  # no X window to wait for; its tree tells the rest

    def save_window(self, name):
        return None  # weston's headless backend has nothing to take a picture of


def scenario_wayland(s):
    s.start_app()
    tree = atspi.Tree(lambda what, probe, timeout, interval=0.05: wait_for(
        lambda: "%s; glimra said:\n%s" % (what, s.app_output()), lambda: s.app.poll() is None and probe(),
        timeout, interval))
    wait_for(lambda: "the title %r (it is %r)" % (APP_TITLE, tree.title()), lambda: tree.title() == APP_TITLE, 30)
    tree.press_show()
    # One font in a hundred is enough to see the title change and come back.
    seen = set()

    def back():
        title = tree.title()
        seen.add(title)
        return title == APP_TITLE and len(seen) > 1
    wait_for(lambda: "the title to come back (seen %r)" % sorted(t for t in seen if t), back, 60, 0.01)
    check(any(t and BUSY_TITLE.match(t) for t in seen), "no progress in the title: %r" % sorted(seen))
    preview = tree.find(tree.pyatspi.ROLE_TEXT, "プレビュー")
    text = preview.queryText().getText(0, -1)
    check(text.count("SAMPLE (") == len(s.families), "the preview holds %d entries, not %d"
          % (text.count("SAMPLE ("), len(s.families)))
    # What the session sends at its end; the window closes as the user's
    # close does, and glimra ends well.
    s.app.terminate()
    status = s.app.wait(15)
    check(status == 0, "glimra ended with %s:\n%s" % (status, s.app_output()))


SCENARIOS = {
    "accessibility": (scenario_accessibility, 5),
    "frame_resize": (scenario_frame_resize, 5),
    # Enough fonts for the progress to last a few AT-SPI reads.
    "wayland": (scenario_wayland, 300, WaylandSession),
}

if __name__ == "__main__":
    sys.exit(e2e.main(sys.argv, SCENARIOS, ("fc-list",), __doc__))
