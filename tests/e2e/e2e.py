"""The harness of glimra's end-to-end tests: a private X server, fontconfig
and accessibility bus per run, the real binary in it, and what a test needs
to drive and watch it (xdotool, the X RECORD extension for its titles, the
accessibility tree for where its controls are).

Scenarios live in window.py (the window driven as a user would drive it)
and desktop.py (a screen reader, a window manager, Wayland); each runs one
through main():

    window.py SCENARIO GLIMRA [ARTIFACT_DIR]

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

import atspi

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


# The preview view fills the window, frame included, less these (twips).
VIEW_MARGINS = (1900, 500)


def px(twips):
    # Half away from zero, as the window rounds its own layout.
    return int(twips * DPI / 1440 + 0.5)


def centre(rect):
    x, y, w, h = rect
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
        self._tree = None
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

    def spawn_reporting(self, argv_with_fd, what, **kwargs):
        """Starts a process that writes one line to a descriptor it is handed
        (Xvfb -displayfd, dbus-daemon --print-address) and returns the line.
        argv_with_fd(fd) gives the command line naming that descriptor."""
        read_end, write_end = os.pipe()
        try:
            self.spawn(argv_with_fd(write_end), pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, **kwargs)
            os.close(write_end)
            write_end = None
            line = b""
            deadline = time.monotonic() + 30
            while not line.endswith(b"\n"):
                left = deadline - time.monotonic()
                check(left > 0, "%s did not report" % what)
                if select.select([read_end], [], [], left)[0]:
                    chunk = os.read(read_end, 256)
                    check(chunk, "%s ended before reporting" % what)
                    line += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        return line.decode().strip()

    def _start_xvfb(self):
        number = self.spawn_reporting(
            lambda fd: ["Xvfb", "-displayfd", str(fd), "-screen", "0", "%dx%dx24" % SCREEN, "-dpi", str(DPI),
                        "-nolisten", "tcp", "-noreset"], "Xvfb's display")
        self.env["DISPLAY"] = ":" + number

    def start_app(self):
        self.spawn_app()
        self.wid = wait_for("glimra's window", self._find_window, 30)
        # Qt maps the window before it is fully set up; the title is set by
        # the window's load step.
        wait_for(lambda: "the title %r at start (it is %r)" % (APP_TITLE, self.title()),
                 lambda: self.title() == APP_TITLE, 10)
        self.focus()

    def spawn_app(self):
        """Starts glimra on the session's own accessibility bus (its tree tells
        where the controls are), its output collected."""
        atspi.start_bus(self)
        self.app = self.spawn([self.glimra], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        threading.Thread(target=self._collect_output, daemon=True).start()

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

    def tree(self):
        if self._tree is None:
            self._tree = atspi.Tree(wait_for)
        return self._tree

    def control(self, role, name):
        """Where the control is on the screen (x, y, width, height), found
        as a screen reader finds it: by its role ("push button", read as
        pyatspi's ROLE_PUSH_BUTTON) and name."""
        tree = self.tree()
        number = getattr(tree.pyatspi, "ROLE_" + role.upper().replace(" ", "_"))
        return tree.extents(tree.find(number, name))

    def preview_rect(self):
        return self.control("text", "プレビュー")

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

    def click(self, rect):
        x, y = centre(rect)
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

    def type_into(self, name, text):
        """Types text over what the text box named so holds, as a person
        would, and reads it back as a screen reader does. xdotool types a
        character the keymap lacks (kana) by remapping a spare key for a
        moment; a busy machine can read the key after it is mapped back, so
        a box that does not read back the text is typed into again."""
        tree = self.tree()
        for _ in range(3):
            self.click(self.control("text", name))
            self.key("ctrl+a")
            self.type(text)
            box = tree.find(tree.pyatspi.ROLE_TEXT, name)
            try:
                wait_for("%s to read %r" % (name, text), lambda: box.queryText().getText(0, -1) == text, 3)
                return
            except Failed:
                pass
        raise Failed("%s never read %r" % (name, text))

    def copy_preview(self, target):
        """Selects the whole preview, copies it and reads the clipboard back."""
        self.click(self.preview_rect())
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
            self.click(self.control("push button", "表示"))
            return recorder.wait_for("the build to restore the title", lambda t: APP_TITLE in t, timeout)
        finally:
            recorder.stop()


def main(argv, scenarios, tools=(), usage=__doc__):
    """Runs one scenario: scenarios maps its name to (function, font count),
    or to (function, font count, Session class)."""
    if len(argv) < 3 or argv[1] not in scenarios:
        sys.stderr.write(usage)
        return 2
    name = argv[1]
    scenario, fonts, *session_class = scenarios[name]
    session_class = session_class[0] if session_class else Session
    missing = [t for t in tuple(tools) + session_class.TOOLS if shutil.which(t) is None] + atspi.missing_tools()
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

