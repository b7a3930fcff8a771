#!/usr/bin/python3
"""Drives the real glimra binary in a private Xvfb, the way a user would.

    e2e.py SCENARIO GLIMRA [ARTIFACT_DIR]

Scenarios:
  textpass            the window as it opens; a typed sample, Show, and the
                      preview copied back through the clipboard
  format              bold and size 24, Show: every progress title in order,
                      the preview drawn, each entry's fonts in the copied HTML
  colour              the background swatch through the colour dialog, a
                      cancelled dialog on the text swatch, and the preview's
                      background after Show
  close_during_build  the window closed while a long build runs

Each run starts its own X server (it picks a free display itself) and gives
glimra a private fontconfig holding a known set of families, so that the
preview's contents can be predicted exactly. Screenshots for humans go to
ARTIFACT_DIR. Only the processes started here are ended, by pid, and the
temporary directory is removed.

Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
"""
import ctypes
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77
TOOLS = ("Xvfb", "xdotool", "xclip", "xprop", "xwininfo", "import", "fc-list")
HERE = os.path.dirname(os.path.abspath(__file__))
MAKE_FONTS = os.path.join(HERE, "..", "..", "tools", "make_fonts.py")
FONT_PYTHON = "/usr/bin/python3"  # the interpreter that has fontTools

APP_TITLE = "glimra version 1.2"
BUSY_TITLE = re.compile(r"^glimra version 1\.2 - 処理中です\.\.\.( \d+|-\d+)%$")
DPI = 96
SCREEN = (1024, 768)
JAPANESE_FAMILIES = {"IPAGothic", "IPAPGothic"}


class Twips:
    """Control rectangles (left, top, width, height) as the window was designed."""
    Text1 = (120, 360, 1575, 735)
    Combo1 = (120, 1440, 1575, 300)
    Command2 = (120, 2160, 735, 255)
    Command3 = (960, 2160, 735, 255)
    Check1 = (120, 2640, 1335, 255)
    Command1 = (120, 3360, 1575, 495)
    RichTextBox1 = (1800, 0, 3015, 2775)
    client = (6195, 4530)
    # The preview view is the window's size less these.
    view_margins = (1900, 500)


def px(twips):
    # Half away from zero, as the window rounds its own layout.
    return int(twips * DPI / 1440 + 0.5)


def rect_px(r):
    return tuple(px(v) for v in r)


def centre(r):
    x, y, w, h = rect_px(r)
    return x + w // 2, y + h // 2


def busy_title(percent):
    return "%s - 処理中です... %d%%" % (APP_TITLE, percent)


class Failed(Exception):
    pass


