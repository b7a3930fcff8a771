#!/usr/bin/python3
"""The real glimra binary in a private Xvfb, driven the way a user would.

    window.py SCENARIO GLIMRA [ARTIFACT_DIR]

Scenarios:
  textpass            the window as it opens; a typed sample, Show, and the
                      preview copied back through the clipboard
  format              bold and size 24, Show: every progress title in order,
                      the preview drawn, each entry's fonts in the copied HTML
  colour              the background swatch through the colour dialog, a
                      cancelled dialog on the text swatch, and the preview's
                      background after Show
  close_during_build  the window closed while a long build runs

The controls are found where the program puts them, through its
accessibility tree, and clicked there (e2e.py, the harness).

Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
"""
import re
import sys

from e2e import APP_TITLE, BUSY_TITLE, busy_title, centre, check, main, wait_for


# -- reading the copied rich text ---------------------------------------------

SPAN = re.compile(r'<span style="([^"]*)">([^<]*)</span>')


def runs_by_line(html):
    """Each paragraph of Qt's HTML as a list of (style, text) runs."""
    return [SPAN.findall(p) for p in re.findall(r"<p [^>]*>(.*?)</p>", html, re.S)]


def style_of(style):
    pairs = (item.split(":", 1) for item in style.split(";") if ":" in item)
    return {k.strip(): v.strip().strip("'") for k, v in pairs}


# -- scenarios ------------------------------------------------------------------


def scenario_textpass(s):
    s.start_app()
    _, _, w, h = s.geometry()
    # 6195 by 4530 twips at 96 dpi: the 9 point IPA gothic is the font the
    # window was designed for.
    check((w, h) == (413, 302), "the window opens at %dx%d" % (w, h))

    sample = "Abc あ"
    s.type_into("サンプル文字", sample)
    s.build_and_wait()
    # Copying gives one line per paragraph, whatever the line breaks were.
    lines = s.copy_preview("UTF8_STRING").replace("\r\n", "\n").split("\n")
    want = [""] + ["%s (%s)" % (sample, family) for family in s.families]
    check(lines == want, "copied preview:\n%s\nexpected:\n%s" % ("\n".join(lines), "\n".join(want)))
    targets = s.clipboard_targets()
    check("text/html" in targets, "the copied preview is offered only as %s" % targets)


def scenario_format(s):
    s.start_app()
    s.click(s.control("check box", "ボールド"))
    before = s.visible_windows()
    s.click(s.control("combo box", "フォントサイズ"))
    wait_for("the size list to open", lambda: s.visible_windows() - before, 10)
    # From "10" seven entries down to "24".
    s.key(*(["Down"] * 7 + ["Return"]), focus=False)
    wait_for("the size list to close", lambda: s.visible_windows() == before, 10)

    titles = s.build_and_wait()
    # With more than a hundred fonts every whole per cent has a font of its
    # own; a title that does not change is not sent again.
    want = [busy_title(k) for k in range(101)] + [APP_TITLE]
    check(titles == want, "titles during the build:\n%s" % "\n".join(titles))

    s.save_window("e2e_format.png")
    view = s.preview_rect()

    def dark_pixels():
        dark = s.screenshot().count(view, lambda p: max(p) < 96)
        # Bold 24-point samples in black fill a good part of the view.
        return dark if dark > view[2] * view[3] // 20 else None
    wait_for("the preview to be drawn", dark_pixels, 10)

    lines = runs_by_line(s.copy_preview("text/html"))
    check(len(lines) == len(s.families) + 1, "%d lines copied for %d fonts" % (len(lines), len(s.families)))
    for family, runs in zip(s.families, lines[1:]):
        check(len(runs) == 2, "the entry of %s has the runs %r" % (family, runs))
        (sample_style, sample), (label_style, label) = runs
        sample_style, label_style = style_of(sample_style), style_of(label_style)
        check(sample == "SAMPLE" and label == " (%s)" % family, "the entry of %s reads %r" % (family, sample + label))
        check(sample_style.get("font-family") == family and sample_style.get("font-size") == "24pt"
              and sample_style.get("font-weight") == "700", "the sample of %s is %r" % (family, sample_style))
        check(label_style.get("font-size") == "9pt" and "font-weight" not in label_style,
              "the label of %s is %r" % (family, label_style))


def swatch(s, caption):
    """The swatch under a caption: 字体色 (the text's) or 背景色 (the background's)."""
    return s.control("push button", caption)