class Skipped(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


def wait_for(what, probe, timeout, interval=0.05):
    """Polls probe() until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            # A callable describes the state as it is at the timeout.
            raise Failed("timed out after %.0f s waiting for %s" % (timeout, what() if callable(what) else what))
        time.sleep(interval)


class Screenshot:
    """The whole screen as raw RGB, read through ImageMagick's import."""

    def __init__(self, session):
        self.width, self.height = SCREEN
        self.data = session.run(["import", "-silent", "-window", "root", "-depth", "8", "rgb:-"], binary=True)
        check(len(self.data) == self.width * self.height * 3, "screenshot has %d bytes" % len(self.data))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def count(self, rect, predicate):
        x0, y0, w, h = rect
        return sum(1 for y in range(y0, y0 + h) for x in range(x0, x0 + w) if predicate(self.pixel(x, y)))


class XLib:
    """The few Xlib and RECORD calls no command-line tool offers, through ctypes."""

    class RecordRange8(ctypes.Structure):
        _fields_ = [("first", ctypes.c_ubyte), ("last", ctypes.c_ubyte)]

    class RecordRange16(ctypes.Structure):
        _fields_ = [("first", ctypes.c_ushort), ("last", ctypes.c_ushort)]

    class RecordExtRange(ctypes.Structure):
        pass

    class RecordRange(ctypes.Structure):
        pass

    class RecordInterceptData(ctypes.Structure):
        _fields_ = [("id_base", ctypes.c_ulong), ("server_time", ctypes.c_ulong), ("client_seq", ctypes.c_ulong),
                    ("category", ctypes.c_int), ("client_swapped", ctypes.c_int),
                    ("data", ctypes.POINTER(ctypes.c_ubyte)), ("data_len", ctypes.c_ulong)]

    class ClientMessageEvent(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("l", ctypes.c_long * 5),
                    ("pad", ctypes.c_long * 12)]  # an XEvent is 24 longs

    RecordExtRange._fields_ = [("ext_major", RecordRange8), ("ext_minor", RecordRange16)]
    RecordRange._fields_ = [("core_requests", RecordRange8), ("core_replies", RecordRange8),
                            ("ext_requests", RecordExtRange), ("ext_replies", RecordExtRange),
                            ("delivered_events", RecordRange8), ("device_events", RecordRange8),
                            ("errors", RecordRange8), ("client_started", ctypes.c_int),
                            ("client_died", ctypes.c_int)]
    InterceptProc = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(RecordInterceptData))
    ErrorHandler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)

    CLIENT_MESSAGE = 33
    CHANGE_PROPERTY = 18
    RECORD_FROM_CLIENT = 1
    RECORD_START_OF_DATA = 4

    def __init__(self):
        try:
            x = self.x = ctypes.CDLL("libX11.so.6")
            t = self.t = ctypes.CDLL("libXtst.so.6")
        except OSError as e:
            raise Skipped(str(e))
        x.XInitThreads()
        # Xlib's own handler ends the process on the first protocol error,
        # which would leave the X server and glimra behind.
        self.errors = []
        self._on_error = self.ErrorHandler(self._error)
        x.XSetErrorHandler.argtypes = [self.ErrorHandler]
        x.XSetErrorHandler(self._on_error)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        t.XRecordQueryVersion.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
        t.XRecordAllocRange.restype = ctypes.POINTER(self.RecordRange)
        t.XRecordCreateContext.restype = ctypes.c_ulong
        t.XRecordCreateContext.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(ctypes.c_ulong),
                                           ctypes.c_int, ctypes.POINTER(ctypes.POINTER(self.RecordRange)),
                                           ctypes.c_int]
        t.XRecordEnableContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong, self.InterceptProc, ctypes.c_void_p]
        t.XRecordDisableContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        t.XRecordFreeContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        t.XRecordFreeData.argtypes = [ctypes.POINTER(self.RecordInterceptData)]

    def _error(self, _display, event):
        # XErrorEvent on LP64: error_code and request_code follow four words.
        fields = ctypes.cast(event, ctypes.POINTER(ctypes.c_ubyte * 40)).contents
        self.errors.append("X error %d on request %d" % (fields[32], fields[33]))
        return 0

    def open(self, display):
        dpy = self.x.XOpenDisplay(display.encode())
        check(dpy, "cannot open display %s" % display)
        return dpy

    def send_delete_window(self, display, wid):
        """What a window manager sends when the user closes a window."""
        dpy = self.open(display)
        try:
            event = self.ClientMessageEvent()
            event.type = self.CLIENT_MESSAGE
            event.window = wid
            event.message_type = self.x.XInternAtom(dpy, b"WM_PROTOCOLS", False)
            event.format = 32
            event.l[0] = self.x.XInternAtom(dpy, b"WM_DELETE_WINDOW", False)
            event.l[1] = 0  # CurrentTime
            errors = len(self.errors)
            check(self.x.XSendEvent(dpy, wid, False, 0, ctypes.byref(event)), "XSendEvent failed")
            self.x.XSync(dpy, False)
            check(len(self.errors) == errors, "sending the close: %s" % self.errors[errors:])
        finally:
            self.x.XCloseDisplay(dpy)


class TitleRecorder:
    """Every title glimra sets on its window from now on, in order.

    Watching the title property from outside (xprop -spy) reads each value
    some time after its change was announced, so on a busy machine a title
    that lasts one font is often missed. The X server's RECORD extension hands
    over each ChangeProperty request glimra sends, as the server runs it."""

    def __init__(self, session):
        self.titles = []
        self.lock = threading.Lock()
        self.wid = session.wid
        xl = self.xl = session.xlib()
        self.control = xl.open(session.env["DISPLAY"])
        self.data = xl.open(session.env["DISPLAY"])
        self.context = 0
        major, minor = ctypes.c_int(), ctypes.c_int()
        if not xl.t.XRecordQueryVersion(self.control, ctypes.byref(major), ctypes.byref(minor)):
            raise Skipped("the X server has no RECORD extension")
        self.atom = xl.x.XInternAtom(self.control, b"_NET_WM_NAME", False)
        rng = xl.t.XRecordAllocRange()
        rng.contents.core_requests.first = rng.contents.core_requests.last = xl.CHANGE_PROPERTY
        # A window id names the client that owns it: glimra alone is recorded.
        clients = (ctypes.c_ulong * 1)(self.wid)
        ranges = (ctypes.POINTER(xl.RecordRange) * 1)(rng)
        self.context = xl.t.XRecordCreateContext(self.control, 0, clients, 1, ranges, 1)
        xl.x.XFree(ctypes.cast(rng, ctypes.c_void_p))
        check(self.context, "XRecordCreateContext failed")
        xl.x.XSync(self.control, False)
        self.callback = xl.InterceptProc(self._intercept)
        self.started = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()
        check(self.started.wait(10), "recording did not start")

    def _run(self):
        self.xl.t.XRecordEnableContext(self.data, self.context, self.callback, None)

    def _intercept(self, _closure, data_ptr):
        data = data_ptr.contents
        try:
            if data.category == self.xl.RECORD_START_OF_DATA:
                self.started.set()
            elif data.category == self.xl.RECORD_FROM_CLIENT:
                swapped = bool(data.client_swapped) != (sys.byteorder == "big")
                self._request(ctypes.string_at(data.data, data.data_len * 4), ">" if swapped else "<")
        finally:
            self.xl.t.XRecordFreeData(data_ptr)

    def _request(self, raw, order):
        # ChangeProperty: opcode, mode, length, window, property, type,
        # format, 3 pad bytes, length of data in format units, data.
        if len(raw) < 24 or raw[0] != self.xl.CHANGE_PROPERTY:
            return
        window, prop, _type, fmt, units = struct.unpack(order + "4xIIIB3xI", raw[:24])
        if window == self.wid and prop == self.atom and fmt == 8:
            with self.lock:
                self.titles.append(raw[24:24 + units].decode("utf-8", errors="replace"))

    def snapshot(self):
        with self.lock:
            return list(self.titles)

    def wait_for(self, what, predicate, timeout):
        """Waits until predicate(titles) holds; returns the titles then."""
        def probe():
            titles = self.snapshot()
            return titles if predicate(titles) else None
        return wait_for(lambda: "%s; last titles %r" % (what, self.snapshot()[-3:]), probe, timeout)

    def stop(self):
        if not self.context:
            return
        self.xl.t.XRecordDisableContext(self.control, self.context)
        self.xl.x.XSync(self.control, False)
        self.thread.join(10)
        self.xl.t.XRecordFreeContext(self.control, self.context)
        self.context = 0
        self.xl.x.XCloseDisplay(self.control)
        if not self.thread.is_alive():
            self.xl.x.XCloseDisplay(self.data)