def open_dialog(s, caption):
    """Clicks a swatch; returns the colour dialog's window and the windows before it."""
    before = s.visible_windows()
    s.click(swatch(s, caption))
    new = wait_for("the colour dialog", lambda: s.visible_windows() - before, 10)
    check(len(new) == 1, "clicking a swatch opened %d windows" % len(new))
    return new.pop(), before


def choose_colour(s, caption, html):
    """Opens the dialog's editor, types a colour into its HTML field and confirms it."""
    dialog, before = open_dialog(s, caption)
    # The dialog opens compact; 色の作成(D) shows the editor, whose HTML
    # field's label has the mnemonic H.
    compact_width = s.geometry(dialog)[2]
    s.key("alt+d", wid=dialog)
    wait_for("the colour dialog to show its editor", lambda: s.geometry(dialog)[2] > compact_width, 10)
    s.key("alt+h", "ctrl+a", wid=dialog)
    s.type(html, wid=dialog)
    s.key("Return", wid=dialog)
    wait_for("the colour dialog to close", lambda: s.visible_windows() == before, 10)


def cancel_dialog(s, caption):
    dialog, before = open_dialog(s, caption)
    s.key("Escape", wid=dialog)
    wait_for("the colour dialog to close", lambda: s.visible_windows() == before, 10)


def scenario_colour(s):
    s.start_app()
    black, white, chosen = (0, 0, 0), (255, 255, 255), (0x33, 0x66, 0x99)

    def faces():
        shot = s.screenshot()
        return [shot.pixel(*centre(swatch(s, caption))) for caption in ("字体色", "背景色")]
    # The window may be mapped a moment before its first paint.
    wait_for(lambda: "the swatches to open black and white (they are %r)" % faces(),
             lambda: faces() == [black, white], 10)

    choose_colour(s, "背景色", "#336699")
    wait_for(lambda: "the background swatch alone to turn #336699 (the swatches show %r)" % faces(),
             lambda: faces() == [black, chosen], 5)

    # The dialog still holds #336699 from the last choice; a cancel must not
    # hand it to the text swatch.
    cancel_dialog(s, "字体色")
    # The build lets pending events run, a swatch's repaint among them, so
    # the screen is up to date once the title is back at rest.
    s.build_and_wait()
    s.save_window("e2e_colour.png")
    check(faces() == [black, chosen], "after the cancel the swatches show %r" % faces())
    x, y, w, h = s.preview_rect()
    # Below the last entry and left of any scroll bar: background only.
    corner = (x + w - 30, y + h - 20)
    wait_for(lambda: "the preview background to be #336699 (it is %r)" % (s.screenshot().pixel(*corner),),
             lambda: s.screenshot().pixel(*corner) == chosen, 5)
    colours = {style_of(style).get("color") for line in runs_by_line(s.copy_preview("text/html"))
               for style, _ in line}
    check(colours == {"#000000"}, "the preview's text colours after the cancel: %r" % colours)


def scenario_close_during_build(s):
    s.start_app()
    recorder = s.record_titles()
    s.click(s.control("push button", "表示"))
    recorder.wait_for("the build to show progress", lambda t: any(BUSY_TITLE.match(x) for x in t), 60)
    before_close = recorder.snapshot()
    # There is no window manager here; this is the message one sends when
    # the user closes a window.
    s.xlib().send_delete_window(s.env["DISPLAY"], s.wid)
    # A build that had ended before the close would prove nothing.
    check(APP_TITLE not in before_close, "the build finished before the window was closed")

    others = set()

    def ended():
        others.update(s.visible_windows() - {s.wid})
        return s.app.poll() is not None
    wait_for("glimra to end after the close", ended, 15)
    status = s.app.returncode
    check(status == 0, "glimra ended with %s:\n%s"
          % ("signal %d" % -status if status < 0 else "status %d" % status, s.app_output()))
    check(not others, "windows appeared after the close: %r" % sorted(others))
    check("fatal:" not in s.app_output(), "glimra reported:\n%s" % s.app_output())


# scenario: (function, number of test font families)
SCENARIOS = {
    "textpass": (scenario_textpass, 5),
    # Enough fonts for every whole per cent and a build that takes a while.
    "format": (scenario_format, 300),
    "colour": (scenario_colour, 5),
    # A build of several seconds, to be sure of closing in its middle.
    # Enough fonts that the build outlasts seeing it start and sending the
    # close, on a loaded machine too.
    "close_during_build": (scenario_close_during_build, 10000),
}


if __name__ == "__main__":
    sys.exit(main(sys.argv, SCENARIOS, usage=__doc__))