class Session:
    """One X server, one fontconfig and one glimra, all private to a run."""

    TOOLS = TOOLS

    def __init__(self, glimra, fonts, artifacts):
        self.glimra = glimra
        self.font_count = fonts
        self.artifacts = artifacts
        self.tmp = tempfile.mkdtemp(prefix="glimra-e2e-")
        self.procs = []
        self.recorders = []
        self.app = None
        self.wid = None
        self.env = None
        self._xlib = None
        self._app_output = []

    # -- lifetime -----------------------------------------------------------

    def __enter__(self):
        try:
            self._make_fonts()
            self._start_xvfb()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        for recorder in self.recorders:
            try:
                recorder.stop()
            except Exception as e:  # the X server may be gone already
                print("(stopping a title recorder: %s)" % e)
        self.recorders = []
        # Newest first, so that glimra goes before its X server.
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self.procs = []
        shutil.rmtree(self.tmp, ignore_errors=True)

    def spawn(self, argv, env=None, **kwargs):
        # Whatever ends this driver, the processes it started end with it.
        if shutil.which("setpriv"):
            argv = ["setpriv", "--pdeathsig", "TERM", "--"] + argv
        proc = subprocess.Popen(argv, env=env or self.env, **kwargs)
        self.procs.append(proc)
        return proc

    def _make_fonts(self):
        fontdir = os.path.join(self.tmp, "fonts")
        made = subprocess.run([FONT_PYTHON, MAKE_FONTS, fontdir, str(self.font_count), "--japanese"],
                              capture_output=True, text=True, timeout=120)
        check(made.returncode == 0, "make_fonts.py failed:\n%s" % made.stderr)
        home = os.path.join(self.tmp, "home")
        runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(home, 0o700)
        os.mkdir(runtime, 0o700)
        # Nothing of the desktop this runs on may reach glimra: no style,
        # scale or platform theme, no settings from the real home.
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "DISPLAY", "WAYLAND", "LC_", "LANG"))}
        env.update({
            "FONTCONFIG_FILE": os.path.join(fontdir, "fonts.conf"),
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_CACHE_HOME": os.path.join(home, "cache"),
            "XDG_DATA_HOME": os.path.join(home, "data"),
            "HOME": home,
            "QT_QPA_PLATFORM": "xcb",
            "LC_ALL": "C.UTF-8",
        })
        self.env = env
        # Also fills the private font cache, so that glimra does not spend
        # its start-up scanning thousands of files.
        listing = subprocess.run(["fc-list", ":", "family"], env=env, check=True, capture_output=True,
                                 text=True, timeout=120).stdout
        families = {line.split(",")[0] for line in listing.splitlines() if line.strip()}
        wanted = {"Glimra Test %05d" % i for i in range(1, self.font_count + 1)} | JAPANESE_FAMILIES
        check(families == wanted, "the private fontconfig lists %d families, not the %d made: %s"
              % (len(families), len(wanted), sorted(families ^ wanted)[:5]))
        # Qt's own order, sorted by name regardless of case, without the
        # generic names Qt adds that are no installed font.
        self.families = sorted(families, key=str.casefold)

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % SCREEN,
                        "-dpi", str(DPI), "-nolisten", "tcp", "-noreset"],
                       pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                check(left > 0, "Xvfb did not report its display")
                if select.select([read_end], [], [], left)[0]:
                    chunk = os.read(read_end, 32)
                    check(chunk, "Xvfb ended before reporting its display")
                    number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_app(self):
        self.app = self.spawn([self.glimra], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        threading.Thread(target=self._collect_output, daemon=True).start()
        self.wid = wait_for("glimra's window", self._find_window, 30)
        # Qt maps the window before it is fully set up; the title is set by
        # the window's load step.
        wait_for(lambda: "the title %r at start (it is %r)" % (APP_TITLE, self.title()),
                 lambda: self.title() == APP_TITLE, 10)
        self.focus()

    def _collect_output(self):
        for line in iter(self.app.stdout.readline, b""):
            self._app_output.append(line.decode(errors="replace"))

    def app_output(self):
        return "".join(self._app_output)

    def _find_window(self):
        if self.app.poll() is not None:
            raise Failed("glimra ended with status %d:\n%s" % (self.app.returncode, self.app_output()))
        # Qt also has a hidden "Qt Selection Owner for glimra" window.
        out = self.run(["xdotool", "search", "--onlyvisible", "--name", "^glimra version"], check_status=False)
        ids = [int(w) for w in out.split()]
        return ids[0] if len(ids) == 1 else None

    # -- the X server ---------------------------------------------------------

    def run(self, argv, binary=False, timeout=30, check_status=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout)
        if check_status and result.returncode != 0:
            raise Failed("%s failed (%d): %s" % (" ".join(argv), result.returncode,
                                                 result.stderr.decode(errors="replace").strip()))
        return result.stdout if binary else result.stdout.decode("utf-8", errors="replace")

    def xdotool(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args])

    def xlib(self):
        if self._xlib is None:
            self._xlib = XLib()
        return self._xlib

    def visible_windows(self):
        """glimra's mapped top-level windows: the main window, popups, dialogs, boxes."""
        out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.app.pid)], check_status=False)
        return {int(w) for w in out.split()}

    def geometry(self, wid=None):
        out = self.run(["xwininfo", "-id", str(wid or self.wid)])
        values = []
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            m = re.search(r"^\s*%s:\s*(-?\d+)" % re.escape(key), out, re.M)
            check(m, "xwininfo gave no %s" % key)
            values.append(int(m.group(1)))
        return tuple(values)

    def absolute(self, point):
        ox, oy, _, _ = self.geometry()
        return ox + point[0], oy + point[1]

    def preview_rect(self):
        """The preview view on screen: it fills the window less fixed margins."""
        ox, oy, w, h = self.geometry()
        left, top, _, _ = rect_px(Twips.RichTextBox1)
        mw, mh = Twips.view_margins
        return ox + left, oy + top, px(w * 15 - mw), px(h * 15 - mh)

    def title(self, wid=None):
        out = self.run(["xprop", "-id", str(wid or self.wid), "_NET_WM_NAME"], check_status=False)
        m = re.match(r'^_NET_WM_NAME\(UTF8_STRING\) = "(.*)"\s*$', out, re.S)
        return m.group(1) if m else None

    def focus(self, wid=None):
        # No window manager: a window gets the keyboard only when asked for it.
        wid = wid or self.wid
        wait_for("window %d to take the keyboard focus" % wid, lambda: self._try_focus(wid), 10, 0.1)

    def _try_focus(self, wid):
        self.run(["xdotool", "windowfocus", "--sync", str(wid)], check_status=False, timeout=10)
        return self.run(["xdotool", "getwindowfocus"], check_status=False).strip() == str(wid)

    def click(self, twips_rect):
        x, y = self.absolute(centre(twips_rect))
        self.xdotool("mousemove", x, y)
        self.xdotool("click", 1)

    def key(self, *keys, wid=None, focus=True):
        # An open popup holds the keyboard itself and closes when its window
        # loses the focus, so keys for it go out as they are.
        if focus:
            self.focus(wid)
        self.xdotool("key", "--delay", 30, *keys)

    def type(self, text, wid=None):
        self.focus(wid)
        self.xdotool("type", "--delay", 30, text)

    def copy_preview(self, target):
        """Selects the whole preview, copies it and reads the clipboard back."""
        self.click(Twips.RichTextBox1)
        self.key("ctrl+a", "ctrl+c")
        return wait_for("the copied preview as %s" % target, lambda: self._clipboard(target), 10).decode("utf-8")

    def clipboard_targets(self):
        return self._clipboard("TARGETS").decode().split()

    def _clipboard(self, target):
        return self.run(["xclip", "-o", "-selection", "clipboard", "-t", target], binary=True, timeout=10,
                        check_status=False)

    def screenshot(self):
        return Screenshot(self)

    def save_window(self, name):
        if not self.artifacts or not self.wid:
            return None
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, name)
        self.run(["import", "-silent", "-window", str(self.wid), path])
        return path

    # -- glimra ---------------------------------------------------------------

    def record_titles(self):
        recorder = TitleRecorder(self)
        self.recorders.append(recorder)
        return recorder

    def build_and_wait(self, timeout=60):
        """Presses Show; returns the titles set up to the one at rest."""
        recorder = self.record_titles()
        try:
            self.click(Twips.Command1)
            return recorder.wait_for("the build to restore the title", lambda t: APP_TITLE in t, timeout)
        finally:
            recorder.stop()


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
    check((w, h) == (px(Twips.client[0]), px(Twips.client[1])), "the window opens at %dx%d" % (w, h))

    sample = "Abc あ"
    s.click(Twips.Text1)
    s.key("ctrl+a")
    s.type(sample)
    s.build_and_wait()
    # Copying gives one line per paragraph, whatever the line breaks were.
    lines = s.copy_preview("UTF8_STRING").replace("\r\n", "\n").split("\n")
    want = [""] + ["%s (%s)" % (sample, family) for family in s.families]
    check(lines == want, "copied preview:\n%s\nexpected:\n%s" % ("\n".join(lines), "\n".join(want)))
    targets = s.clipboard_targets()
    check("text/html" in targets, "the copied preview is offered only as %s" % targets)


def scenario_format(s):
    s.start_app()
    s.click(Twips.Check1)
    before = s.visible_windows()
    s.click(Twips.Combo1)
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


def open_dialog(s, swatch):
    """Clicks a swatch; returns the colour dialog's window and the windows before it."""
    before = s.visible_windows()
    s.click(swatch)
    new = wait_for("the colour dialog", lambda: s.visible_windows() - before, 10)
    check(len(new) == 1, "clicking a swatch opened %d windows" % len(new))
    return new.pop(), before


def choose_colour(s, swatch, html):
    """Opens the dialog's editor, types a colour into its HTML field and confirms it."""
    dialog, before = open_dialog(s, swatch)
    # The dialog opens compact; 色の作成(D) shows the editor, whose HTML
    # field's label has the mnemonic H.
    compact_width = s.geometry(dialog)[2]
    s.key("alt+d", wid=dialog)
    wait_for("the colour dialog to show its editor", lambda: s.geometry(dialog)[2] > compact_width, 10)
    s.key("alt+h", "ctrl+a", wid=dialog)
    s.type(html, wid=dialog)
    s.key("Return", wid=dialog)
    wait_for("the colour dialog to close", lambda: s.visible_windows() == before, 10)


def cancel_dialog(s, swatch):
    dialog, before = open_dialog(s, swatch)
    s.key("Escape", wid=dialog)
    wait_for("the colour dialog to close", lambda: s.visible_windows() == before, 10)


def scenario_colour(s):
    s.start_app()
    black, white, chosen = (0, 0, 0), (255, 255, 255), (0x33, 0x66, 0x99)

    def faces():
        shot = s.screenshot()
        return [shot.pixel(*s.absolute(centre(r))) for r in (Twips.Command2, Twips.Command3)]
    check(faces() == [black, white], "the swatches open as %r" % faces())

    choose_colour(s, Twips.Command3, "#336699")
    wait_for(lambda: "the background swatch alone to turn #336699 (the swatches show %r)" % faces(),
             lambda: faces() == [black, chosen], 5)

    # The dialog still holds #336699 from the last choice; a cancel must not
    # hand it to the text swatch.
    cancel_dialog(s, Twips.Command2)
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
    s.click(Twips.Command1)
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
    "close_during_build": (scenario_close_during_build, 3000),
}


def main(argv, scenarios=SCENARIOS, tools=(), usage=__doc__):
    """Runs one scenario: SCENARIOS maps its name to (function, font count),
    or to (function, font count, Session class)."""
    if len(argv) < 3 or argv[1] not in scenarios:
        sys.stderr.write(usage)
        return 2
    name = argv[1]
    scenario, fonts, *session_class = scenarios[name]
    session_class = session_class[0] if session_class else Session
    missing = [t for t in tuple(tools) + session_class.TOOLS if shutil.which(t) is None]
    if missing:
        print("SKIP: missing %s" % ", ".join(missing))
        return SKIP
    glimra = os.path.abspath(argv[2])
    artifacts = os.path.abspath(argv[3]) if len(argv) > 3 else None
    # A timeout's SIGTERM unwinds like an error, so the X server and glimra
    # are still ended.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    started = time.monotonic()
    try:
        with session_class(glimra, fonts, artifacts) as s:
            try:
                scenario(s)
            except Failed as e:
                print("FAIL %s: %s" % (name, e))
                try:
                    path = s.save_window("e2e_%s_failure.png" % name)
                    if path:
                        print("screenshot: %s" % path)
                except Exception as shot:  # a failing screenshot must not hide the failure
                    print("(no screenshot: %s)" % shot)
                if s.app is not None:
                    print("glimra's output:\n%s" % s.app_output())
                return 1
    except Skipped as e:
        print("SKIP: %s" % e)
        return SKIP
    print("PASS %s in %.1f s" % (name, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
